// Randomized differential test: the real kestrel binary against the brute-force
// reference of the output contract, on many small generated datasets.
//
// Every case is built from one seed (printed on failure, together with the command
// line and the differing lines; the run directory is kept under /tmp). The cases
// are grouped by concern so that a failing TEST names the area: item and support
// widths, engine phases (hop, preloops, dense and sparse shapes), each constraint
// family, and random combinations of all 35 keywords.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/kestrel_runner.h"
#include "tests/reference_miner.h"

namespace {

using reference::RefConstraint;
using Rng = std::mt19937_64;

// Fewer runs under the sanitizers, where every run is several times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 1;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kScale = 1;
#else
constexpr int kScale = 4;
#endif
#else
constexpr int kScale = 4;
#endif

constexpr int kMaxReportedFailures = 5;

int uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }
template <class V>
const typename V::value_type& pick(Rng& rng, const V& v) {
  return v[static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(v.size()) - 1))];
}

// ---------------------------------------------------------------- datasets

struct Quirks {
  double duplicate = 0;    // an item repeated within a line
  double empty_line = 0;   // an empty transaction
  bool crlf = false;
  bool odd_separators = false;  // tabs, commas, letters between items
  bool no_final_newline = false;
  bool trailing_blank = false;  // FIMI's own "1 2 3 \n"
};

Quirks random_quirks(Rng& rng) {
  Quirks q;
  if (chance(rng, 0.5)) {
    q.duplicate = chance(rng, 0.5) ? 0.2 : 0;
    q.empty_line = chance(rng, 0.5) ? 0.05 : 0;
    q.crlf = chance(rng, 0.3);
    q.odd_separators = chance(rng, 0.3);
    q.no_final_newline = chance(rng, 0.3);
  }
  q.trailing_blank = chance(rng, 0.5);
  return q;
}

std::string render_lines(Rng& rng, const std::vector<std::vector<std::uint32_t>>& lines,
                         const Quirks& q) {
  static const char* const kSeparators[] = {" ", "\t", ",", "  ", " x ", "; ", "\t "};
  std::string text;
  const std::string eol = q.crlf ? "\r\n" : "\n";
  for (std::size_t li = 0; li < lines.size(); ++li) {
    if (chance(rng, q.empty_line)) text += eol;
    std::vector<std::uint32_t> line = lines[li];
    if (!line.empty() && chance(rng, q.duplicate)) line.push_back(pick(rng, line));
    std::shuffle(line.begin(), line.end(), rng);
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (i > 0) text += q.odd_separators ? kSeparators[uniform(rng, 0, 6)] : " ";
      text += std::to_string(line[i]);
    }
    if (q.trailing_blank && !line.empty()) text += " ";
    if (li + 1 < lines.size() || !q.no_final_newline) text += eol;
  }
  return text;
}

struct Data {
  std::string text;
  reference::Transactions tx;
  std::vector<std::uint32_t> items;  // distinct occurring ids, ascending
  std::uint32_t max_id = 0;
};

Data finish_data(std::string text) {
  Data d;
  d.text = std::move(text);
  const std::string err = reference::parse_number_lines(d.text, true, &d.tx);
  if (!err.empty()) throw std::runtime_error("generated data does not parse: " + err);
  std::set<std::uint32_t> ids;
  for (const auto& t : d.tx) ids.insert(t.begin(), t.end());
  d.items.assign(ids.begin(), ids.end());
  d.max_id = d.items.empty() ? 0 : d.items.back();
  return d;
}

// Ids: dense small numbers, or sparse ones spread up to 2^32 - 1.
std::vector<std::uint32_t> make_alphabet(Rng& rng, int n, bool huge) {
  std::set<std::uint32_t> ids;
  if (huge) {
    ids.insert(4294967295u);
    while (static_cast<int>(ids.size()) < n)
      ids.insert(static_cast<std::uint32_t>(std::uniform_int_distribution<std::uint64_t>(
          0, 4294967295ull)(rng)));
  } else {
    const int spread = uniform(rng, n, 3 * n);
    while (static_cast<int>(ids.size()) < n) ids.insert(static_cast<std::uint32_t>(uniform(rng, 0, spread)));
  }
  std::vector<std::uint32_t> v(ids.begin(), ids.end());
  std::shuffle(v.begin(), v.end(), rng);
  return v;
}

