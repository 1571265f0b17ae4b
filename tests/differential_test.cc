// Randomized differential test: the real kestrel binary against the brute-force
// reference miner (tests/support/reference_miner.h), on many small generated datasets. Each case
// comes from one seed (printed on failure with the command line and the differing
// lines; the run directory is kept under /tmp). The TESTs are grouped by concern:
// item and support widths, engine phases (hop, preloops, dense and sparse shapes),
// each constraint family, random combinations of all 35 keywords, bad numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/judge.h"
#include "tests/support/process.h"
#include "tests/support/ranks.h"
#include "tests/support/reference_miner.h"
#include "tests/support/sanitizer.h"

namespace {

using reference::Layout;
using reference::RefConstraint;
using Rng = std::mt19937_64;
using ids = std::vector<std::uint32_t>;

// Fewer runs under the sanitizers, where every run is several times slower.
constexpr int kScale = kSanitizedBuild ? 1 : 4;

int uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }
template <class V>
const typename V::value_type& pick(Rng& rng, const V& v) {
  return v[static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(v.size()) - 1))];
}

struct Data {
  std::string text, error;  // error: the text is no valid FIMI file
  reference::Transactions tx;
  ids items;  // distinct occurring ids, ascending
  std::uint32_t max_id = 0;
};

Data finish_data(std::string text) {
  Data d;
  d.text = std::move(text);
  d.error = reference::parse_number_lines(d.text, true, &d.tx);
  std::set<std::uint32_t> seen;
  for (const auto& t : d.tx) seen.insert(t.begin(), t.end());
  d.items.assign(seen.begin(), seen.end());
  d.max_id = d.items.empty() ? 0 : d.items.back();
  return d;
}

// FIMI text of the lines; quirky adds, at random, repeated items, empty lines,
// CRLF, odd separators (tabs, commas, letters), no final newline, and FIMI's own
// trailing blank.
Data render(Rng& rng, const std::vector<ids>& lines, bool quirky) {
  static const char* const kSeparators[] = {" ", "\t", ",", "  ", " x ", "; ", "\t "};
  const bool some = quirky && chance(rng, 0.5);
  const double duplicate = some && chance(rng, 0.5) ? 0.2 : 0;
  const double empty_line = some && chance(rng, 0.5) ? 0.05 : 0;
  const std::string eol = some && chance(rng, 0.3) ? "\r\n" : "\n";
  const bool odd = some && chance(rng, 0.3), no_final_newline = some && chance(rng, 0.3);
  const bool trailing_blank = quirky && chance(rng, 0.5);
  std::string text;
  for (std::size_t li = 0; li < lines.size(); ++li) {
    if (chance(rng, empty_line)) text += eol;
    ids line = lines[li];
    if (!line.empty() && chance(rng, duplicate)) line.push_back(pick(rng, line));
    std::shuffle(line.begin(), line.end(), rng);
    for (std::size_t i = 0; i < line.size(); ++i)
      text += (i == 0 ? "" : odd ? kSeparators[uniform(rng, 0, 6)] : " ") + std::to_string(line[i]);
    if (trailing_blank && !line.empty()) text += " ";
    if (li + 1 < lines.size() || !no_final_newline) text += eol;
  }
  return finish_data(text);
}

// Ids: dense small numbers, or sparse ones spread up to 2^32 - 1 (which is one).
ids make_alphabet(Rng& rng, int n, bool huge) {
  std::set<std::uint32_t> s;
  if (huge) s.insert(4294967295u);
  const int spread = uniform(rng, n, 3 * n);
  while (static_cast<int>(s.size()) < n)
    s.insert(huge ? static_cast<std::uint32_t>(rng())
                  : static_cast<std::uint32_t>(uniform(rng, 0, spread)));
  ids v(s.begin(), s.end());
  std::shuffle(v.begin(), v.end(), rng);
  return v;
}

