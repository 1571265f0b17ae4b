// The real benchmark datasets (gzipped FIMI in ../shared/data): for every hop
// value the output equals the brute-force reference, and input read through a
// pipe gives the same output. Skipped when the data directory is absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/judge.h"
#include "tests/support/process.h"
#include "tests/support/ranks.h"
#include "tests/support/reference_miner.h"
#include "tests/support/sanitizer.h"

namespace {

std::string gz_path(const std::string& name) {
  return KESTREL_SOURCE_DIR "/../shared/data/" + name + ".dat.gz";
}

// Unpacks name.dat.gz into a new directory (kept when a run fails); the
// reference output for each sigma.
struct unpacked {
  test_dir dir;
  reference::Transactions tx;
  explicit unpacked(const std::string& name) : dir("real-" + name) {
    run_io gzip;
    gzip.program = "/bin/gzip";
    gzip.stdout_path = dir.file(name + ".dat");
    if (kestrel_run(dir.path(), {"-dc", gz_path(name)}, gzip).finish().exit_status != 0 ||
        !reference::parse_number_lines(read_file(name + ".dat"), true, &tx).empty())
      tx.clear();
  }
  std::vector<std::string> expected(std::uint32_t sigma) const {
    reference::Query q;
    q.sigma = sigma;
    return reference::mine(tx, {}, false, q).lines;
  }
};

#define SKIP_WITHOUT(name) \
  if (!path_exists(gz_path(name))) GTEST_SKIP() << gz_path(name)

std::vector<std::string> run_args(const std::string& name, std::uint32_t sigma, int hop) {
  return {"input", name + ".dat",         "output", "out.txt",
          "sigma", std::to_string(sigma), "hop",    std::to_string(hop)};
}

void check_dataset(const std::string& name, const std::vector<std::uint32_t>& supports) {
  SKIP_WITHOUT(name);
  unpacked data(name);
  ASSERT_FALSE(data.tx.empty()) << "cannot unpack " << gz_path(name);
  bool all_ok = true;
  for (std::uint32_t sigma : supports) {
    const std::vector<std::string> expected = data.expected(sigma);
    // With ranks, hop 6 keeps levels 3 to 5 on the ranks' own files.
    for (int hop : {-1, 2, 3, mpi_ranks() > 0 ? 6 : 4, 100}) {
      const run_outcome run = run_kestrel(data.dir.path(), run_args(name, sigma, hop));
      std::string report = judge_run(run, expected, 0);
      if (report.empty() && mpi_ranks() > 0)
        report = mpi_difference(data.dir.path(), run_args(name, sigma, hop), run);
      all_ok = all_ok && report.empty();
      EXPECT_EQ(report, "") << name << " sigma " << sigma << " hop " << hop << "\n" << run.command;
    }
  }
  if (!all_ok) data.dir.keep();
}

TEST(RealData, ChessEqualsReferenceForEveryHop) { check_dataset("chess", {2900, 2700, 2500}); }
TEST(RealData, MushroomEqualsReferenceForEveryHop) {
  check_dataset("mushroom", {4000, 3000, 2000});
}
TEST(RealData, RetailEqualsReferenceForEveryHop) { check_dataset("retail", {1000, 500, 300}); }
TEST(RealData, T10I4D100KEqualsReferenceForEveryHop) {
  check_dataset("T10I4D100K", {1000, 500, 300});
}

// Constraints on real data against the reference, on each in-memory layout:
// the convertible ones, whose order's constraint makes the joins skip rows
// (with a prefix of a high or a low value, too), and a monotone and a loose
// one beside them. Attribute row 0 is id * 37 mod 100.
TEST(RealData, ConstrainedRunsEqualTheReference) {
  // A constraint on attribute row 0 with threshold t, or (t < 0) "supseteq"
  // of the item -t.
  auto on = [](const char* keyword, std::int32_t t) {
    reference::RefConstraint c;
    c.keyword = t < 0 ? "supseteq" : keyword;
    c.attr = t < 0 ? -1 : 0;
    c.threshold = t < 0 ? 0 : t;
    if (t < 0) c.list = {static_cast<std::uint32_t>(-t)};
    return c;
  };
  const std::vector<std::vector<reference::RefConstraint>> sets = {
      {on("avggeq2", 55)},
      {on("", -90), on("avggeq2", 65)},  // 90: value 30
      {on("", -34), on("avgleq2", 40)},  // 34: value 58
      {on("medleq2", 40), on("sumgeq", 150)},
      {on("rangeleq2", 70), on("varleq", 600)},
      {on("maxgeq2", 80), on("minleq2", 30)},
  };
  for (const auto& [name, sigma] : {std::pair<const char*, std::uint32_t>{"mushroom", 1500},
                                    {"chess", 2600}}) {
    SKIP_WITHOUT(name);
    unpacked data(name);
    ASSERT_FALSE(data.tx.empty()) << name;
    reference::AttributeRows rows(1);
    std::string attributes;
    for (std::uint32_t id = 0; id < 200; ++id) {
      rows[0].push_back(id * 37 % 100);
      attributes += std::to_string(rows[0].back()) + " ";
    }
    write_file(data.dir.file("attr.txt"), attributes + "\n");
    for (std::size_t i = 0; i < sets.size(); ++i) {
      reference::Query q;
      q.sigma = sigma;
      q.constraints = sets[i];
      const reference::MineResult expected = reference::mine(data.tx, rows, true, q);
      std::vector<std::string> args = {"input",      std::string(name) + ".dat",
                                       "output",     "out.txt",
                                       "sigma",      std::to_string(sigma),
                                       "attributes", "attr.txt",
                                       "testing.vertical_layout", i % 2 ? "lists" : "bits",
                                       "threads",    i % 3 ? "2" : "1"};
      for (const reference::RefConstraint& c : sets[i])
        args.insert(args.end(), {c.keyword, c.parameter_text()});
      const run_outcome run = run_kestrel(data.dir.path(), args);
      std::string report = judge_run(run, expected.lines, expected.prefix.size());
      if (report.empty() && mpi_ranks() > 0)
        report = mpi_difference(data.dir.path(), args, run);
      EXPECT_EQ(report, "") << run.command;
      if (!report.empty()) data.dir.keep();
    }
  }
}

// The input is read once, so a pipe works: zcat f | kestrel input /dev/stdin ...
TEST(RealData, InputThroughAPipeGivesTheSameOutput) {
  SKIP_WITHOUT("mushroom");
  unpacked data("mushroom");
  ASSERT_FALSE(data.tx.empty());
  run_io io;
  io.stdin_text = read_file("mushroom.dat");
  const run_outcome run = run_kestrel(
      data.dir.path(), {"input", "/dev/stdin", "output", "out.txt", "sigma", "2500"}, io);
  const std::string report = judge_run(run, data.expected(2500), 0);
  EXPECT_EQ(report, "") << run.command;
  if (!report.empty()) data.dir.keep();
}

// Under `memory 1` the middle levels of chess do not fit a quarter of the budget
// at once: they are counted in chunks, one pass each. The output, and every
// column of the progress rows but the time, equal an uncapped run's; a loose
// constraint makes the passes carry their flags to the pass that prunes, and
// with hop 7 the last chunk's pass fills the bit matrix instead.
TEST(RealData, ChessUnderASmallMemoryCapCountsLevelsInChunks) {
  SKIP_WITHOUT("chess");
  unpacked data("chess");
  ASSERT_FALSE(data.tx.empty());
  std::string attributes;
  for (int id = 0; id < 80; ++id) attributes += std::to_string(id * 37 % 100) + " ";
  write_file("attr.txt", attributes + "\n");
  // With ranks, each run is repeated by kestrel-mpi; ranks_rows keeps its report.
  std::string ranks_rows;
  auto mine = [&](const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> a = {"input", "chess.dat",  "output",   out,      "sigma",
                                  "2000",  "attributes", "attr.txt", "avgleq", "[0,45]"};
    a.insert(a.end(), more.begin(), more.end());
    const run_outcome run = run_kestrel(data.dir.path(), a);
    EXPECT_EQ(run.exit_status, 0) << run.command << "\n" << run.stderr_text;
    if (mpi_ranks() > 0) {
      EXPECT_EQ(mpi_difference(data.dir.path(), a, run, &ranks_rows), "");
    }
    return run.stdout_text;
  };
  static const std::regex times(R"( \t +[0-9]+\.[0-9]+( \t [0-9]+ passes)?\n|Total time: .*)");
  const std::string free_rows = mine("free.txt", {"hop", "100"});
  const std::string capped_rows = mine("capped.txt", {"hop", "100", "memory", "1"});
  // The ranks summed the counts of every chunk of level 8 out of core (the
  // chunks' supports and the figures of the row) rather than handing rank 0
  // their records.
  if (mpi_ranks() > 0) {
    EXPECT_NE(ranks_rows.find(" passes\n( \t counts summed over "), std::string::npos)
        << ranks_rows;
  }
  const std::string matrix_rows = mine("matrix.txt", {"hop", "7", "memory", "1"});
  EXPECT_EQ(free_rows.find("passes"), std::string::npos) << free_rows;
  EXPECT_NE(capped_rows.find(" passes\n 8: \t hop "), std::string::npos) << capped_rows;
  EXPECT_EQ(std::regex_replace(capped_rows, times, "\n"),
            std::regex_replace(free_rows, times, "\n"));
  EXPECT_NE(matrix_rows.find(" passes\n 8: \t zax"), std::string::npos) << matrix_rows;
  const std::string expected = read_file("free.txt");
  EXPECT_GT(expected.size(), 100000u);
  EXPECT_EQ(read_file("capped.txt"), expected);
  EXPECT_EQ(read_file("matrix.txt"), expected);
  if (HasFailure()) data.dir.keep();
}

// Under "memory 1" retail's 1,857 items at support 100 get their pair counters
// in blocks of rows, one pass each, shown at the end of level 2's row.
TEST(RealData, RetailPairsCountedInBlocksUnderASmallCapEqualTheReference) {
  SKIP_WITHOUT("retail");
  unpacked data("retail");
  ASSERT_FALSE(data.tx.empty());
  for (const char* hop : {"2", "3"}) {
    const run_outcome run = run_kestrel(
        data.dir.path(),
        {"input", "retail.dat", "output", "out.txt", "sigma", "100", "memory", "1", "hop", hop});
    std::string report = judge_run(run, data.expected(100), 0);
    if (report.empty() && mpi_ranks() > 0)
      report = mpi_difference(
          data.dir.path(),
          {"input", "retail.dat", "output", "out.txt", "sigma", "100", "memory", "1", "hop", hop},
          run);
    EXPECT_EQ(report, "") << run.command;
    if (!report.empty()) data.dir.keep();
    const std::size_t row2 = run.stdout_text.find(" 2: \t scan");
    ASSERT_NE(row2, std::string::npos) << run.stdout_text;
    const std::string row = run.stdout_text.substr(row2, run.stdout_text.find('\n', row2) - row2);
    const std::string passes = " \t 4 passes";
    EXPECT_TRUE(row.size() > passes.size() &&
                row.compare(row.size() - passes.size(), passes.size(), passes) == 0)
        << row;
  }
}

// The in-memory levels outgrow the memory budget: each spills to a file beside
// "dataset.tmp" window by window, and the next level is joined from there. The
// output equals an uncapped run's, so do the rows (times and passes aside), and
// the rows of the spilled levels show their windows as passes. Under a small
// `memory` cap on mushroom and chess (key patterns on the bit matrix); with the
// windows planned against one byte (testing.level_window_bytes) on tid-lists
// and on T10I4D100K's diffuse levels.
TEST(RealData, LevelsOutgrowingTheBudgetSpillAndWriteTheSameOutput) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* layout;       // testing.vertical_layout of both runs, or null
    const char* window;       // testing.level_window_bytes of the capped run, or null
    std::string spilled_row;  // the start of a row that must show passes
  } cases[] = {
      {"mushroom", {"sigma", "500", "memory", "1"}, nullptr, nullptr, "zaxdk"},
      {"chess", {"sigma", "1500", "memory", "2"}, nullptr, nullptr, "zaxdk"},
      {"mushroom", {"sigma", "1500"}, "lists", "1", "zaxdk"},
      {"T10I4D100K", {"sigma", "20", "hop", "2"}, nullptr, "1", "zaxs"},
      {"retail", {"sigma", "20", "hop", "2"}, "lists", "1", "zax"},
  };
  static const std::regex tail(R"( \t +[0-9]+\.[0-9]+( \t [0-9]+ passes)?\n|Total time: .*)");
  static const std::regex spilled(R"(: \t zax[^\n]* passes\n)");
  std::string missing;
  for (const Case& c : cases) {
    if (!path_exists(gz_path(c.name))) {
      missing += " " + gz_path(c.name);
      continue;
    }
    unpacked data(c.name);
    ASSERT_FALSE(data.tx.empty()) << c.name;
    std::vector<std::string> free = {"input", std::string(c.name) + ".dat", "output", "free.txt"};
    free.insert(free.end(), c.args.begin(), c.args.end());
    if (c.layout != nullptr) free.insert(free.end(), {"testing.vertical_layout", c.layout});
    std::vector<std::string> capped = free;
    capped[3] = "capped.txt";
    if (c.window != nullptr) capped.insert(capped.end(), {"testing.level_window_bytes", c.window});
    const run_outcome free_run = run_kestrel(data.dir.path(), free);
    const run_outcome capped_run = run_kestrel(data.dir.path(), capped);
    EXPECT_EQ(free_run.exit_status, 0) << free_run.command << free_run.stderr_text;
    EXPECT_EQ(capped_run.exit_status, 0) << capped_run.command << capped_run.stderr_text;
    EXPECT_TRUE(std::regex_search(capped_run.stdout_text, spilled)) << capped_run.stdout_text;
    EXPECT_NE(capped_run.stdout_text.find(c.spilled_row), std::string::npos);
    EXPECT_EQ(std::regex_replace(capped_run.stdout_text, tail, "\n"),
              std::regex_replace(free_run.stdout_text, tail, "\n"))
        << c.name;
    const std::string expected = read_file("free.txt");
    EXPECT_GT(expected.size(), 10000u) << c.name;
    EXPECT_TRUE(read_file("capped.txt") == expected) << capped_run.command;
    EXPECT_FALSE(path_exists("dataset.tmp.level0"));
    EXPECT_FALSE(path_exists("dataset.tmp.level1"));
    if (HasFailure()) data.dir.keep();
  }
  // The cases whose data is present ran; the test shows as skipped when any
  // was absent (a failure above stays a failure).
  if (!missing.empty()) GTEST_SKIP() << "no data:" << missing;
}

