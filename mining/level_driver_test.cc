#include "mining/level_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "mining/first_levels.h"
#include "tests/support/files.h"
#include "tests/support/itemsets.h"
#include "tests/support/ranks.h"
#include "tests/support/run_error_of.h"

namespace {

// A run of the first scan and the engine on trans in a fresh directory.
struct level_run {
  level_run(const std::vector<std::vector<std::uint32_t>>& trans, std::uint32_t sigma, int hop,
            int max_length, std::uint64_t memory_bytes, unsigned threads)
      : run(config_of(trans, sigma, hop, max_length, threads)), items(sigma) {
    if (memory_bytes != 0) run.memory_bytes = memory_bytes;
    run.output.file = "out.txt";
    run.report.hook = [this](const char* text) { printed += text; };
  }
  // Writes trans to in.dat (in the test's directory, made first) for the run.
  static run_config config_of(const std::vector<std::vector<std::uint32_t>>& trans,
                              std::uint32_t sigma, int hop, int max_length, unsigned threads) {
    write_file("in.dat", fimi_text(trans));
    run_config config;
    config.input = "in.dat";
    config.sigma = sigma;
    config.preloops = 0;
    config.hop = hop;
    config.threads = threads;
    // max_length: -1 unbounded, below -1 nothing at all may be written.
    if (max_length != -1) config.constraints.lenleq_bound = std::max(max_length, -1);
    config.constraints.settle_length_bound();
    return config;
  }
  template <class T, class T1>
  void mine() {
    const first_scan_result scan = run_first_levels(run, items);
    if (items.max_support > 0 && items.n_items >= 2)
      mine_levels<T, T1>(run, static_cast<int>(scan.max_tr_len), items);
    EXPECT_TRUE(put_in_place(run.output.partial));  // as a completed run does
  }