// Dense: every item with its own probability. Sparse: short skewed lines.
Data random_data(Rng& rng, bool dense, int n_tx, int n_items, bool huge_ids, bool quirky) {
  const ids alphabet = make_alphabet(rng, n_items, huge_ids);
  std::vector<ids> lines(static_cast<std::size_t>(n_tx));
  if (dense) {
    std::vector<double> p;
    const double lo = chance(rng, 0.5) ? 0.5 : 0.15;
    for (int i = 0; i < n_items; ++i)
      p.push_back(std::uniform_real_distribution<double>(lo, 0.95)(rng));
    for (auto& line : lines)
      for (std::size_t i = 0; i < alphabet.size(); ++i)
        if (chance(rng, p[i])) line.push_back(alphabet[i]);
  } else {
    const int max_len = uniform(rng, 2, 10);
    std::geometric_distribution<int> skew(std::uniform_real_distribution<double>(0.05, 0.4)(rng));
    for (auto& line : lines) {
      for (int i = uniform(rng, 1, max_len); i > 0; --i)
        line.push_back(alphabet[static_cast<std::size_t>(skew(rng) % n_items)]);
      std::sort(line.begin(), line.end());
      line.erase(std::unique(line.begin(), line.end()), line.end());
    }
  }
  return render(rng, lines, quirky);
}

struct Attributes {
  std::string text;
  reference::AttributeRows rows;
};

// Rows of small values, of values near 2^32 - 1, and of rare huge outliers.
Attributes random_attributes(Rng& rng, std::uint32_t max_id, int n_rows) {
  Attributes a;
  for (int r = 0; r < n_rows; ++r) {
    const int kind = uniform(rng, 0, 4);
    ids row;
    const std::uint32_t len = max_id + 1 + static_cast<std::uint32_t>(uniform(rng, 0, 3));
    for (std::uint32_t j = 0; j < len; ++j) {
      static const int kMax[] = {9, 1000, 50, 20, 3};
      std::uint32_t v = static_cast<std::uint32_t>(uniform(rng, 0, kMax[kind]));
      if (kind == 2) v = 4294967295u - v;
      if (kind == 3 && chance(rng, 0.1)) v = 4000000000u + v % 10;
      row.push_back(v);
      a.text += (j ? (chance(rng, 0.1) ? "\t" : " ") : "") + std::to_string(v);
    }
    a.text += "\n";
    a.rows.push_back(std::move(row));
  }
  return a;
}

struct Context {
  const Data* data;
  const Attributes* attrs;
  ids prefix;  // P in first-listed order
};

std::uint32_t random_item(Rng& rng, const Context& ctx) {
  return ctx.data->items.empty() ? 0 : pick(rng, ctx.data->items);
}

// P plus 0 to 4 items of a random transaction: an itemset that really occurs, so
// thresholds placed on it sit at achievable values.
ids probe_itemset(Rng& rng, const Context& ctx) {
  ids probe = ctx.prefix;
  if (ctx.data->tx.empty()) return probe;
  ids t = pick(rng, ctx.data->tx);
  std::shuffle(t.begin(), t.end(), rng);
  const std::size_t want = ctx.prefix.size() + static_cast<std::size_t>(uniform(rng, 0, 4));
  for (std::size_t i = 0; i < t.size() && probe.size() < want; ++i)
    if (std::find(probe.begin(), probe.end(), t[i]) == probe.end()) probe.push_back(t[i]);
  return probe;
}