// Dense: every item with its own probability. Sparse: short skewed lines.
Data random_data(Rng& rng, bool dense, int n_tx, int n_items, bool huge_ids, const Quirks& q) {
  const std::vector<std::uint32_t> alphabet = make_alphabet(rng, n_items, huge_ids);
  std::vector<std::vector<std::uint32_t>> lines(static_cast<std::size_t>(n_tx));
  if (dense) {
    std::vector<double> p;
    const double lo = chance(rng, 0.5) ? 0.5 : 0.15;
    for (int i = 0; i < n_items; ++i) p.push_back(std::uniform_real_distribution<double>(lo, 0.95)(rng));
    for (auto& line : lines)
      for (int i = 0; i < n_items; ++i)
        if (chance(rng, p[static_cast<std::size_t>(i)])) line.push_back(alphabet[static_cast<std::size_t>(i)]);
  } else {
    const int max_len = uniform(rng, 2, 10);
    std::geometric_distribution<int> skew(std::uniform_real_distribution<double>(0.05, 0.4)(rng));
    for (auto& line : lines) {
      const int len = uniform(rng, 1, max_len);
      for (int i = 0; i < len; ++i)
        line.push_back(alphabet[static_cast<std::size_t>(skew(rng) % n_items)]);
      std::sort(line.begin(), line.end());
      line.erase(std::unique(line.begin(), line.end()), line.end());
    }
  }
  return finish_data(render_lines(rng, lines, q));
}

// ---------------------------------------------------------------- attributes

struct Attributes {
  std::string text;
  reference::AttributeRows rows;
};

Attributes random_attributes(Rng& rng, std::uint32_t max_id, int n_rows) {
  Attributes a;
  for (int r = 0; r < n_rows; ++r) {
    const int kind = uniform(rng, 0, 4);
    std::vector<std::uint32_t> row;
    const std::uint32_t len = max_id + 1 + static_cast<std::uint32_t>(uniform(rng, 0, 3));
    for (std::uint32_t j = 0; j < len; ++j) {
      std::uint32_t v = 0;
      switch (kind) {
        case 0: v = static_cast<std::uint32_t>(uniform(rng, 0, 9)); break;
        case 1: v = static_cast<std::uint32_t>(uniform(rng, 0, 1000)); break;
        case 2: v = 4294967295u - static_cast<std::uint32_t>(uniform(rng, 0, 50)); break;
        case 3: v = chance(rng, 0.1) ? 4000000000u + static_cast<std::uint32_t>(uniform(rng, 0, 9))
                                     : static_cast<std::uint32_t>(uniform(rng, 0, 20));
                break;
        default: v = static_cast<std::uint32_t>(uniform(rng, 0, 3)); break;
      }
      row.push_back(v);
      a.text += (j ? (chance(rng, 0.1) ? "\t" : " ") : "") + std::to_string(v);
    }
    a.text += "\n";
    a.rows.push_back(std::move(row));
  }
  return a;
}

// ---------------------------------------------------------------- constraints

struct Context {
  const Data* data;
  const Attributes* attrs;
  std::vector<std::uint32_t> prefix;  // P in first-listed order
};

// P plus a random subset (0 to 4 items) of a random transaction: an itemset
// that really occurs, so thresholds placed on it sit at achievable values.
std::vector<std::uint32_t> probe_itemset(Rng& rng, const Context& ctx) {
  std::vector<std::uint32_t> probe = ctx.prefix;
  const auto& tx = ctx.data->tx;
  if (tx.empty()) return probe;
  std::vector<std::uint32_t> t = pick(rng, tx);
  std::shuffle(t.begin(), t.end(), rng);
  const int want = uniform(rng, 0, 4);
  for (std::uint32_t id : t) {
    if (static_cast<int>(probe.size() - ctx.prefix.size()) >= want) break;
    if (std::find(probe.begin(), probe.end(), id) == probe.end()) probe.push_back(id);
  }
  return probe;
}

