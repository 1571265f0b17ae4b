// The threads option on whole runs: the output file and the progress rows are
// the same for any number of threads, on data that takes each in-memory level
// variant (key patterns on dense data, the compact head, the diffuse runs), with
// and without constraints.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/ranks.h"

namespace {

// Transactions of planted patterns plus noise: patterns of `width` items drawn
// from `n_patterns`, each item kept with probability keep, then `noise` random
// items below n_items.
std::string planted_data(unsigned seed, int n_trans, int n_patterns, int width, double keep,
                         int noise, int n_items) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution kept(keep);
  std::string text;
  for (int t = 0; t < n_trans; ++t) {
    const int p = static_cast<int>(rng() % static_cast<unsigned>(n_patterns));
    for (int i = 0; i < width; ++i)
      if (kept(rng)) text += std::to_string(p * width + i) + " ";
    for (int i = 0; i < noise; ++i)
      text += std::to_string(rng() % static_cast<unsigned>(n_items)) + " ";
    text += "\n";
  }
  return text;
}

// Transactions that hold the whole block 0 .. block-1 with probability p, then
// `noise` random items from block .. n_items-1.
std::string block_data(unsigned seed, int n_trans, int block, double p, int noise, int n_items) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution with_block(p);
  std::string text;
  for (int t = 0; t < n_trans; ++t) {
    if (with_block(rng))
      for (int i = 0; i < block; ++i) text += std::to_string(i) + " ";
    for (int i = 0; i < noise; ++i)
      text +=
          std::to_string(block + static_cast<int>(rng() % static_cast<unsigned>(n_items - block))) +
          " ";
    text += "\n";
  }
  return text;
}

void expect_same_for_any_threads(const std::string& data, const std::vector<std::string>& options,
                                 const std::string& algorithm, const std::string& attributes = "") {
  test_dir dir("threads");
  write_file("in.dat", data);
  if (!attributes.empty()) write_file("attributes.txt", attributes);
  std::string first_output, first_rows;
  for (const char* threads : {"1", "2", "3", "8", ""}) {
    std::vector<std::string> args = {"input", "in.dat", "output", "out.txt"};
    args.insert(args.end(), options.begin(), options.end());
    if (*threads) args.insert(args.end(), {"threads", threads});
    const run_outcome run = run_kestrel(dir.path(), args);
    ASSERT_EQ(run.exit_status, 0) << run.command << "\n" << run.stderr_text;
    if (first_output.empty()) {
      first_output = run.output_text;
      first_rows = without_times(run.stdout_text);
      EXPECT_NE(first_rows.find(algorithm), std::string::npos) << first_rows;
      EXPECT_GT(std::count(first_output.begin(), first_output.end(), '\n'), 1000);
      continue;
    }
    EXPECT_EQ(run.output_text, first_output) << run.command;
    EXPECT_EQ(without_times(run.stdout_text), first_rows) << run.command;
  }
}

// Dense data (key patterns), sparse data (diffuse runs), data with a compact
// head, and a constrained run.
TEST(Threads, EveryLevelVariantGivesTheSameRunForAnyThreads) {
  std::string attributes;
  for (int i = 0; i < 2000; ++i) attributes += std::to_string((i * 7919) % 100) + " ";
  expect_same_for_any_threads(planted_data(5, 3000, 3, 14, 0.9, 2, 60), {"sigma", "700"}, "zaxdk");
  expect_same_for_any_threads(planted_data(6, 20000, 40, 7, 0.8, 6, 2000),
                              {"sigma", "60", "hop", "3"}, "zaxs");
  expect_same_for_any_threads(block_data(3, 20000, 8, 0.15, 8, 300), {"sigma", "40"}, "zaxd ");
  expect_same_for_any_threads(planted_data(7, 3000, 3, 14, 0.9, 2, 60),
                              {"sigma", "600", "attributes", "attributes.txt", "sumleq", "[0,600]",
                               "lengeq", "[3]", "maxgeq", "[0,20]"},
                              "zax", attributes + "\n");
}

}  // namespace