// Places the threshold on the boundary of a probe itemset (the last value that
// holds, one past it, or one inside), by bisection over the keyword's signed or
// unsigned reading.
void place_threshold(Rng& rng, RefConstraint& c, const Context& ctx) {
  if (chance(rng, 0.1)) {
    c.threshold = uniform(rng, -3, 30);
    return;
  }
  const ids probe = probe_itemset(rng, ctx);
  const bool uns = reference::unsigned_threshold(c.keyword),
             geq = reference::is_lower_bound(c.keyword);
  const std::int64_t lo = uns ? 0 : std::numeric_limits<std::int32_t>::min();
  const std::int64_t hi =
      uns ? std::numeric_limits<std::uint32_t>::max() : std::numeric_limits<std::int32_t>::max();
  auto holds = [&](std::int64_t t) {
    c.threshold = static_cast<std::int32_t>(static_cast<std::uint32_t>(t));
    return reference::constraint_holds(c, probe, probe.size() - ctx.prefix.size(), ctx.attrs->rows);
  };
  std::int64_t a = lo, b = hi;
  if (geq ? !holds(lo) : !holds(hi)) {
    a = uniform(rng, -2, 20);
  } else {
    while (a < b) {
      const std::int64_t mid = a + (b - a + (geq ? 1 : 0)) / 2;
      if (holds(mid) == geq)
        a = geq ? mid : mid + 1;
      else
        b = geq ? mid - 1 : mid;
    }
    const int move = uniform(rng, 0, 3);  // 2: just failing for the probe, 3: comfortably holding
    a = std::max(lo, std::min(hi, a + (move == 2 ? 1 : move == 3 ? -1 : 0) * (geq ? 1 : -1)));
  }
  c.threshold = static_cast<std::int32_t>(static_cast<std::uint32_t>(a));
}

RefConstraint make_constraint(Rng& rng, const std::string& keyword, Context& ctx) {
  RefConstraint c;
  c.keyword = keyword;
  const Layout layout = reference::layout_of(keyword);
  if (layout != Layout::kThreshold && layout != Layout::kItems)
    c.attr = uniform(rng, 0, static_cast<int>(ctx.attrs->rows.size()) - 1);
  const ids* row = c.attr >= 0 ? &ctx.attrs->rows[static_cast<std::size_t>(c.attr)] : nullptr;
  if (keyword == "supseteq") {
    if (chance(rng, 0.05)) {
      c.list.push_back(ctx.data->max_id / 2);  // perhaps an id that never occurs
    } else if (!ctx.data->tx.empty()) {
      const ids& t = pick(rng, ctx.data->tx);
      for (int i = uniform(rng, 1, 2); i > 0 && !t.empty(); --i) c.list.push_back(pick(rng, t));
      if (t.empty()) c.list.push_back(random_item(rng, ctx));
    }
    if (chance(rng, 0.1) && !c.list.empty()) c.list.push_back(c.list.front());  // listed twice
    for (std::uint32_t id : c.list)
      if (std::find(ctx.prefix.begin(), ctx.prefix.end(), id) == ctx.prefix.end())
        ctx.prefix.push_back(id);
  } else if (keyword == "subseteq") {
    if (chance(rng, 0.05)) return c;  // "[]"
    c.list = probe_itemset(rng, ctx);
    for (int i = uniform(rng, 0, 6); i > 0; --i) c.list.push_back(random_item(rng, ctx));
    std::shuffle(c.list.begin(), c.list.end(), rng);
  } else if (layout == Layout::kAttrValues) {
    const bool sub = keyword == "asubseteq";
    for (std::uint32_t id : probe_itemset(rng, ctx))
      if (sub || chance(rng, 0.5)) c.list.push_back((*row)[id]);
    for (int i = sub ? uniform(rng, 0, 4) : 0; i > 0; --i)
      c.list.push_back((*row)[random_item(rng, ctx)]);
    if (c.list.empty()) c.list.push_back((*row)[random_item(rng, ctx)]);
  } else if (layout == Layout::kThreshold && chance(rng, 0.15)) {
    c.threshold = uniform(rng, -1, 2);
  } else {
    if (layout == Layout::kAttrValueThreshold)
      c.value = static_cast<std::int32_t>((*row)[random_item(rng, ctx)]);
    place_threshold(rng, c, ctx);
  }
  return c;
}