// Places the threshold exactly on the boundary of the probe itemset (the last
// threshold that still holds, or the first that fails), by bisection over the
// keyword's own signed or unsigned reading.
void place_threshold(Rng& rng, RefConstraint& c, const Context& ctx) {
  if (chance(rng, 0.1)) {
    c.threshold = uniform(rng, -3, 30);
    return;
  }
  const std::vector<std::uint32_t> probe = probe_itemset(rng, ctx);
  const std::size_t k = probe.size() - ctx.prefix.size();
  const bool uns = reference::unsigned_threshold(c.keyword);
  const std::int64_t lo = uns ? 0 : std::numeric_limits<std::int32_t>::min();
  const std::int64_t hi = uns ? std::numeric_limits<std::uint32_t>::max()
                              : std::numeric_limits<std::int32_t>::max();
  auto as_written = [](std::int64_t t) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(t));
  };
  auto holds = [&](std::int64_t t) {
    c.threshold = as_written(t);
    return reference::constraint_holds(c, probe, k, ctx.attrs->rows);
  };
  const bool geq = reference::is_lower_bound(c.keyword);
  std::int64_t t = 0;
  if (geq ? !holds(lo) : !holds(hi)) {
    t = uniform(rng, -2, 20);
  } else {
    std::int64_t a = lo, b = hi;
    while (a < b) {
      if (geq) {
        const std::int64_t mid = a + (b - a + 1) / 2;
        if (holds(mid)) a = mid; else b = mid - 1;
      } else {
        const std::int64_t mid = a + (b - a) / 2;
        if (holds(mid)) b = mid; else a = mid + 1;
      }
    }
    t = a;
    const std::int64_t step = geq ? 1 : -1;
    switch (uniform(rng, 0, 3)) {
      case 2: t += step; break;  // just failing for the probe
      case 3: t -= step; break;  // comfortably holding
      default: break;
    }
    t = std::max(lo, std::min(hi, t));
  }
  c.threshold = as_written(t);
}

std::uint32_t random_item(Rng& rng, const Context& ctx) {
  return ctx.data->items.empty() ? 0 : pick(rng, ctx.data->items);
}

RefConstraint make_constraint(Rng& rng, const std::string& keyword, Context& ctx) {
  RefConstraint c;
  c.keyword = keyword;
  const int n_rows = static_cast<int>(ctx.attrs->rows.size());
  switch (reference::layout_of(keyword)) {
    case reference::Layout::kItems:
      if (keyword == "supseteq") {
        if (chance(rng, 0.05)) {
          c.list.push_back(ctx.data->max_id / 2);  // perhaps an id that never occurs
        } else if (!ctx.data->tx.empty()) {
          const auto& t = pick(rng, ctx.data->tx);
          for (int i = uniform(rng, 1, 2); i > 0 && !t.empty(); --i) c.list.push_back(pick(rng, t));
          if (t.empty()) c.list.push_back(random_item(rng, ctx));
        }
        if (chance(rng, 0.1) && !c.list.empty()) c.list.push_back(c.list.front());  // listed twice
        for (std::uint32_t id : c.list)
          if (std::find(ctx.prefix.begin(), ctx.prefix.end(), id) == ctx.prefix.end())
            ctx.prefix.push_back(id);
      } else if (!chance(rng, 0.05)) {  // subseteq; sometimes "[]"
        c.list = probe_itemset(rng, ctx);
        for (int i = uniform(rng, 0, 6); i > 0; --i) c.list.push_back(random_item(rng, ctx));
        std::shuffle(c.list.begin(), c.list.end(), rng);
      }
      break;
    case reference::Layout::kAttrValues: {
      c.attr = uniform(rng, 0, n_rows - 1);
      const auto& row = ctx.attrs->rows[static_cast<std::size_t>(c.attr)];
      const std::vector<std::uint32_t> probe = probe_itemset(rng, ctx);
      for (std::uint32_t id : probe)
        if (keyword == "asubseteq" || chance(rng, 0.5)) c.list.push_back(row[id]);
      const int extra = keyword == "asubseteq" ? uniform(rng, 0, 4) : (c.list.empty() ? 1 : 0);
      for (int i = 0; i < extra; ++i) c.list.push_back(row[random_item(rng, ctx)]);
      if (c.list.empty()) c.list.push_back(row[random_item(rng, ctx)]);
      break;
    }
    case reference::Layout::kAttrValueThreshold: {
      c.attr = uniform(rng, 0, n_rows - 1);
      const auto& row = ctx.attrs->rows[static_cast<std::size_t>(c.attr)];
      c.value = static_cast<std::int32_t>(row[random_item(rng, ctx)]);
      place_threshold(rng, c, ctx);
      break;
    }
    case reference::Layout::kAttrThreshold:
      c.attr = uniform(rng, 0, n_rows - 1);
      place_threshold(rng, c, ctx);
      break;
    case reference::Layout::kThreshold:
      if (chance(rng, 0.15)) c.threshold = uniform(rng, -1, 2);
      else place_threshold(rng, c, ctx);
      break;
  }
  return c;
}

