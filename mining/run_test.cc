// The library entry point: kestrel::mine against the files the command line
// writes, in-memory input, errors, interruption, tmpdir and repeated runs; and
// runs shared by several ranks (threads standing in for kestrel-mpi's processes).
#include "mining/run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "include/kestrel/kestrel.h"
#include "tests/support/files.h"
#include "tests/support/itemsets.h"
#include "tests/support/ranks.h"
#include "tests/support/run_error_of.h"
#include "tests/support/thread_ranks.h"

namespace {

using rows = std::vector<std::vector<std::uint32_t>>;

rows random_rows(unsigned seed, int n_rows, std::uint32_t n_items) {
  std::mt19937 rng(seed);
  rows r(n_rows);
  for (auto& t : r)
    for (int len = static_cast<int>(rng() % 10); len > 0; --len) t.push_back(rng() % n_items);
  return r;
}

// Sparse rows with items 0 .. 7 planted in every fourth, each with probability keep / 10.
rows with_planted_pattern(unsigned seed, unsigned keep) {
  rows r = random_rows(seed, 400, 40);
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < r.size(); i += 4)
    for (std::uint32_t item = 0; item < 8; ++item)
      if (rng() % 10 < keep) r[i].push_back(item);
  return r;
}

// Sparse rows of many items whose pairs are counted among those that occur.
rows of_many_items(unsigned seed) {
  rows r = random_rows(seed, 3000, 2000);
  for (std::size_t i = 0; i < r.size(); i += 3) r[i].push_back(3);
  return r;
}

// The attribute file "attr.txt": one row, id i's value i * 7 mod 19.
void write_attributes(int n_items) {
  std::string attr;
  for (int i = 0; i < n_items; ++i) attr += std::to_string(i * 7 % 19) + " ";
  write_file("attr.txt", attr + "\n");
}

// A line as the output file writes it.
std::string line_of(const std::uint32_t* items, std::size_t n, std::uint64_t support) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += std::to_string(items[i]) + " ";
  return s + "(" + std::to_string(support) + ")\n";
}

struct capture {
  std::string lines, report;
  kestrel::run_hooks hooks(bool itemsets) {
    kestrel::run_hooks h;
    if (itemsets)
      h.itemsets = [this](const std::uint32_t* items, std::size_t n, std::uint64_t support) {
        lines += line_of(items, n, support);
      };
    h.report = [this](const char* text) { report += text; };
    return h;
  }
};

kestrel::run_description description(int hop, std::vector<kestrel::constraint> constraints) {
  kestrel::run_description d;
  d.input = "in.dat";
  d.output = "out.txt";
  d.sigma = 4;
  d.hop = hop;
  d.preloops = 2;
  d.attributes = "attr.txt";
  d.constraints = std::move(constraints);
  return d;
}

// The in-memory layout a test forces: "bits" or "lists".
kestrel::run_testing::layout layout_named(const std::string& name) {
  return name == "bits" ? kestrel::run_testing::layout::bit_matrix
                        : kestrel::run_testing::layout::tid_lists;
}

// Every engine path (hop 2: bit matrix from level 2; 3: out of core, then
// vertical; 100: out of core throughout) with and without constraints.
const std::vector<std::pair<int, std::vector<kestrel::constraint>>> kRuns = {
    {2, {}},
    {3, {{"supseteq", "[3]"}, {"sumleq", "[0,60]"}}},
    {100, {{"avggeq2", "[0,5]"}, {"lenleq", "[4]"}}},
    {3, {{"lengeq", "[2]"}, {"varleq", "[0,40]"}}},
};

// What one process writes to "out.txt" (removed once read), reports and counts.
struct single_run {
  std::string file, report;
  kestrel::run_statistics stats;
};

single_run mine_alone(const kestrel::run_description& d) {
  capture seen;
  single_run alone;
  alone.stats = kestrel::mine(d, seen.hooks(false));
  alone.file = read_file("out.txt");
  alone.report = seen.report;
  EXPECT_EQ(remove("out.txt"), 0);
  return alone;
}