// "supseteq" first, so that every other threshold is placed on itemsets that
// contain the prefix; the keywords keep their order.
std::vector<RefConstraint> make_constraints(Rng& rng, const std::vector<std::string>& keywords,
                                            Context& ctx) {
  std::vector<RefConstraint> out(keywords.size());
  for (int pass = 0; pass < 2; ++pass)
    for (std::size_t i = 0; i < keywords.size(); ++i)
      if ((keywords[i] == "supseteq") == (pass == 0))
        out[i] = make_constraint(rng, keywords[i], ctx);
  return out;
}

struct Case {
  Data data;
  Attributes attrs;
  bool with_attributes = false, via_stdin = false;
  reference::Query query;
  std::vector<std::string> options;  // hop, preloops
};

const char* const kHops[] = {"-1", "2", "3", "4", "100"};

// A case on data with random "hop" and "preloops" options, each given or not.
Case data_case(Rng& rng, const Data& data, std::uint32_t sigma) {
  Case c;
  c.data = data;
  c.query.sigma = sigma;
  const std::string hop = kHops[uniform(rng, 0, 4)];
  const std::string preloops = std::to_string(uniform(rng, 0, 2) * 3 / 2);  // 0, 1 or 3
  if (chance(rng, 0.85)) c.options.insert(c.options.end(), {"hop", hop});
  if (chance(rng, 0.85)) c.options.insert(c.options.end(), {"preloops", preloops});
  return c;
}

std::uint32_t random_sigma(Rng& rng, std::size_t n_tx) {
  const int roll = uniform(rng, 0, 9);
  if (roll <= 2) return static_cast<std::uint32_t>(roll);
  return static_cast<std::uint32_t>(std::uniform_real_distribution<double>(0.02, 0.6)(rng) *
                                    static_cast<double>(n_tx));
}

// Runs the cases make(seed) for seeds base_seed.. against the reference; reports
// the first few failures (a failing run keeps its directory, with expected.txt
// and failure.txt).
template <class Make>
void run_family(const std::string& tag, std::uint64_t base_seed, int runs, Make make) {
  int failures = 0, rich = 0;  // rich: cases with several expected lines, the ones that test much
  std::string failing_seeds;
  for (std::uint64_t seed = base_seed; seed < base_seed + static_cast<std::uint64_t>(runs);
       ++seed) {
    // Through mpirun every run takes a second or so: there, the first case of a
    // family and every sixteenth after it.
    if (mpi_ranks() > 0 && (seed - base_seed) % 16 != 0) continue;
    const Case c = make(seed);
    test_dir dir(tag);
    write_file("in.dat", c.data.text);
    std::vector<std::string> opts = {"input",  c.via_stdin ? "/dev/stdin" : "in.dat",
                                     "output", "out.txt",
                                     "sigma",  std::to_string(c.query.sigma)},
                             cons;
    if (c.with_attributes) {
      write_file("attr.txt", c.attrs.text);
      opts.insert(opts.end(), {"attributes", "attr.txt"});
    }
    opts.insert(opts.end(), c.options.begin(), c.options.end());
    // The in-memory levels split between 1, 2 or 3 threads: the same output.
    opts.insert(opts.end(), {"threads", std::to_string(1 + seed % 3)});
    for (const RefConstraint& rc : c.query.constraints)
      cons.insert(cons.end(), {rc.keyword, rc.parameter_text()});
    if (seed % 3 == 1) std::swap(opts, cons);  // options before or after: must not matter
    opts.insert(opts.end(), cons.begin(), cons.end());

    reference::MineResult expected;
    if (c.data.error.empty())
      expected = reference::mine(c.data.tx, c.attrs.rows, c.with_attributes, c.query);
    rich += expected.lines.size() > 2;
    const std::string must_fail = !c.data.error.empty() ? c.data.error : expected.error;
    run_io io;
    if (c.via_stdin) io.stdin_path = dir.file("in.dat");
    // The run's own choices, which on data this small it would seldom make,
    // forced in turn: the in-memory data as tid-lists, by density or as the
    // bit matrix; every level spilled a group at a time (a quarter); every
    // level's supports folded (half); the other subsets of key-pattern
    // candidates looked up by the usual rule, for a sample or for all.
    const char* layouts[] = {"lists", "density", "bits"};
    const char* subsets[] = {"rate", "sampled", "all"};
    std::vector<std::string> forced = {"testing.vertical_layout", layouts[(seed / 3) % 3]};
    if (seed % 4 == 2) forced.insert(forced.end(), {"testing.level_window_bytes", "1"});
    if ((seed / 2) % 2 == 1) forced.insert(forced.end(), {"testing.folded_supports_from", "1"});
    if ((seed / 5) % 3 != 0)
      forced.insert(forced.end(), {"testing.key_subsets", subsets[(seed / 5) % 3]});
    opts.insert(opts.end(), forced.begin(), forced.end());
    const run_outcome run = run_kestrel(dir.path(), opts, io);
    std::string report;
    if (must_fail.empty()) {
      report = judge_run(run, expected.lines, expected.prefix.size());
    } else if (run.exit_status != 1 ||
               std::count(run.stderr_text.begin(), run.stderr_text.end(), '\n') != 1) {
      report = "expected exit 1 and one stderr line (" + must_fail + "), got status " +
               std::to_string(run.exit_status) + " and: " + run.stderr_text + "\n";
    }
    // Ranks split a file, not a pipe.
    if (report.empty() && mpi_ranks() > 0 && !c.via_stdin)
      report = mpi_difference(dir.path(), opts, run);
    if (report.empty()) continue;
    dir.keep();
    report = "seed " + std::to_string(seed) + "\ncommand: " + run.command + "\n" + report +
             "kept in " + dir.path() + "\n";
    std::string expected_text;
    for (const std::string& l : expected.lines) expected_text += l + "\n";
    write_file("expected.txt", expected_text);
    write_file("failure.txt", report);
    if (++failures <= 5) ADD_FAILURE() << report;
    failing_seeds += " " + std::to_string(seed);
  }
  std::printf("%s: %d runs, %d with more than two expected lines\n", tag.c_str(), runs, rich);
  EXPECT_EQ(failures, 0) << tag << ": " << failures << " of " << runs << " runs differ, seeds"
                         << failing_seeds;
}