// Builds the constraints for the keywords, "supseteq" first so that every other
// threshold is placed on itemsets that contain the prefix; keeps keyword order.
std::vector<RefConstraint> make_constraints(Rng& rng, const std::vector<std::string>& keywords,
                                            Context& ctx) {
  std::vector<RefConstraint> out(keywords.size());
  for (std::size_t i = 0; i < keywords.size(); ++i)
    if (keywords[i] == "supseteq") out[i] = make_constraint(rng, keywords[i], ctx);
  for (std::size_t i = 0; i < keywords.size(); ++i)
    if (keywords[i] != "supseteq") out[i] = make_constraint(rng, keywords[i], ctx);
  return out;
}

// ---------------------------------------------------------------- one case

struct Case {
  std::uint64_t seed = 0;
  Data data;
  Attributes attrs;
  bool with_attributes = false;
  reference::Query query;
  int hop = 3;
  bool hop_given = false;
  int preloops = 1;
  bool preloops_given = false;
  bool via_stdin = false;
};

void random_engine_options(Rng& rng, Case& c) {
  static const int kHops[] = {-1, 2, 3, 4, 100};
  c.hop_given = chance(rng, 0.85);
  c.hop = kHops[uniform(rng, 0, 4)];
  c.preloops_given = chance(rng, 0.85);
  c.preloops = std::vector<int>{0, 1, 3}[static_cast<std::size_t>(uniform(rng, 0, 2))];
}

std::uint32_t random_sigma(Rng& rng, std::size_t n_tx) {
  const int roll = uniform(rng, 0, 9);
  if (roll == 0) return 0;
  if (roll == 1) return 1;
  if (roll == 2) return 2;
  const double frac = std::uniform_real_distribution<double>(0.02, 0.6)(rng);
  return static_cast<std::uint32_t>(frac * static_cast<double>(n_tx));
}