// On every engine path the itemset hook receives exactly the lines the file
// gets (and no file is written), in-memory input gives what the files give, and
// the statistics restate the report.
TEST(Mine, HooksAndInMemoryInputGiveWhatTheFileGets) {
  test_dir dir;
  const rows data = random_rows(3, 300, 24);
  rows attr_rows(1);
  for (std::uint32_t i = 0; i < 24; ++i) attr_rows[0].push_back(i * 7 % 19);
  write_file("in.dat", fimi_text(data));
  write_attributes(24);
  for (const auto& [hop, constraints] : kRuns) {
    SCOPED_TRACE("hop " + std::to_string(hop));
    const single_run alone = mine_alone(description(hop, constraints));
    capture to_hook, from_memory;
    const kestrel::run_statistics b =
        kestrel::mine(description(hop, constraints), to_hook.hooks(true));
    EXPECT_FALSE(path_exists("out.txt")) << "no output file with an itemset hook";
    EXPECT_EQ(to_hook.lines, alone.file);
    EXPECT_EQ(without_times(to_hook.report), without_times(alone.report));
    EXPECT_EQ(b.itemsets_written, alone.stats.itemsets_written);
    kestrel::run_description d = description(hop, constraints);
    d.input.clear();
    d.attributes.clear();
    d.transactions = &data;
    d.attribute_rows = &attr_rows;
    kestrel::mine(d, from_memory.hooks(true));
    EXPECT_EQ(from_memory.lines, alone.file);
    EXPECT_GT(alone.stats.itemsets_written, 1u);
    EXPECT_EQ(alone.stats.itemsets_written,
              static_cast<std::uint64_t>(std::count(alone.file.begin(), alone.file.end(), '\n')));
    EXPECT_EQ(alone.stats.transactions, data.size());
    EXPECT_EQ(alone.stats.levels.front().level, 0);
    EXPECT_EQ(alone.stats.levels[1].algorithm, "scan");
  }
}

// A description the library checks itself fails with the command line's
// messages and leaves no files (errors in the input's contents are tested
// through the command line).
TEST(Mine, ErrorsAreTheCommandLinesMessages) {
  test_dir dir;
  write_file("in.dat", "1 2\n2 3\n");
  struct Case {
    std::string input, tmpdir;
    std::vector<kestrel::constraint> constraints;
    std::string message;
  } cases[] = {
      {"in.dat", ".", {{"sumleq", "[0,x]"}}, "sumleq: malformed parameters \"[0,x]\""},
      {"in.dat", ".", {{"bogus", "[1]"}}, " ... Error in constraints!"},
      {"in.dat",
       ".",
       {{"sumleq", "[0,5]"}},
       "attributes option missing: a constraint needs attribute 0"},
      {"in.dat", "absent", {}, "tmpdir: \"absent\" is not a writable directory"},
      {"in.dat", "in.dat", {}, "tmpdir: \"in.dat\" is not a writable directory"},
      {"", ".", {}, "input, output and sigma are mandatory!"},
  };
  for (const Case& c : cases) {
    kestrel::run_description d;
    d.input = c.input;
    d.output = "out.txt";
    d.sigma = 1;
    d.tmpdir = c.tmpdir;
    d.constraints = c.constraints;
    EXPECT_EQ(error_of<kestrel::run_error>([&] { kestrel::mine(d); }), c.message);
    EXPECT_FALSE(std::ifstream("out.txt").good()) << c.message;
    EXPECT_FALSE(std::ifstream("dataset.tmp").good()) << c.message;
  }
}

// What each rank of a shared run ended with: "" after a completed run, else
// its error message; its statistics and the lines its itemset hook received;
// and rank 0's report.
struct shared_outcome {
  std::vector<std::string> errors, lines;
  std::vector<kestrel::run_statistics> stats;
  std::string report;
  bool completed() const {
    return std::all_of(errors.begin(), errors.end(),
                       [](const std::string& e) { return e.empty(); });
  }
};

