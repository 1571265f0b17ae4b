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

std::string fimi_text(const rows& r) {
  std::string text;
  for (const auto& t : r) {
    for (std::size_t i = 0; i < t.size(); ++i) text += (i ? " " : "") + std::to_string(t[i]);
    text += "\n";
  }
  return text;
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

TEST(Mine, ItemsetHookReceivesExactlyTheLinesTheFileGets) {
  test_dir dir;
  const rows data = random_rows(3, 300, 24);
  write_file("in.dat", fimi_text(data));
  std::string attr;
  for (int i = 0; i < 24; ++i) attr += std::to_string(i * 7 % 19) + " ";
  write_file("attr.txt", attr + "\n");
  for (const auto& [hop, constraints] : kRuns) {
    capture to_file, to_hook;
    const kestrel::run_statistics a =
        kestrel::mine(description(hop, constraints), to_file.hooks(false));
    const std::string file = read_file("out.txt");
    ASSERT_EQ(remove("out.txt"), 0);
    const kestrel::run_statistics b =
        kestrel::mine(description(hop, constraints), to_hook.hooks(true));
    EXPECT_FALSE(std::ifstream("out.txt").good()) << "no output file with an itemset hook";
    EXPECT_EQ(to_hook.lines, file) << hop;
    EXPECT_GT(a.itemsets_written, 1u) << hop;
    EXPECT_EQ(a.itemsets_written, b.itemsets_written);
    EXPECT_EQ(without_times(to_file.report), without_times(to_hook.report));
    // The statistics restate the report: one row per progress row, Rk summing to the lines.
    std::size_t n_lines = 0;
    for (char c : file) n_lines += c == '\n';
    EXPECT_EQ(a.itemsets_written, n_lines);
    EXPECT_EQ(a.transactions, data.size());
    EXPECT_EQ(a.levels.front().level, 0);
    EXPECT_EQ(a.levels[1].algorithm, "scan");
  }
}

TEST(Mine, InMemoryInputEqualsFileInputAndTwoRunsAgree) {
  test_dir dir;
  const rows data = random_rows(8, 250, 30);
  rows attr_rows(1);
  for (std::uint32_t i = 0; i < 30; ++i) attr_rows[0].push_back(i * 13 % 23);
  write_file("in.dat", fimi_text(data));
  write_file("attr.txt", fimi_text(attr_rows));
  for (const auto& [hop, constraints] : kRuns) {
    capture file_run, memory_run, again;
    kestrel::mine(description(hop, constraints), file_run.hooks(true));
    kestrel::run_description d = description(hop, constraints);
    d.input.clear();
    d.attributes.clear();
    d.transactions = &data;
    d.attribute_rows = &attr_rows;
    kestrel::mine(d, memory_run.hooks(true));
    kestrel::mine(description(hop, constraints), again.hooks(true));
    EXPECT_EQ(memory_run.lines, file_run.lines) << hop;
    EXPECT_EQ(again.lines, file_run.lines) << hop;
    EXPECT_EQ(without_times(again.report), without_times(file_run.report)) << hop;
  }
}

TEST(Mine, ErrorsAreTheCommandLinesMessages) {
  test_dir dir;
  write_file("in.dat", "1 2\n2 3\n");
  write_file("bad.dat", "1 -2\n");
  struct Case {
    std::string input, tmpdir;
    std::vector<kestrel::constraint> constraints;
    std::string message;
  } cases[] = {
      {"absent.dat", ".", {}, "ERROR: Cannot open input file!"},
      {"bad.dat", ".", {}, "bad.dat:1: minus sign before a number"},
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

TEST(Mine, StopRequestEndsTheRunAsInterrupted) {
  test_dir dir;
  write_file("in.dat", fimi_text(random_rows(5, 200, 12)));
  for (int polls_before_stop : {0, 1, 3}) {
    kestrel::run_description d;
    d.input = "in.dat";
    d.output = "out.txt";
    d.sigma = 2;
    d.hop = 4;
    int polls = 0;
    kestrel::run_hooks hooks;
    hooks.stop_requested = [&] { return polls++ >= polls_before_stop; };
    EXPECT_EQ(error_of<kestrel::run_error>([&] { kestrel::mine(d, hooks); }), "interrupted")
        << polls_before_stop;
    EXPECT_FALSE(std::ifstream("out.txt").good()) << "a stopped run leaves no output";
    EXPECT_FALSE(std::ifstream("dataset.tmp").good());
  }
}

// What each rank of a shared run ended with: "" after a completed run, else
// its error message; and rank 0's report.
struct shared_outcome {
  std::vector<std::string> errors;
  std::string report;
  bool completed() const {
    return std::all_of(errors.begin(), errors.end(),
                       [](const std::string& e) { return e.empty(); });
  }
};

// Runs d on `ranks` ranks; rank `stopping` asks to stop at its poll number
// `stop_at` (counting from 0; none when negative). per_rank, when given, is
// called on each rank between its polls with the rank's number, and sets a
// rank's own memory cap (MiB, 0: none) first.
shared_outcome mine_on_ranks(int ranks, kestrel::run_description d, int stopping, int stop_at,
                             const std::function<void(int rank)>& per_rank = nullptr,
                             const std::vector<std::uint64_t>& memory_mib = {}) {
  shared_outcome outcome;
  outcome.errors.resize(static_cast<std::size_t>(ranks));
  d.threads = 1;
  thread_ranks(ranks).run([&](int rank, cluster& peers) {
    int polls = 0;
    kestrel::run_hooks hooks;
    hooks.stop_requested = [&] {
      if (per_rank) per_rank(rank);
      return rank == stopping && stop_at >= 0 && polls++ >= stop_at;
    };
    if (rank == 0) hooks.report = [&](const char* text) { outcome.report += text; };
    kestrel::run_description own = d;
    if (static_cast<std::size_t>(rank) < memory_mib.size())
      own.memory_mib = memory_mib[static_cast<std::size_t>(rank)];
    try {
      mine_shared(own, hooks, &peers);
    } catch (const kestrel::run_error& e) {
      outcome.errors[static_cast<std::size_t>(rank)] = e.what();
    }
  });
  return outcome;
}

bool temporary_datasets_left() {
  for (const char* name : {"dataset.tmp", "dataset.tmp.0", "dataset.tmp.1", "dataset.tmp.2"})
    if (path_exists(name)) return true;
  return false;
}

// Every point at which one rank may fail (each poll of its stop hook, from the
// first scan through the passes out of core to the levels in memory, on the
// first and on the last rank) ends every rank with that rank's message and
// leaves neither output nor temporary datasets; past the last poll the shared
// run writes what one process writes.
// Dense data, sparse data with a planted pattern of 8 items, and sparse data
// of many items whose pairs are counted among those that occur (exchanged as
// nominations).
TEST(MineShared, AFailureOfOneRankAtAnyPassEndsEveryRank) {
  test_dir dir;
  std::string attr;
  for (int i = 0; i < 2000; ++i) attr += std::to_string(i * 7 % 19) + " ";
  write_file("attr.txt", attr + "\n");
  rows many_items = random_rows(12, 3000, 2000);
  for (std::size_t i = 0; i < many_items.size(); i += 3) many_items[i].push_back(3);
  rows sparse = random_rows(11, 400, 40);
  std::mt19937 rng(11);
  for (std::size_t i = 0; i < sparse.size(); i += 4)
    for (std::uint32_t item = 0; item < 8; ++item)
      if (rng() % 10 < 7) sparse[i].push_back(item);
  for (const rows& data : {random_rows(11, 400, 20), sparse, many_items})
    for (const auto& [hop, constraints] : kRuns) {
      write_file("in.dat", fimi_text(data));
      const kestrel::run_description d = description(hop, constraints);
      capture single;
      kestrel::mine(d, single.hooks(false));
      const std::string expected = read_file("out.txt");
      ASSERT_EQ(remove("out.txt"), 0);
      for (int ranks : {2, 3}) {
        for (int stopping : {0, ranks - 1}) {
          for (int stop_at = 0;; ++stop_at) {
            SCOPED_TRACE("hop " + std::to_string(hop) + ", " + std::to_string(ranks) +
                         " ranks, rank " + std::to_string(stopping) + " stops at poll " +
                         std::to_string(stop_at));
            const shared_outcome outcome = mine_on_ranks(ranks, d, stopping, stop_at);
            if (outcome.completed()) {
              EXPECT_EQ(read_file("out.txt"), expected);
              EXPECT_EQ(without_times(without_exchange(outcome.report)),
                        without_times(single.report));
              ASSERT_EQ(remove("out.txt"), 0);
              break;
            }
            for (const std::string& e : outcome.errors) EXPECT_EQ(e, "interrupted");
            EXPECT_FALSE(path_exists("out.txt"));
            EXPECT_FALSE(temporary_datasets_left());
            ASSERT_LT(stop_at, 100);
          }
        }
      }
    }
}

// Every rank reports the figures of one process (written itemsets included,
// counted under constraints that hold some back from the output at every
// level), while rank 0 alone lays out itemsets: the other ranks' itemset hooks
// are never called and their output paths (in no directory) never opened.
// Dense data, and sparse data of many items whose pairs are counted among
// those that occur.
TEST(MineShared, RanksShareEveryLevelAndOnlyRankZeroLaysOutItemsets) {
  test_dir dir;
  std::string attr;
  for (int i = 0; i < 2000; ++i) attr += std::to_string(i * 7 % 19) + " ";
  write_file("attr.txt", attr + "\n");
  rows sparse = random_rows(22, 3000, 2000);
  for (std::size_t i = 0; i < sparse.size(); i += 3) sparse[i].push_back(3);
  for (const rows& data : {random_rows(21, 400, 30), sparse}) {
    write_file("in.dat", fimi_text(data));
    for (const auto& [hop, constraints] : kRuns) {
      SCOPED_TRACE("hop " + std::to_string(hop) + ", " + std::to_string(data.size()) + " rows");
      capture single;
      const kestrel::run_statistics expected =
          kestrel::mine(description(hop, constraints), single.hooks(true));
      for (int ranks : {2, 3}) {
        std::vector<capture> seen(static_cast<std::size_t>(ranks));
        std::vector<kestrel::run_statistics> stats(static_cast<std::size_t>(ranks));
        thread_ranks(ranks).run([&](int rank, cluster& peers) {
          kestrel::run_description d = description(hop, constraints);
          d.threads = 1;
          if (rank > 0) d.output = "absent/out.txt";
          stats[static_cast<std::size_t>(rank)] =
              mine_shared(d, seen[static_cast<std::size_t>(rank)].hooks(true), &peers);
        });
        EXPECT_EQ(seen[0].lines, single.lines);
        EXPECT_EQ(without_times(without_exchange(seen[0].report)), without_times(single.report));
        for (int rank = 0; rank < ranks; ++rank) {
          const kestrel::run_statistics& s = stats[static_cast<std::size_t>(rank)];
          if (rank > 0) {
            EXPECT_EQ(seen[static_cast<std::size_t>(rank)].lines, "") << rank;
          }
          EXPECT_EQ(s.itemsets_written, expected.itemsets_written) << rank;
          ASSERT_EQ(s.levels.size(), expected.levels.size()) << rank;
          for (std::size_t k = 0; k < s.levels.size(); ++k) {
            EXPECT_EQ(s.levels[k].frequent, expected.levels[k].frequent) << rank << " " << k;
            EXPECT_EQ(s.levels[k].written, expected.levels[k].written) << rank << " " << k;
          }
        }
        EXPECT_FALSE(path_exists("out.txt"));
      }
    }
  }
}

// Parts of the input far from even, each rank holding only its own records in
// memory: a long last line covers the byte ranges of every rank after the
// first, which gets every record (the others none at all); a long first line
// leaves the first rank that one record (of a single item, which level 2
// drops), and the last rank all the others. On the bit matrix and on
// tid-lists, from level 2 on and after passes out of core, the ranks write and
// report what one process does.
TEST(MineShared, UnevenPartsWriteWhatOneProcessWrites) {
  test_dir dir;
  std::string attr;
  for (int i = 0; i < 30; ++i) attr += std::to_string(i * 7 % 19) + " ";
  write_file("attr.txt", attr + "\n");
  const std::string records = fimi_text(random_rows(31, 400, 30));
  std::string long_line;
  while (long_line.size() < 3 * records.size()) long_line += "7 ";
  long_line += "7\n";
  for (const char* layout : {"bits", "lists"}) {
    for (bool long_first : {false, true}) {
      write_file("in.dat", long_first ? long_line + records : records + long_line);
      for (const auto& [hop, constraints] : kRuns) {
        kestrel::run_description d = description(hop, constraints);
        d.testing.vertical_layout = layout_named(layout);
        capture single;
        kestrel::mine(d, single.hooks(false));
        const std::string expected = read_file("out.txt");
        ASSERT_EQ(remove("out.txt"), 0);
        for (int ranks : {2, 3}) {
          SCOPED_TRACE(std::string(layout) +
                       (long_first ? ", long first line" : ", long last line") + ", hop " +
                       std::to_string(hop) + ", " + std::to_string(ranks) + " ranks");
          const shared_outcome outcome = mine_on_ranks(ranks, d, 0, -1);
          ASSERT_TRUE(outcome.completed()) << outcome.errors[0] << outcome.errors[1];
          EXPECT_EQ(read_file("out.txt"), expected);
          EXPECT_EQ(without_times(without_exchange(outcome.report)),
                    without_times(single.report));
          ASSERT_EQ(remove("out.txt"), 0);
          EXPECT_FALSE(temporary_datasets_left());
        }
      }
    }
  }
}

bool level_spill_files_left() {
  for (const char* rank : {"", ".0", ".1", ".2"})
    for (const char* level : {".level0", ".level1"})
      if (path_exists(std::string("dataset.tmp") + rank + level)) return true;
  return false;
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
// parts far from even (a long last line leaves the first rank every record,
// the others nothing) and different memory caps, so each rank alone would plan
// other windows and spill at other times; they agree, meet at the same sums
// (thread_ranks aborts otherwise) and write what one process writes, with one
// process's rows but for the number of windows. Every rank writes its own spill
// files while it works, and none is left. Dense data (key patterns) and sparse
// data with a planted pattern of 8 items (compact and diffuse levels), on the
// bit matrix and on tid-lists, windows planned against a range of sizes
// (one byte: every group a window of its own), 2 and 3 ranks.
TEST(MineShared, LevelsOutgrowingTheirWindowsSpillAlikeOnEveryRank) {
  test_dir dir;
  std::string attr;
  for (int i = 0; i < 40; ++i) attr += std::to_string(i * 7 % 19) + " ";
  write_file("attr.txt", attr + "\n");
  rows sparse = random_rows(51, 400, 40);
  std::mt19937 rng(51);
  for (std::size_t i = 0; i < sparse.size(); i += 4)
    for (std::uint32_t item = 0; item < 8; ++item)
      if (rng() % 10 < 8) sparse[i].push_back(item);
  std::string long_line;
  for (int i = 0; i < 3000; ++i) long_line += "7 ";
  long_line += "7\n";
  int spilled_runs = 0;
  for (const rows& data : {random_rows(52, 400, 16), sparse}) {
    write_file("in.dat", fimi_text(data) + long_line);
    for (const char* layout : {"bits", "lists"})
      for (const char* window : {"1", "3000", "12000", "40000"})
        for (int hop : {2, 3}) {
          kestrel::run_description d = description(hop, {});
          d.sigma = 6;
          d.testing.vertical_layout = layout_named(layout);
          d.testing.level_window_bytes = std::stoull(window);
          capture single;
          kestrel::mine(d, single.hooks(false));
          const std::string expected = read_file("out.txt");
          ASSERT_EQ(remove("out.txt"), 0);
          for (int ranks : {2, 3}) {
            SCOPED_TRACE(std::string(layout) + ", window " + window + ", hop " +
                         std::to_string(hop) + ", " + std::to_string(ranks) + " ranks, " +
                         std::to_string(data.size()) + " rows");
            std::vector<int> seen_spilling(static_cast<std::size_t>(ranks), 0);
            const shared_outcome outcome = mine_on_ranks(
                ranks, d, 0, -1,
                [&](int rank) {
                  const std::string own = "dataset.tmp." + std::to_string(rank);
                  if (path_exists(own + ".level0") || path_exists(own + ".level1"))
                    seen_spilling[static_cast<std::size_t>(rank)] = 1;
                },
                {0, 1, 2});
            ASSERT_TRUE(outcome.completed()) << outcome.errors[0] << outcome.errors[1];
            EXPECT_EQ(read_file("out.txt"), expected);
            EXPECT_EQ(without_times(without_level_windows(without_exchange(outcome.report))),
                      without_times(without_level_windows(single.report)));
            // A level that spills in one window shows no passes, but its file.
            const bool spilled = seen_spilling[0] != 0;
            spilled_runs += spilled ? 1 : 0;
            EXPECT_TRUE(spilled || spilled_rows(outcome.report) == 0);
            if (std::string(window) == "1") {
              EXPECT_GT(spilled_rows(outcome.report), 0) << outcome.report;
              EXPECT_GT(spilled_rows(single.report), 0) << single.report;
            }
            for (int rank = 1; rank < ranks; ++rank)
              EXPECT_EQ(seen_spilling[static_cast<std::size_t>(rank)], seen_spilling[0]) << rank;
            ASSERT_EQ(remove("out.txt"), 0);
            EXPECT_FALSE(temporary_datasets_left());
            EXPECT_FALSE(level_spill_files_left());
          }
        }
  }
  EXPECT_GT(spilled_runs, 16);
}

// One rank's spill file lies on a full device (links to /dev/full in place of
// both of its spill files; every level in memory spills): every rank ends with
// its message, and rank 0's output, partly written as its levels spilled, goes.
TEST(MineShared, SpillFileOfOneRankOnAFullDevice) {
  test_dir dir;
  write_file("in.dat", fimi_text(random_rows(53, 400, 16)));
  write_file("attr.txt", "1\n");
  for (int ranks : {2, 3})
    for (int failing : {0, ranks - 1})
      for (const char* layout : {"bits", "lists"}) {
        SCOPED_TRACE(std::string(layout) + ", rank " + std::to_string(failing) + " of " +
                     std::to_string(ranks));
        const std::string own = "dataset.tmp." + std::to_string(failing);
        for (const char* level : {".level0", ".level1"})
          ASSERT_EQ(symlink("/dev/full", (own + level).c_str()), 0);
        kestrel::run_description d = description(2, {});
        d.sigma = 6;
        d.testing.vertical_layout = layout_named(layout);
        d.testing.level_window_bytes = 1;
        const shared_outcome outcome = mine_on_ranks(ranks, d, 0, -1);
        for (const std::string& e : outcome.errors)
          EXPECT_EQ(e, own + ".level1 could not be written!");
        EXPECT_FALSE(path_exists("out.txt"));
        EXPECT_FALSE(temporary_datasets_left());
        // Links at the spill files' names are the user's: both stay.
        for (const char* level : {".level0", ".level1"}) {
          EXPECT_TRUE(path_exists(own + level));
          std::remove((own + level).c_str());
        }
        EXPECT_FALSE(level_spill_files_left());
      }
  EXPECT_TRUE(path_exists("/dev/full"));
}

// A rank whose own temporary dataset fails (a full device; a file that cannot
// be cut) ends every rank with its message.
TEST(MineShared, TemporaryDatasetOfOneRankFails) {
  test_dir dir;
  write_file("in.dat", fimi_text(random_rows(12, 400, 20)));
  write_file("attr.txt", "1\n");
  const struct {
    const char* device;
    const char* message;
  } cases[] = {{"/dev/full", "could not be written!"}, {"/dev/null", "could not be cut!"}};
  for (const auto& c : cases) {
    for (int failing : {0, 1}) {
      const std::string name = "dataset.tmp." + std::to_string(failing);
      ASSERT_EQ(symlink(c.device, name.c_str()), 0);
      const shared_outcome outcome = mine_on_ranks(2, description(3, {}), 0, -1);
      for (const std::string& e : outcome.errors) EXPECT_EQ(e, name + " " + c.message);
      EXPECT_FALSE(path_exists("out.txt")) << name;
      // The link is left as it was (a run removes only regular files it created).
      ASSERT_EQ(remove(name.c_str()), 0);
      EXPECT_FALSE(temporary_datasets_left()) << name;
    }
  }
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