// Runs one case; returns "" or a failure report naming seed, command and lines.
std::string run_case(const Case& c, const std::string& tag, std::size_t* expected_lines = nullptr) {
  const std::string dir = kestrel_test::make_temp_dir(tag);
  kestrel_test::write_file(dir + "/in.dat", c.data.text);
  std::vector<std::string> opts = {"input", c.via_stdin ? "/dev/stdin" : "in.dat", "output",
                                   "out.txt", "sigma", std::to_string(c.query.sigma)};
  if (c.with_attributes) {
    kestrel_test::write_file(dir + "/attr.txt", c.attrs.text);
    opts.insert(opts.end(), {"attributes", "attr.txt"});
  }
  if (c.hop_given) opts.insert(opts.end(), {"hop", std::to_string(c.hop)});
  if (c.preloops_given) opts.insert(opts.end(), {"preloops", std::to_string(c.preloops)});
  std::vector<std::string> args;
  // Options first in one seed, constraints first in another: the order must not matter
  // (the constraints keep their own relative order, which does).
  std::vector<std::string> cons;
  for (const RefConstraint& rc : c.query.constraints) {
    cons.push_back(rc.keyword);
    cons.push_back(rc.parameter_text());
  }
  if (c.seed % 3 == 1) {
    args = cons;
    args.insert(args.end(), opts.begin(), opts.end());
  } else {
    args = opts;
    args.insert(args.end(), cons.begin(), cons.end());
  }

  const reference::MineResult expected =
      reference::mine(c.data.tx, c.attrs.rows, c.with_attributes, c.query);
  if (expected_lines != nullptr) *expected_lines = expected.lines.size();
  const kestrel_test::RunOutcome run =
      kestrel_test::run_kestrel(dir, args, c.via_stdin ? dir + "/in.dat" : "");
  std::string report;
  if (!expected.error.empty()) {
    if (run.exit_status != 1) report = "expected an error (" + expected.error + "), got status " +
                                       std::to_string(run.exit_status) + "\n";
  } else {
    report = kestrel_test::judge_run(run, expected.lines, expected.prefix.size());
  }
  if (report.empty()) {
    kestrel_test::remove_tree(dir);
    return "";
  }
  std::ostringstream full;
  full << "seed " << c.seed << "\ncommand: " << run.command << "\n" << report
       << "kept in " << dir << "\n";
  std::string expected_text;
  for (const std::string& l : expected.lines) expected_text += l + "\n";
  kestrel_test::write_file(dir + "/expected.txt", expected_text);
  kestrel_test::write_file(dir + "/failure.txt", full.str());
  return full.str();
}

// Runs a family of cases, each built by make(seed); reports the first few failures.
template <class Make>
void run_family(const std::string& tag, std::uint64_t base_seed, int runs, Make make) {
  int failures = 0;
  int rich = 0;  // cases whose expected output has several lines: the ones that test much
  std::string summary;  // one line per failing seed: the first line of its report
  for (int i = 0; i < runs; ++i) {
    const std::uint64_t seed = base_seed + static_cast<std::uint64_t>(i);
    Case c = make(seed);
    c.seed = seed;
    std::size_t expected_lines = 0;
    const std::string report = run_case(c, tag, &expected_lines);
    if (expected_lines > 2) ++rich;
    if (report.empty()) continue;
    if (++failures <= kMaxReportedFailures) ADD_FAILURE() << report;
    const std::size_t cmd = report.find("\ncommand: ");
    const std::size_t what = report.find('\n', cmd + 1);
    summary += "  seed " + std::to_string(seed) + ": " +
               report.substr(what + 1, report.find('\n', what + 1) - what - 1) + "\n";
  }
  std::printf("%s: %d runs, %d with more than two expected lines\n", tag.c_str(), runs, rich);
  EXPECT_EQ(failures, 0) << tag << ": " << failures << " of " << runs << " runs differ\n"
                         << summary;
}

// A small random dataset of either shape, with its attribute file.
Case random_case(Rng& rng) {
  Case c;
  const bool dense = chance(rng, 0.5);
  const int n_tx = dense ? uniform(rng, 1, 120) : uniform(rng, 1, 400);
  const int n_items = dense ? uniform(rng, 1, 12) : uniform(rng, 1, 60);
  c.data = random_data(rng, dense, n_tx, n_items, false, random_quirks(rng));
  c.attrs = random_attributes(rng, c.data.max_id, 3);
  c.with_attributes = true;
  c.query.sigma = random_sigma(rng, c.data.tx.size());
  random_engine_options(rng, c);
  return c;
}