// Runs d on `ranks` ranks; rank `stopping` asks to stop at its poll number
// `stop_at` (counting from 0; none when negative). per_rank, when given, is
// called on each rank between its polls with the rank's number, and sets a
// rank's own memory cap (MiB, 0: none) first. Rank 0 alone lays out itemsets:
// the odd ranks after it get an itemset hook, the even ones an output path in
// no directory, and neither may be used.
shared_outcome mine_on_ranks(int ranks, kestrel::run_description d, int stopping, int stop_at,
                             const std::function<void(int rank)>& per_rank = nullptr,
                             const std::vector<std::uint64_t>& memory_mib = {}) {
  const std::size_t n = static_cast<std::size_t>(ranks);
  shared_outcome outcome{std::vector<std::string>(n), std::vector<std::string>(n),
                         std::vector<kestrel::run_statistics>(n), ""};
  std::vector<capture> seen(n);
  d.threads = 1;
  thread_ranks(ranks).run([&](int rank, cluster& peers) {
    const std::size_t r = static_cast<std::size_t>(rank);
    int polls = 0;
    kestrel::run_hooks hooks = seen[r].hooks(rank % 2 == 1);
    hooks.stop_requested = [&] {
      if (per_rank) per_rank(rank);
      return rank == stopping && stop_at >= 0 && polls++ >= stop_at;
    };
    kestrel::run_description own = d;
    if (rank > 0 && rank % 2 == 0) own.output = "absent/out.txt";
    if (r < memory_mib.size()) own.memory_mib = memory_mib[r];
    try {
      outcome.stats[r] = mine_shared(own, hooks, &peers);
    } catch (const kestrel::run_error& e) {
      outcome.errors[r] = e.what();
    }
  });
  for (std::size_t r = 0; r < n; ++r) outcome.lines[r] = seen[r].lines;
  outcome.report = seen[0].report;
  return outcome;
}

// A temporary dataset or a spill file of one process or of any rank.
bool temporary_files_left() {
  for (const char* rank : {"", ".0", ".1", ".2"})
    for (const char* file : {"", ".level0", ".level1"})
      if (path_exists(std::string("dataset.tmp") + rank + file)) return true;
  return false;
}

// Every point at which one rank may fail (each poll of its stop hook, from the
// first scan through the passes out of core to the levels in memory, on the
// first and on the last rank) ends every rank with that rank's message and
// leaves neither output nor temporary datasets. Past the last poll the shared
// run writes what one process writes, and every rank reports its figures
// (written itemsets included, counted under constraints that hold some back
// at every level), while rank 0 alone lays out itemsets. Dense data, sparse
// data with a planted pattern of 8 items, and sparse data of many items whose
// pairs are counted among those that occur (exchanged as nominations).
TEST(MineShared, AFailureOfOneRankAtAnyPassEndsEveryRank) {
  test_dir dir;
  write_attributes(2000);
  for (const rows& data :
       {random_rows(11, 400, 20), with_planted_pattern(11, 7), of_many_items(12)})
    for (const auto& [hop, constraints] : kRuns) {
      write_file("in.dat", fimi_text(data));
      const kestrel::run_description d = description(hop, constraints);
      const single_run alone = mine_alone(d);
      for (int ranks : {2, 3}) {
        for (int stopping : {0, ranks - 1}) {
          for (int stop_at = 0;; ++stop_at) {
            SCOPED_TRACE("hop " + std::to_string(hop) + ", " + std::to_string(ranks) +
                         " ranks, rank " + std::to_string(stopping) + " stops at poll " +
                         std::to_string(stop_at));
            const shared_outcome outcome = mine_on_ranks(ranks, d, stopping, stop_at);
            if (outcome.completed()) {
              EXPECT_EQ(read_file("out.txt"), alone.file);
              EXPECT_EQ(without_times(without_exchange(outcome.report)),
                        without_times(alone.report));
              for (std::size_t r = 0; r < outcome.stats.size(); ++r) {
                const kestrel::run_statistics& s = outcome.stats[r];
                EXPECT_EQ(outcome.lines[r], "") << r;
                EXPECT_EQ(s.itemsets_written, alone.stats.itemsets_written) << r;
                ASSERT_EQ(s.levels.size(), alone.stats.levels.size()) << r;
                for (std::size_t k = 0; k < s.levels.size(); ++k) {
                  EXPECT_EQ(s.levels[k].frequent, alone.stats.levels[k].frequent) << r << k;
                  EXPECT_EQ(s.levels[k].written, alone.stats.levels[k].written) << r << k;
                }
              }
              ASSERT_EQ(remove("out.txt"), 0);
              break;
            }
            for (const std::string& e : outcome.errors) EXPECT_EQ(e, "interrupted");
            EXPECT_FALSE(path_exists("out.txt"));
            EXPECT_FALSE(temporary_files_left());
            ASSERT_LT(stop_at, 100);
          }
        }
      }
    }
}