// A small random dataset of either shape, with its attribute file; with
// long_itemsets, dense data of enough items for frequent itemsets of many
// items, whose levels are joined in memory.
Case random_case(Rng& rng, bool long_itemsets) {
  const bool dense = long_itemsets || chance(rng, 0.5);
  const int n_items = long_itemsets ? uniform(rng, 8, 14) : uniform(rng, 1, 12);
  const Data data = random_data(rng, dense, dense ? uniform(rng, 1, 120) : uniform(rng, 1, 400),
                                dense ? n_items : uniform(rng, 1, 60), false, true);
  Case c = data_case(rng, data, random_sigma(rng, data.tx.size()));
  c.attrs = random_attributes(rng, c.data.max_id, 3);
  c.with_attributes = true;
  return c;
}

// A "supseteq" of one to three items of a transaction, whose values in every
// attribute row become the row's least or greatest: a prefix plus a few
// items then has a mean or median far from that of the items alone, and an
// itemset failing a convertible constraint may still grow into one that holds.
RefConstraint extreme_prefix(Rng& rng, Case& c, Context& ctx) {
  RefConstraint p;
  p.keyword = "supseteq";
  const ids& t = pick(rng, c.data.tx);
  for (int i = uniform(rng, 1, 3); i > 0 && !t.empty(); --i) p.list.push_back(pick(rng, t));
  if (p.list.empty()) p.list.push_back(random_item(rng, ctx));
  for (std::uint32_t id : p.list)
    if (std::find(ctx.prefix.begin(), ctx.prefix.end(), id) == ctx.prefix.end())
      ctx.prefix.push_back(id);
  const bool low = chance(rng, 0.5);
  c.attrs.text.clear();
  for (ids& row : c.attrs.rows) {
    const std::uint32_t extreme =
        low ? *std::min_element(row.begin(), row.end()) : *std::max_element(row.begin(), row.end());
    for (std::uint32_t id : ctx.prefix) row[id] = extreme;
    for (std::size_t j = 0; j < row.size(); ++j)
      c.attrs.text += (j ? " " : "") + std::to_string(row[j]);
    c.attrs.text += "\n";
  }
  return p;
}