Case constrained_case(std::uint64_t seed, const std::vector<std::string>& family, int max_count,
                      double prefix_chance) {
  Rng rng(seed);
  Case c = random_case(rng);
  // Low supports mostly, so that the constraints, not sigma, decide what is written.
  if (chance(rng, 0.7)) c.query.sigma = static_cast<std::uint32_t>(uniform(rng, 0, static_cast<int>(c.data.tx.size() / 10) + 1));
  std::vector<std::string> keywords;
  for (int i = uniform(rng, 1, max_count); i > 0; --i) keywords.push_back(pick(rng, family));
  if (chance(rng, prefix_chance)) keywords.insert(keywords.begin() + uniform(rng, 0, static_cast<int>(keywords.size())), "supseteq");
  Context ctx{&c.data, &c.attrs, {}};
  c.query.constraints = make_constraints(rng, keywords, ctx);
  return c;
}

// ---------------------------------------------------------------- the tests

TEST(Differential, UnconstrainedRandomShapesAndFormats) {
  run_family("shapes", 1000, 40 * kScale, [](std::uint64_t seed) {
    Rng rng(seed);
    Case c;
    const bool dense = chance(rng, 0.4);
    const int n_tx = dense ? uniform(rng, 0, 150) : uniform(rng, 0, 600);
    c.data = random_data(rng, dense, n_tx, dense ? uniform(rng, 1, 13) : uniform(rng, 1, 80),
                         chance(rng, 0.2), random_quirks(rng));
    c.query.sigma = random_sigma(rng, c.data.tx.size());
    c.via_stdin = chance(rng, 0.1);
    random_engine_options(rng, c);
    return c;
  });
}

// 254 frequent items select the 8-bit item type, 255 and more the 16-bit one.
TEST(Differential, ItemTypeBoundaries) {
  int n = 0;
  for (int n_items : {2, 253, 254, 255, 256, 400, 1000}) {
    run_family("items" + std::to_string(n_items), 2000 + 100 * static_cast<std::uint64_t>(n++),
               2 * kScale, [n_items](std::uint64_t seed) {
      Rng rng(seed);
      Case c;
      const std::vector<std::uint32_t> alphabet = make_alphabet(rng, n_items, chance(rng, 0.3));
      std::vector<std::vector<std::uint32_t>> lines;
      for (std::uint32_t id : alphabet) {  // every item occurs, most more than once
        std::vector<std::uint32_t> line = {id};
        for (int i = uniform(rng, 0, 3); i > 0; --i) line.push_back(pick(rng, alphabet));
        lines.push_back(line);
        if (chance(rng, 0.5)) lines.push_back({id, alphabet[0]});
      }
      std::shuffle(lines.begin(), lines.end(), rng);
      c.data = finish_data(render_lines(rng, lines, random_quirks(rng)));
      c.query.sigma = static_cast<std::uint32_t>(uniform(rng, 0, 1));
      random_engine_options(rng, c);
      return c;
    });
  }
}

// The largest item support selects the counter type: 255 | 256, 65535 | 65536, more.
TEST(Differential, SupportTypeBoundaries) {
  int n = 0;
  for (int top : {255, 256, 65535, 65536, 70001}) {
    const int runs = top > 1000 ? kScale / 2 + 1 : 2 * kScale;
    run_family("support" + std::to_string(top), 3000 + 100 * static_cast<std::uint64_t>(n++), runs,
               [top](std::uint64_t seed) {
      Rng rng(seed);
      Case c;
      const std::vector<std::uint32_t> alphabet = make_alphabet(rng, 6, false);
      std::vector<std::vector<std::uint32_t>> lines;
      for (int i = 0; i < top + uniform(rng, 0, 30); ++i) {
        std::vector<std::uint32_t> line;
        if (i < top) line.push_back(alphabet[0]);
        for (std::size_t j = 1; j < alphabet.size(); ++j)
          if (chance(rng, 0.3)) line.push_back(alphabet[j]);
        lines.push_back(line);
      }
      std::shuffle(lines.begin(), lines.end(), rng);
      Quirks q;
      q.no_final_newline = chance(rng, 0.5);
      c.data = finish_data(render_lines(rng, lines, q));
      c.query.sigma = chance(rng, 0.5) ? 1 : static_cast<std::uint32_t>(uniform(rng, 2, top / 4));
      random_engine_options(rng, c);
      return c;
    });
  }
}