// Internal choices that must not change a byte of the output, each forced
// against the run that makes it by itself, on one thread and on two: mushroom,
// whose deep levels' supports run and fold by themselves at low supports, and
// chess, whose do not.
// - Every level's supports folded (one entry kept for a block of equal ones);
//   on two threads the chunk stores, plain, are appended to the folded level,
//   and folded levels are released behind their readers as plain ones are.
// - The other subsets of key-pattern candidates whose joined itemsets are both
//   keys looked up for all of them (mushroom's rate), or for a sample only
//   (chess's): the candidates not examined are counted, and the key records
//   they leave feed the next levels' inferences.
TEST(RealData, InternalChoicesWriteTheSameOutput) {
  const std::pair<const char*, const char*> forced[] = {{"testing.folded_supports_from", "1"},
                                                        {"testing.key_subsets", "all"},
                                                        {"testing.key_subsets", "sampled"}};
  std::string missing;
  for (const char* name : {"mushroom", "chess"}) {
    if (!path_exists(gz_path(name))) {
      missing += " " + gz_path(name);
      continue;
    }
    unpacked data(name);
    const std::string sigma = std::string(name) == "chess" ? "1800" : "400";
    for (const char* threads : {"1", "2"}) {
      std::vector<std::string> plain = {
          "input", std::string(name) + ".dat", "output", "plain.txt", "sigma", sigma, "threads",
          threads};
      const run_outcome plain_run = run_kestrel(data.dir.path(), plain);
      EXPECT_EQ(plain_run.exit_status, 0) << plain_run.command << plain_run.stderr_text;
      const std::string expected = read_file("plain.txt");
      EXPECT_GT(expected.size(), 100000u) << name;
      for (const auto& [option, value] : forced) {
        std::vector<std::string> changed = plain;
        changed[3] = "changed.txt";
        changed.insert(changed.end(), {option, value});
        const run_outcome changed_run = run_kestrel(data.dir.path(), changed);
        EXPECT_EQ(changed_run.exit_status, 0) << changed_run.command << changed_run.stderr_text;
        EXPECT_TRUE(read_file("changed.txt") == expected) << changed_run.command;
      }
      if (HasFailure()) data.dir.keep();
    }
  }
  if (!missing.empty()) GTEST_SKIP() << "no data:" << missing;
}