// 1..max_count keywords of the family, with "supseteq" added by prefix_chance
// (with long_itemsets, a prefix of extreme values, first).
void run_constrained(const std::string& tag, std::uint64_t base_seed, int runs,
                     const std::vector<std::string>& family, int max_count, double prefix_chance,
                     bool long_itemsets = false) {
  run_family(tag, base_seed, runs, [&](std::uint64_t seed) {
    Rng rng(seed);
    Case c = random_case(rng, long_itemsets);
    // Low supports mostly, so that the constraints, not sigma, decide what is written.
    if (chance(rng, 0.7))
      c.query.sigma =
          static_cast<std::uint32_t>(uniform(rng, 0, static_cast<int>(c.data.tx.size() / 10) + 1));
    std::vector<std::string> keywords;
    for (int i = uniform(rng, 1, max_count); i > 0; --i) keywords.push_back(pick(rng, family));
    Context ctx{&c.data, &c.attrs, {}};
    const bool prefix = chance(rng, prefix_chance);
    if (prefix && long_itemsets && !c.data.tx.empty()) {
      c.query.constraints.push_back(extreme_prefix(rng, c, ctx));
    } else if (prefix) {
      keywords.insert(keywords.begin() + uniform(rng, 0, static_cast<int>(keywords.size())),
                      "supseteq");
    }
    for (RefConstraint& rc : make_constraints(rng, keywords, ctx))
      c.query.constraints.push_back(std::move(rc));
    return c;
  });
}

TEST(Differential, UnconstrainedRandomShapesAndFormats) {
  run_family("shapes", 1000, 40 * kScale, [](std::uint64_t seed) {
    Rng rng(seed);
    const bool dense = chance(rng, 0.4);
    const Data data =
        random_data(rng, dense, dense ? uniform(rng, 0, 150) : uniform(rng, 0, 600),
                    dense ? uniform(rng, 1, 13) : uniform(rng, 1, 80), chance(rng, 0.2), true);
    Case c = data_case(rng, data, random_sigma(rng, data.tx.size()));
    c.via_stdin = chance(rng, 0.1);
    return c;
  });
}

// Every one of n_items ids occurs, most more than once.
Case items_case(std::uint64_t seed, int n_items) {
  Rng rng(seed);
  const ids alphabet = make_alphabet(rng, n_items, chance(rng, 0.3));
  std::vector<ids> lines;
  for (std::uint32_t id : alphabet) {
    ids line = {id};
    for (int i = uniform(rng, 0, 3); i > 0; --i) line.push_back(pick(rng, alphabet));
    lines.push_back(line);
    if (chance(rng, 0.5)) lines.push_back({id, alphabet[0]});
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  const Data data = render(rng, lines, true);
  return data_case(rng, data, static_cast<std::uint32_t>(uniform(rng, 0, 1)));
}

// The first of six items occurs in exactly top transactions, the others in about 30%.
Case support_case(std::uint64_t seed, int top) {
  Rng rng(seed);
  const ids alphabet = make_alphabet(rng, 6, false);
  std::vector<ids> lines(static_cast<std::size_t>(top + uniform(rng, 0, 30)));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i < static_cast<std::size_t>(top)) lines[i].push_back(alphabet[0]);
    for (std::size_t j = 1; j < alphabet.size(); ++j)
      if (chance(rng, 0.3)) lines[i].push_back(alphabet[j]);
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  const Data data = render(rng, lines, true);
  return data_case(rng, data, chance(rng, 0.5) ? 1 : uniform(rng, 2, top / 4));
}