// More than 65534 frequent items: the 32-bit item type, with short lines only.
TEST(Differential, ThirtyTwoBitItemType) {
  Rng rng(4000);
  const int n_items = 65536 + 40;
  std::vector<std::uint32_t> alphabet = make_alphabet(rng, n_items, true);
  std::vector<std::vector<std::uint32_t>> lines;
  for (std::size_t i = 0; i < alphabet.size();) {
    std::vector<std::uint32_t> line;
    for (int len = uniform(rng, 1, 3); len > 0 && i < alphabet.size(); --len) line.push_back(alphabet[i++]);
    if (chance(rng, 0.2)) line.push_back(alphabet[static_cast<std::size_t>(uniform(rng, 0, 50))]);
    lines.push_back(line);
  }
  Case base;
  base.data = finish_data(render_lines(rng, lines, Quirks{}));
  base.query.sigma = 1;
  base.hop_given = true;
  int failures = 0;
  // One run: its pair array alone has 2^31 counters.
  for (int hop : {3}) {
    Case c = base;
    c.seed = 4000 + static_cast<std::uint64_t>(hop);
    c.hop = hop;
    const std::string report = run_case(c, "items32");
    if (!report.empty()) {
      ++failures;
      ADD_FAILURE() << report;
    }
  }
  EXPECT_EQ(failures, 0);
}