// The lines of a report whose rows of levels in memory end with their windows.
int spilled_rows(const std::string& report) {
  int rows = 0;
  for (std::size_t at = report.find(" passes\n"); at != std::string::npos;
       at = report.find(" passes\n", at + 1))
    rows += report.rfind("\t zax", at) > report.rfind('\n', at) ? 1 : 0;
  return rows;
}

// Levels shared between ranks outgrow their windows and spill. The ranks hold
// parts far from even, each only its own records in memory: a long last line
// covers the byte ranges of every rank after the first, which gets every record
// (the others none at all); a long first line leaves the first rank that one
// record (of a single item, which level 2 drops), and the last rank all the
// others. With different memory caps as well, each rank alone would plan other
// windows and spill at other times; they agree, meet at the same sums
// (thread_ranks aborts otherwise) and write what one process writes, with one
// process's rows but for the number of windows. Every rank writes its own spill
// files while it works, and none is left. Dense data (key patterns) and sparse
// data with a planted pattern of 8 items (compact and diffuse levels), on the
// bit matrix and on tid-lists, windows planned against a range of sizes
// (one byte: every group a window of its own), on every engine path.
TEST(MineShared, UnevenPartsAndLevelsOutgrowingTheirWindowsWriteWhatOneProcessWrites) {
  test_dir dir;
  write_attributes(40);
  int spilled_runs = 0, configuration = 0;
  for (const rows& data : {random_rows(52, 400, 16), with_planted_pattern(51, 8)}) {
    const std::string records = fimi_text(data);
    std::string long_line;
    while (long_line.size() < 3 * records.size()) long_line += "7 ";
    long_line += "7\n";
    for (const char* layout : {"bits", "lists"})
      for (const char* window : {"1", "3000", "12000", "40000"})
        for (const auto& [hop, constraints] : kRuns) {
          const bool long_first = ++configuration % 2 == 0;
          write_file("in.dat", long_first ? long_line + records : records + long_line);
          kestrel::run_description d = description(hop, constraints);
          d.sigma = 6;
          d.testing.vertical_layout = layout_named(layout);
          d.testing.level_window_bytes = std::stoull(window);
          const single_run alone = mine_alone(d);
          for (int ranks : {2, 3}) {
            SCOPED_TRACE(std::string(layout) + ", window " + window + ", hop " +
                         std::to_string(hop) + ", " + std::to_string(ranks) + " ranks, " +
                         std::to_string(data.size()) + " rows, long line " +
                         (long_first ? "first" : "last"));
            std::vector<int> seen_spilling(static_cast<std::size_t>(ranks), 0);
            const shared_outcome outcome =
                mine_on_ranks(ranks, d, 0, -1,
                              [&](int rank) {
                                const std::string own = "dataset.tmp." + std::to_string(rank);
                                if (path_exists(own + ".level0") || path_exists(own + ".level1"))
                                  seen_spilling[static_cast<std::size_t>(rank)] = 1;
                              },
                              {0, 1, 2});
            ASSERT_TRUE(outcome.completed()) << outcome.errors[0] << outcome.errors[1];
            EXPECT_EQ(read_file("out.txt"), alone.file);
            EXPECT_EQ(without_times(without_level_windows(without_exchange(outcome.report))),
                      without_times(without_level_windows(alone.report)));
            // A level that spills in one window shows no passes, but its file.
            const bool spilled = seen_spilling[0] != 0;
            spilled_runs += spilled ? 1 : 0;
            EXPECT_TRUE(spilled || spilled_rows(outcome.report) == 0);
            // Every level in memory spills under windows of one byte (the
            // constrained runs' may all be too small to).
            if (std::string(window) == "1" && constraints.empty()) {
              EXPECT_GT(spilled_rows(outcome.report), 0) << outcome.report;
              EXPECT_GT(spilled_rows(alone.report), 0) << alone.report;
            }
            for (int rank = 1; rank < ranks; ++rank)
              EXPECT_EQ(seen_spilling[static_cast<std::size_t>(rank)], seen_spilling[0]) << rank;
            ASSERT_EQ(remove("out.txt"), 0);
            EXPECT_FALSE(temporary_files_left());
          }
        }
  }
  EXPECT_GT(spilled_runs, 16);
}