// 254 frequent items select the 8-bit item type, 255 and more the 16-bit one; the
// largest item support selects the counter type: 255 | 256, 65535 | 65536, more.
TEST(Differential, ItemAndSupportTypeBoundaries) {
  for (int n : {2, 253, 254, 255, 256, 400, 1000})
    run_family("items" + std::to_string(n), 2000 + 10 * static_cast<std::uint64_t>(n), 2 * kScale,
               [n](std::uint64_t seed) { return items_case(seed, n); });
  for (int top : {255, 256, 65535, 65536, 70001})
    run_family("support" + std::to_string(top), 3000 + static_cast<std::uint64_t>(top),
               top > 1000 ? kScale / 2 + 1 : 2 * kScale,
               [top](std::uint64_t seed) { return support_case(seed, top); });
}

// More than 65534 frequent items: the 32-bit item type, short lines only. One
// run: its pair array alone has 2^31 counters.
TEST(Differential, ThirtyTwoBitItemType) {
  run_family("items32", 4000, 1, [](std::uint64_t seed) {
    Rng rng(seed);
    const ids alphabet = make_alphabet(rng, 65536 + 40, true);
    std::vector<ids> lines;
    for (std::size_t i = 0; i < alphabet.size();) {
      ids line;
      for (int len = uniform(rng, 1, 3); len > 0 && i < alphabet.size(); --len)
        line.push_back(alphabet[i++]);
      if (chance(rng, 0.2)) line.push_back(alphabet[static_cast<std::size_t>(uniform(rng, 0, 50))]);
      lines.push_back(line);
    }
    Case c;
    c.data = render(rng, lines, false);
    c.query.sigma = 1;
    c.options = {"hop", "3"};
    return c;
  });
}

// Every hop on each dataset (same seed / 5): dense data (key-pattern and compact
// vertical variants), medium density with many items, sparse diffuse data
// (diffuse variant, pruning and reordering).
TEST(Differential, EnginePhasesAgreeForEveryHop) {
  run_family("phases", 0, 30 * kScale, [](std::uint64_t seed) {
    const std::uint64_t d = seed / 5;
    Rng rng(5000 + d);
    Case c;
    if (d % 3 == 0) {  // dense, long itemsets
      c.data = random_data(rng, true, uniform(rng, 50, 300), uniform(rng, 8, 14), false, false);
      c.query.sigma = static_cast<std::uint32_t>(
          c.data.tx.size() * static_cast<std::size_t>(uniform(rng, 15, 50)) / 100);
    } else if (d % 3 == 1) {  // medium density, many items
      const ids alphabet = make_alphabet(rng, 40, false);
      std::vector<ids> lines(static_cast<std::size_t>(uniform(rng, 200, 800)));
      for (ids& line : lines)
        for (std::size_t j = 0; j < alphabet.size(); ++j)
          if (chance(rng, j < 10 ? 0.6 : 0.08)) line.push_back(alphabet[j]);
      c.data = render(rng, lines, false);
      c.query.sigma = static_cast<std::uint32_t>(
          lines.size() * static_cast<std::size_t>(uniform(rng, 3, 12)) / 100);
    } else {  // sparse and diffuse
      c.data =
          random_data(rng, false, uniform(rng, 500, 3000), uniform(rng, 30, 150), false, false);
      c.query.sigma = static_cast<std::uint32_t>(uniform(rng, 2, 8));
    }
    c.options = {"hop", kHops[seed % 5], "preloops", std::to_string(uniform(rng, 0, 2) * 3 / 2)};
    return c;
  });
}

TEST(Differential, AntiMonotoneAndSuccinctConstraints) {
  run_constrained(
      "am", 6000, 80 * kScale,
      {"subseteq", "asubseteq", "mingeq", "maxleq", "lenleq", "sumleq", "rangeleq", "acountleq"}, 2,
      0.2);
}

TEST(Differential, MonotoneConstraints) {
  run_constrained(
      "mon", 7000, 80 * kScale,
      {"supseteq", "asupseteq", "lengeq", "sumgeq", "acountgeq", "rangegeq", "minleq", "maxgeq"}, 2,
      0.2);
}