// Every hop and preloops value on dense data (key-pattern and compact vertical
// variants) and on sparse data (diffuse variant, pruning and reordering).
TEST(Differential, EnginePhasesAgreeForEveryHop) {
  int failures = 0;
  for (int d = 0; d < 6 * kScale; ++d) {
    Rng rng(5000 + static_cast<std::uint64_t>(d));
    Case base;
    const int shape = d % 3;
    if (shape == 0) {         // dense, long itemsets
      base.data = random_data(rng, true, uniform(rng, 50, 300), uniform(rng, 8, 14), false, Quirks{});
      base.query.sigma = static_cast<std::uint32_t>(base.data.tx.size() * uniform(rng, 15, 50) / 100);
    } else if (shape == 1) {  // medium density, many items
      std::vector<std::vector<std::uint32_t>> lines;
      const std::vector<std::uint32_t> alphabet = make_alphabet(rng, 40, false);
      const int n_tx = uniform(rng, 200, 800);
      for (int i = 0; i < n_tx; ++i) {
        std::vector<std::uint32_t> line;
        for (std::size_t j = 0; j < alphabet.size(); ++j)
          if (chance(rng, j < 10 ? 0.6 : 0.08)) line.push_back(alphabet[j]);
        lines.push_back(line);
      }
      base.data = finish_data(render_lines(rng, lines, Quirks{}));
      base.query.sigma = static_cast<std::uint32_t>(n_tx * uniform(rng, 3, 12) / 100);
    } else {                  // sparse and diffuse
      base.data = random_data(rng, false, uniform(rng, 500, 3000), uniform(rng, 30, 150), false, Quirks{});
      base.query.sigma = static_cast<std::uint32_t>(uniform(rng, 2, 8));
    }
    for (int hop : {-1, 2, 3, 4, 100}) {
      Case c = base;
      c.seed = 5000 + static_cast<std::uint64_t>(d) * 1000 + static_cast<std::uint64_t>(hop + 1);
      c.hop_given = true;
      c.hop = hop;
      c.preloops_given = true;
      c.preloops = std::vector<int>{0, 1, 3}[static_cast<std::size_t>(uniform(rng, 0, 2))];
      const std::string report = run_case(c, "phases");
      if (report.empty()) continue;
      if (++failures <= kMaxReportedFailures) ADD_FAILURE() << report;
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(Differential, AntiMonotoneAndSuccinctConstraints) {
  const std::vector<std::string> family = {"subseteq", "asubseteq", "mingeq", "maxleq",
                                           "lenleq",   "sumleq",    "rangeleq", "acountleq"};
  run_family("am", 6000, 80 * kScale,
             [&](std::uint64_t seed) { return constrained_case(seed, family, 2, 0.2); });
}

TEST(Differential, MonotoneConstraints) {
  const std::vector<std::string> family = {"supseteq", "asupseteq", "lengeq", "sumgeq",
                                           "acountgeq", "rangegeq", "minleq", "maxgeq"};
  run_family("mon", 7000, 80 * kScale,
             [&](std::uint64_t seed) { return constrained_case(seed, family, 2, 0.2); });
}

TEST(Differential, LooseAntiMonotoneConstraints) {
  const std::vector<std::string> family = {"varleq", "vargeq", "stdleq", "stdgeq",
                                           "spvleq", "spvgeq", "mdleq",  "mdgeq",
                                           "avgleq", "avggeq", "medgeq", "medleq"};
  run_family("lam", 8000, 80 * kScale,
             [&](std::uint64_t seed) { return constrained_case(seed, family, 2, 0.2); });
}

TEST(Differential, ConvertibleConstraints) {
  const std::vector<std::string> family = {"avggeq2", "avgleq2", "minleq2", "maxgeq2",
                                           "medgeq2", "medleq2", "rangeleq2"};
  run_family("cam", 9000, 80 * kScale,
             [&](std::uint64_t seed) { return constrained_case(seed, family, 3, 0.2); });
}

TEST(Differential, RandomCombinationsOfAllKeywords) {
  run_family("combo", 10000, 120 * kScale, [](std::uint64_t seed) {
    return constrained_case(seed, reference::all_keywords(), 4, 0.3);
  });
}

// A corrupt number anywhere in a valid file is an error, exit 1, one stderr line;
// the harmless look-alikes are read as the contract says.
TEST(Differential, MalformedNumbersAreErrors) {
  const char* const kSpots[] = {"-7", "3.5", "4294967296", "99999999999", "1-2",
                                "- 7", "3. 5", ".5", "4294967295", "7-", "x.y", "1,2"};
  int failures = 0;
  for (int i = 0; i < 24; ++i) {
    Rng rng(11000 + static_cast<std::uint64_t>(i));
    Case c = random_case(rng);
    c.with_attributes = false;
    std::vector<std::vector<std::uint32_t>> rows;
    std::string text = c.data.text;
    const std::size_t at = text.empty() ? 0 : static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(text.size()) - 1));
    const std::size_t cut = text.find('\n', at);
    text.insert(cut == std::string::npos ? text.size() : cut, std::string(" ") + kSpots[i % 12]);
    const bool bad = !reference::parse_number_lines(text, true, &rows).empty();
    const std::string dir = kestrel_test::make_temp_dir("malformed");
    kestrel_test::write_file(dir + "/in.dat", text);
    const kestrel_test::RunOutcome run = kestrel_test::run_kestrel(
        dir, {"input", "in.dat", "output", "out.txt", "sigma", std::to_string(c.query.sigma)});
    std::string report;
    if (bad) {
      const std::size_t newlines = std::count(run.stderr_text.begin(), run.stderr_text.end(), '\n');
      if (run.exit_status != 1 || newlines != 1)
        report = "spot " + std::string(kSpots[i % 12]) + ": expected exit 1 and one stderr line, got " +
                 std::to_string(run.exit_status) + " and: " + run.stderr_text;
    } else {
      c.data = finish_data(text);
      reference::MineResult expected = reference::mine(c.data.tx, {}, false, c.query);
      report = kestrel_test::judge_run(run, expected.lines, 0);
    }
    if (report.empty()) {
      kestrel_test::remove_tree(dir);
    } else if (++failures <= kMaxReportedFailures) {
      ADD_FAILURE() << "seed " << 11000 + i << "\ncommand: " << run.command << "\n" << report;
    }
  }
  EXPECT_EQ(failures, 0);
}

}  // namespace