// A file of one rank's own lies on a device that fails (links to it in place
// of the file): its temporary dataset on a full device or on one that cannot
// be cut, or both its spill files on a full device (every level in memory
// spills). Every rank ends with that rank's message, and neither rank 0's
// output (partly written as its levels spilled) nor a temporary file is left.
TEST(MineShared, AFileOfOneRankOnAFailingDeviceEndsEveryRank) {
  test_dir dir;
  write_file("in.dat", fimi_text(random_rows(53, 400, 16)));
  write_file("attr.txt", "1\n");
  const struct {
    const char* device;
    std::vector<std::string> links;  // after "dataset.tmp.<rank>"
    std::string failing, message;
  } cases[] = {{"/dev/full", {""}, "", " could not be written!"},
               {"/dev/null", {""}, "", " could not be cut!"},
               {"/dev/full", {".level0", ".level1"}, ".level1", " could not be written!"}};
  for (const auto& c : cases)
    for (int ranks : {2, 3})
      for (int failing : {0, ranks - 1})
        for (const char* layout : {"bits", "lists"}) {
          const std::string own = "dataset.tmp." + std::to_string(failing);
          SCOPED_TRACE(own + c.failing + ", " + layout + ", " + std::to_string(ranks) + " ranks");
          for (const std::string& link : c.links)
            ASSERT_EQ(symlink(c.device, (own + link).c_str()), 0);
          kestrel::run_description d = description(c.failing.empty() ? 3 : 2, {});
          d.sigma = 6;
          d.testing.vertical_layout = layout_named(layout);
          d.testing.level_window_bytes = 1;
          const shared_outcome outcome = mine_on_ranks(ranks, d, 0, -1);
          for (const std::string& e : outcome.errors) EXPECT_EQ(e, own + c.failing + c.message);
          EXPECT_FALSE(path_exists("out.txt"));
          // Links at the names of the run's files are the user's: they stay.
          for (const std::string& link : c.links) {
            EXPECT_TRUE(path_exists(own + link));
            std::remove((own + link).c_str());
          }
          EXPECT_FALSE(temporary_files_left());
        }
  EXPECT_TRUE(path_exists("/dev/full"));
}

TEST(Mine, TemporaryDatasetGoesToTmpdir) {
  test_dir dir;
  write_file("in.dat", "1 2 3\n1 2 3\n1 2\n");
  ASSERT_EQ(mkdir("scratch", 0755), 0);
  kestrel::run_description d;
  d.input = "in.dat";
  d.output = "out.txt";
  d.sigma = 1;
  d.tmpdir = "scratch";
  // "dataset.tmp" exists only while the run works: look from the report hook.
  bool seen_in_tmpdir = false, seen_here = false;
  kestrel::run_hooks hooks;
  hooks.report = [&](const char*) {
    seen_in_tmpdir = seen_in_tmpdir || std::ifstream("scratch/dataset.tmp").good();
    seen_here = seen_here || std::ifstream("dataset.tmp").good();
  };
  kestrel::mine(d, hooks);
  EXPECT_TRUE(seen_in_tmpdir);
  EXPECT_FALSE(seen_here);
  EXPECT_FALSE(std::ifstream("scratch/dataset.tmp").good()) << "a completed run removes it";
  const std::string out = read_file("out.txt");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8) << out;  // every subset of {1, 2, 3}
}

}  // namespace