TEST(Differential, LooseAntiMonotoneConstraints) {
  run_constrained("lam", 8000, 80 * kScale,
                  {"varleq", "vargeq", "stdleq", "stdgeq", "spvleq", "spvgeq", "mdleq", "mdgeq",
                   "avgleq", "avggeq", "medgeq", "medleq"},
                  2, 0.2);
}

// The first convertible constraint sets the item order, and the joins in
// memory skip the rows whose first joined itemset it closes: the long
// itemsets, half of them with prefix items, are where a row skipped wrongly
// would show.
TEST(Differential, ConvertibleConstraints) {
  const std::vector<std::string> family = {"avggeq2", "avgleq2", "minleq2",  "maxgeq2",
                                           "medgeq2", "medleq2", "rangeleq2"};
  run_constrained("cam", 9000, 80 * kScale, family, 3, 0.2);
  run_constrained("cam-long", 9500, 40 * kScale, family, 1, 0.8, true);
}

TEST(Differential, RandomCombinationsOfAllKeywords) {
  run_constrained("combo", 10000, 120 * kScale, reference::all_keywords(), 4, 0.3);
}

// A corrupt number anywhere in a valid file is an error (exit 1, one stderr line);
// the harmless look-alikes are read as the README's "Formats" section says.
// A failure that only one rank's part of the input holds ends every rank the
// way it ends kestrel: the same line (numbered in the whole file) on stderr,
// status 1, no output file and no temporary dataset left.
TEST(Differential, AFailureInOneRanksPartEndsEveryRank) {
  if (mpi_ranks() == 0) GTEST_SKIP() << "KESTREL_RANKS unset";
  std::string lines;
  for (int i = 0; i < 300; ++i)
    lines += std::to_string(i % 7) + " " + std::to_string(7 + i % 5) + "\n";
  const struct {
    std::string text;
    std::vector<std::string> more;
  } cases[] = {
      {lines + "3 -4\n", {}},                 // the last part's last line
      {"2 1.5\n" + lines + "3 -4\n", {}},     // the first part's error wins
      {lines + "99999999999\n" + lines, {}},  // a middle part
      {lines + "12 40\n", {"attributes", "attr.txt", "sumleq", "[0,100]"}},  // no value for 40
      {lines, {"sumleq", "[0,100]"}},  // no attribute file: every rank fails alike
  };
  for (const auto& c : cases) {
    test_dir dir("mpi-failure");
    write_file("in.dat", c.text);
    write_file("attr.txt", "1 2 3 4 5 6 7 8 9 10 11 12 13\n");
    std::vector<std::string> args = {"input", "in.dat", "output", "out.txt", "sigma", "2"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const run_outcome single = run_kestrel(dir.path(), args);
    EXPECT_EQ(single.exit_status, 1) << single.command;
    EXPECT_FALSE(single.output_exists);
    const std::string report = mpi_difference(dir.path(), args, single);
    EXPECT_EQ(report, "") << single.stderr_text;
    if (!report.empty()) dir.keep();
  }
}

TEST(Differential, MalformedNumbersAreErrors) {
  run_family("malformed", 11000, 24, [](std::uint64_t seed) {
    static const char* const kSpots[] = {"-7",   "3.5", "4294967296", "99999999999", "1-2", "- 7",
                                         "3. 5", ".5",  "4294967295", "7-",          "x.y", "1,2"};
    Rng rng(seed);
    Case c = random_case(rng, false);
    c.with_attributes = false;
    std::string text = c.data.text;
    const std::size_t cut = text.find(
        '\n', text.empty()
                  ? 0
                  : static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(text.size()) - 1)));
    text.insert(cut == std::string::npos ? text.size() : cut, std::string(" ") + kSpots[seed % 12]);
    c.data = finish_data(text);
    return c;
  });
}

}  // namespace