// Under an address-space limit the budget comes from, mushroom's levels at
// support 300 no longer fit whole: they spill and the run completes with the
// uncapped output, where building them whole ran out of memory. With two
// threads under a looser limit, the threads share the main allocation arena:
// arenas of their own reserved 128 MiB of the 166 MiB, and the run ran out of
// memory at level 6. (The sanitizer runtime needs far more address space than
// either limit leaves.)
TEST(RealData, MushroomUnderAnAddressSpaceLimitSpillsAndCompletes) {
  if (kSanitizedBuild) GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
  SKIP_WITHOUT("mushroom");
  unpacked data("mushroom");
  ASSERT_FALSE(data.tx.empty());
  const run_outcome free_run =
      run_kestrel(data.dir.path(), {"input", "mushroom.dat", "output", "free.txt", "sigma", "300"});
  EXPECT_EQ(free_run.exit_status, 0) << free_run.stderr_text;
  struct Case {
    const char* kib;
    const char* threads;
    bool spills;
  } cases[] = {{"20000", "1", true}, {"170000", "2", false}};
  for (const Case& c : cases) {
    run_io io;
    io.program = "/bin/sh";
    const std::string script =
        std::string("ulimit -v ") + c.kib +
        " && exec \"$0\" input mushroom.dat output capped.txt sigma 300 threads " + c.threads;
    const run_outcome capped_run = run_kestrel(data.dir.path(), {"-c", script, KESTREL_BIN}, io);
    EXPECT_EQ(capped_run.exit_status, 0) << c.kib << " KiB: " << capped_run.stderr_text;
    if (c.spills) {
      EXPECT_NE(capped_run.stdout_text.find(" passes\n"), std::string::npos)
          << capped_run.stdout_text;
    }
    EXPECT_TRUE(read_file("capped.txt") == read_file("free.txt")) << c.kib << " KiB";
    EXPECT_FALSE(path_exists("dataset.tmp.level0"));
    EXPECT_FALSE(path_exists("dataset.tmp.level1"));
  }
  if (HasFailure()) data.dir.keep();
}

}  // namespace