  test_dir dir;
  run_context run;
  item_table items;
  std::string printed;
};

// Mines trans in-process; returns what the output file holds and, in
// progress, what was printed.
template <class T, class T1>
itemset_counts mine(const std::vector<std::vector<std::uint32_t>>& trans, std::uint32_t sigma,
                    int hop, int max_length, std::string* progress = nullptr,
                    std::uint64_t memory_bytes = 0) {
  level_run r(trans, sigma, hop, max_length, memory_bytes, 0);
  r.mine<T, T1>();
  if (progress != nullptr) *progress = r.printed;
  return parse_output(read_file("out.txt"));
}

std::vector<std::vector<std::uint32_t>> random_data(std::mt19937& rng, int n_items, int n_trans) {
  std::vector<std::vector<std::uint32_t>> trans(n_trans);
  for (auto& t : trans) {
    const int len = static_cast<int>(rng() % 9);
    for (int i = 0; i < len; ++i) t.push_back(static_cast<std::uint32_t>(rng() % n_items) * 3);
  }
  return trans;
}

// The itemsets of at most max_length items (-1: all).
itemset_counts up_to(const itemset_counts& all, int max_length) {
  itemset_counts out;
  for (const auto& [k, v] : all)
    if (max_length == -1 || static_cast<int>(k.size()) <= max_length) out[k] = v;
  return out;
}

TEST(LevelDriver, CandidatesCountedInChunksGiveTheSameLevelsAndRows) {
  std::mt19937 rng(23);
  int chunked_rows = 0;
  for (int round = 0; round < 4; ++round) {
    const auto trans = random_data(rng, 12, 300);
    const auto expected = brute_force(trans, 4);
    // 300 bytes: a chunk is about one group, and the data stays out of core
    // (pair counters and the candidate index fit, a bit matrix of 12 rows of
    // 10 words does not fit a third), from level 2 on too; 3000 bytes: the bit
    // matrix fits, so the last chunk's pass fills it.
    for (std::uint64_t memory : {300, 3000}) {
      for (int hop : {2, 3, 4, 100}) {
        std::string free_rows, capped_rows;
        const auto free_run = mine<std::uint8_t, std::uint16_t>(trans, 4, hop, -1, &free_rows);
        const auto capped =
            mine<std::uint8_t, std::uint16_t>(trans, 4, hop, -1, &capped_rows, memory);
        EXPECT_EQ(capped, expected) << memory << " hop " << hop;
        EXPECT_EQ(free_run, expected);
        // The matrix decision differs only under the smaller cap.
        if (memory == 3000 || hop == 100) {
          EXPECT_EQ(without_times_or_passes(capped_rows), without_times_or_passes(free_rows))
              << memory << " hop " << hop;
        }
        EXPECT_EQ(free_rows.find("passes"), std::string::npos);
        if (memory == 300) {
          EXPECT_EQ(capped_rows.find("zax"), std::string::npos) << capped_rows;
        }
        if (capped_rows.find("passes") != std::string::npos) ++chunked_rows;
      }
    }
  }
  EXPECT_GT(chunked_rows, 12);
}

// The level counted over "dataset.tmp" that fills the in-memory data is
// written while the first level in memory is mined when the run may use
// threads: the file and the rows are those of a run on one thread, also when
// that level is the last one the length bound allows. Length bounds below two
// stop the engine before it starts (below zero: nothing at all is written).
TEST(LevelDriver, TheLevelThatFillsTheMemoryWrittenBehindGivesTheSameFileAndRows) {
  std::mt19937 rng(31);
  const auto trans = random_data(rng, 12, 300);
  const auto all = brute_force(trans, 4);
  for (int hop : {3, 4}) {
    for (int max_length : {-1, 3, 4, 1, 0, -2}) {
      std::string files[2], rows[2];
      for (unsigned threads : {1u, 2u}) {
        level_run r(trans, 4, hop, max_length, 0, threads);
        r.mine<std::uint8_t, std::uint16_t>();
        files[threads - 1] = read_file("out.txt");
        rows[threads - 1] = without_times_or_passes(r.printed);
      }
      const std::string where = "hop " + std::to_string(hop) + " max " + std::to_string(max_length);
      EXPECT_EQ(parse_output(files[1]), up_to(all, max_length)) << where;
      EXPECT_EQ(files[1], files[0]) << where;
      EXPECT_EQ(rows[1], rows[0]) << where;
      // The level handed on keeps the row of a level counted over the file.
      if (max_length == -1 || hop <= max_length) {
        EXPECT_NE(rows[1].find(" " + std::to_string(hop) + ": \t hop  \t\t "), std::string::npos)
            << rows[1];
      }
    }
  }
}

// Sparse baskets over n_items ids (times 3): lengths 2 .. max_len.
std::vector<std::vector<std::uint32_t>> baskets(std::mt19937& rng, int n_items, int n_trans,
                                                int max_len) {
  std::vector<std::vector<std::uint32_t>> trans(n_trans);
  for (auto& t : trans)
    for (int len = 2 + static_cast<int>(rng() % (max_len - 1)); len > 0; --len)
      t.push_back(static_cast<std::uint32_t>(rng() % n_items) * 3);
  return trans;
}

// Level 2 under budgets from generous to a few rows of counters: the occurring
// pairs, blocks of their rows (short baskets in 12000 bytes, long ones in 9800)
// or of the triangle's (8000, and short baskets in 9800) over several passes,
// with "dataset.tmp" rewritten (hop 3) or, for long baskets, the bit matrix
// filled at level 2 (hop 2: its 2.4 KB fit a third of every budget here), always
// the same itemsets. Only blocks show their passes.
TEST(LevelDriver, PairCountingGivesTheSameItemsetsUnderEveryBudget) {
  std::mt19937 rng(23);
  const auto short_baskets = baskets(rng, 300, 400, 8);
  const auto long_baskets = baskets(rng, 300, 64, 40);
  const auto expected_short = brute_force(short_baskets, 2);
  const auto expected_long = mine<std::uint16_t, std::uint8_t>(long_baskets, 2, 3, -1);
  ASSERT_GT(expected_long.size(), 3000u);
  for (int hop : {2, 3}) {
    for (std::uint64_t budget : {0, 30000, 12000, 9800, 8000}) {
      for (const auto* trans : {&short_baskets, &long_baskets}) {
        std::string progress;
        const auto got = mine<std::uint16_t, std::uint8_t>(*trans, 2, hop, -1, &progress, budget);
        EXPECT_EQ(got, trans == &short_baskets ? expected_short : expected_long)
            << "hop " << hop << " budget " << budget;
        const std::size_t row2 = progress.find(" 2: \t scan");
        ASSERT_NE(row2, std::string::npos) << progress;
        const std::string row = progress.substr(row2, progress.find('\n', row2) - row2);
        const bool blocks =
            budget == 8000 || budget == 9800 || (budget == 12000 && trans == &short_baskets);
        EXPECT_EQ(row.find(" passes") != std::string::npos, blocks) << budget << row;
      }
    }
  }
}

TEST(LevelDriver, PairCountersAreRefusedWhenNotEvenOneRowFitsTheBudget) {
  std::mt19937 rng(29);
  const auto trans = baskets(rng, 300, 400, 8);
  std::size_t n_frequent = 0;
  for (const auto& [itemset, support] : brute_force(trans, 2)) n_frequent += itemset.size() == 1;
  EXPECT_EQ(
      run_error_of([&] { mine<std::uint16_t, std::uint8_t>(trans, 2, 3, -1, nullptr, 250); }),
      "too many frequent items (" + std::to_string(n_frequent) + "): pair counters need 1 MiB");
}

TEST(LevelDriver, StopBetweenChunkPassesEndsTheRunWithoutItsSumsFile) {
  std::mt19937 rng(29);
  level_run r(random_data(rng, 12, 300), 4, 100, -1, 300, 0);  // level 3 takes many passes
  // Polled once before level 3, then between its passes: stop at the second poll.
  int polls = 0;
  bool sums_file_seen = false;
  r.run.report.stop_requested = [&] {
    sums_file_seen = sums_file_seen || access("dataset.tmp.counts", F_OK) == 0;
    return ++polls == 2;
  };
  try {
    r.mine<std::uint8_t, std::uint16_t>();
    FAIL() << "the stop request was not honoured";
  } catch (const run_error& e) {
    EXPECT_STREQ(e.what(), "interrupted");
  }
  EXPECT_EQ(polls, 2);
  EXPECT_TRUE(sums_file_seen);
  EXPECT_NE(access("dataset.tmp.counts", F_OK), 0);
}

}  // namespace
