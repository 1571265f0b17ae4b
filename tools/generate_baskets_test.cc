// The generator as a user runs it: properties of its output, determinism, and
// its errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

// Runs the generator with args (words split at spaces) inside the current
// (temporary) directory.
run_outcome generate(const std::string& args) {
  std::istringstream in(args);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return run_here(GENERATE_BASKETS_BIN, words);
}

std::vector<std::vector<std::uint64_t>> parse(const std::string& text) {
  std::vector<std::vector<std::uint64_t>> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream items(line);
    lines.emplace_back();
    for (std::uint64_t item; items >> item;) lines.back().push_back(item);
  }
  return lines;
}

TEST(GenerateBaskets, LinesHaveTheRequestedShape) {
  struct Case {
    const char* args;
    std::size_t d;
    std::uint64_t n;
    double t;
  } cases[] = {
      {"T 10 I 4 D 20000 N 1000 L 2000", 20000, 1000, 10},
      {"T 40 I 10 D 5e3 N 10000 L 500", 5000, 10000, 40},
      {"T 5 I 2 D 3000 N 100000 L 20", 3000, 100000, 5},
      {"T 5 I 8 D 1000 N 7 L 3", 1000, 7, -1},  // fewer items than T: no length check
      {"T 10 I 4 D 0", 0, 1000, -1},
  };
  for (const Case& c : cases) {
    test_dir dir;
    ASSERT_EQ(generate(std::string(c.args) + " seed 3 output out").exit_status, 0) << c.args;
    const std::string text = read_file("out");
    ASSERT_TRUE(text.empty() || text.back() == '\n') << c.args;
    const auto lines = parse(text);
    ASSERT_EQ(lines.size(), c.d) << c.args;
    std::size_t items = 0;
    for (const auto& line : lines) {
      ASSERT_FALSE(line.empty()) << c.args;
      for (std::size_t i = 0; i < line.size(); ++i) {
        ASSERT_LT(line[i], c.n) << c.args;
        if (i > 0) {
          ASSERT_LT(line[i - 1], line[i]) << c.args;
        }
      }
      items += line.size();
    }
    if (c.t > 0) {
      EXPECT_NEAR(double(items) / c.d, c.t, 0.08 * c.t) << c.args;
    }
  }
}

// The same seed gives the same output, to a file or standard output; another
// seed another. Transactions are built from a few weighted patterns, so some
// pair of items occurs far more often than independent items would (about 2
// times in 20000 transactions of 10 out of 1000 items).
TEST(GenerateBaskets, SameSeedSameOutputAndPatternsMakeFrequentPairs) {
  test_dir dir;
  const std::string args = "T 10 I 4 D 20000 N 1000 L 50 ";
  ASSERT_EQ(generate(args + "seed 5 output a").exit_status, 0);
  const run_outcome b = generate(args + "seed 5");  // standard output
  ASSERT_EQ(b.exit_status, 0);
  ASSERT_EQ(generate(args + "seed 6 output c").exit_status, 0);
  const std::string a = read_file("a");
  EXPECT_EQ(a, b.stdout_text);
  EXPECT_NE(a, read_file("c"));
  EXPECT_EQ(parse(read_file("c")).size(), 20000u);
  std::map<std::pair<std::uint64_t, std::uint64_t>, int> pairs;
  int most = 0;
  for (const auto& line : parse(a))
    for (std::size_t i = 0; i < line.size(); ++i)
      for (std::size_t j = i + 1; j < line.size(); ++j)
        most = std::max(most, ++pairs[{line[i], line[j]}]);
  EXPECT_GT(most, 200);
}

TEST(GenerateBaskets, ErrorsNameTheProblem) {
  const std::string usage =
      "Usage: generate_baskets [T avg-transaction-length] [I avg-pattern-length]\n"
      "                        [D transactions] [N items] [L patterns] [seed s] [output FILE]\n"
      "Defaults: T 10 I 4 D 100000 N 1000 L 2000 seed 1, output to standard output.\n";
  struct Case {
    const char* args;
    std::string err;
  } cases[] = {
      {"T", usage},
      {"X 3", usage},
      {"T 0", "T must be a number from 1 to 100000, not \"0\"\n"},
      {"D 2.5", "D must be a number from 0 to 1000000000000000, not \"2.5\"\n"},
      {"N 0x10", "N must be a number from 1 to 4294967295, not \"0x10\"\n"},
      {"L abc", "L must be a number from 1 to 100000000, not \"abc\"\n"},
      {"seed -1", "seed must be a number from 0 to 1000000000000000, not \"-1\"\n"},
      {"output /nonexistent/x", "/nonexistent/x could not be opened for writing!\n"},
      {"D 100000 output /dev/full", "/dev/full could not be written!\n"},
      {"D 10 output /dev/full", "/dev/full could not be written!\n"},  // fails only at close
  };
  for (const Case& c : cases) {
    test_dir dir;
    const run_outcome o = generate(c.args);
    EXPECT_EQ(o.exit_status, 1) << c.args;
    EXPECT_EQ(o.stderr_text, c.err) << c.args;
    EXPECT_EQ(o.stdout_text, "") << c.args;
  }
}

}  // namespace
