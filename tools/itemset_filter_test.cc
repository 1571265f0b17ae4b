// itemset_filter against the real kestrel binary: mining everything and filtering
// must give the itemsets that mining under the same constraints writes, for each
// keyword the filter knows, at the thresholds where a rule changes (empty itemset,
// negative and wrapped thresholds, exact means). Then its error lines.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reference_miner.h"

namespace {

// Words split at blanks; the bracketed parameters hold none.
std::vector<std::string> words_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Runs itemset_filter with args inside the current (temporary) directory.
run_outcome run_filter(const std::vector<std::string>& args) {
  run_io io;
  io.program = ITEMSET_FILTER_BIN;
  return run_kestrel(".", args, io);
}

// Items of each line sorted, then the lines: kestrel writes the items in its own
// order, which depends on the constraints.
std::vector<std::string> normalised(const std::string& text) {
  return reference::normalise_output(text, 0);
}

TEST(ItemsetFilter, KeepsWhatConstrainedMiningWrites) {
  test_dir dir("filter");
  const std::string data = std::string(KESTREL_SOURCE_DIR) + "/examples/basket.dat";
  const std::string attrs = std::string(KESTREL_SOURCE_DIR) + "/examples/prices.txt";
  auto mine = [&](const std::string& output, const std::string& constraints) {
    std::vector<std::string> args = {"input", data, "sigma", "30", "attributes", attrs,
                                     "output", output};
    for (const std::string& w : words_of(constraints)) args.push_back(w);
    return run_kestrel(".", args).exit_status;
  };
  ASSERT_EQ(mine("all.txt", ""), 0);
  const std::vector<std::string> all = normalised(read_file("all.txt"));
  ASSERT_GT(all.size(), 100u);
  const struct {
    const char* words;
    bool keeps_some, drops_some;
  } cases[] = {
      {"maxleq [0,40]", true, true},
      {"maxleq [0,-1]", true, false},  // wraps to 2^32-1: every value is below
      {"minleq [1,2]", true, true},
      {"minleq [0,0]", true, true},  // only the empty itemset has no minimum
      {"sumleq [0,60]", true, true},
      {"sumleq [0,-1]", false, true},  // not even the empty sum, 0
      {"sumgeq [1,30]", true, true},
      {"sumgeq [0,-5]", true, false},
      {"avggeq2 [0,50]", true, true},  // exact means: 50 * n against the sum
      {"avggeq2 [0,-1]", true, true},  // everything but the empty itemset
      {"lengeq [3]", true, true},
      {"lengeq [-1]", false, true},  // wraps: no itemset is that long
      {"sumleq [0,120] lengeq [2]", true, true},
      {"avggeq2 [1,10] maxleq [0,70] minleq [0,30]", true, true},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(mine("pushed.txt", c.words), 0) << c.words;
    std::vector<std::string> args = {"all.txt", attrs, "filtered.txt"};
    for (const std::string& w : words_of(c.words)) args.push_back(w);
    ASSERT_EQ(run_filter(args).exit_status, 0) << c.words;
    const std::vector<std::string> pushed = normalised(read_file("pushed.txt"));
    EXPECT_EQ(normalised(read_file("filtered.txt")), pushed) << c.words;
    EXPECT_EQ(!pushed.empty(), c.keeps_some) << c.words;
    EXPECT_EQ(pushed.size() < all.size(), c.drops_some) << c.words;
  }
}

TEST(ItemsetFilter, ErrorsAreOneLineAndLeaveNoOutput) {
  test_dir dir("filter");
  write_file("in.txt", "(9)\n1 2 (5)\n7 (3)\n");
  write_file("attrs.txt", "5 6 7\n");
  write_file("bad.txt", "1 2 (5)\n1 2\n");
  const std::string in = "in.txt", attrs = "attrs.txt", out = "out.txt";
  const struct {
    std::string args, message;
  } cases[] = {
      {"", "Usage: itemset_filter <itemsets> <attributes> <filtered-out> [<keyword> <param>]...\n"
           "keywords: sumleq sumgeq maxleq minleq avggeq2 [<attr>,<threshold>], lengeq "
           "[<threshold>]\n"},
      {in + " " + attrs + " " + out + " varleq [0,1]", "varleq: not a keyword this filter knows\n"},
      {in + " " + attrs + " " + out + " sumleq 0,1", "sumleq: malformed parameters \"0,1\"\n"},
      {in + " " + attrs + " " + out + " sumleq [0]", "sumleq: malformed parameters \"[0]\"\n"},
      {in + " " + attrs + " " + out + " lengeq [1,2]", "lengeq: malformed parameters \"[1,2]\"\n"},
      {in + " " + attrs + " " + out + " sumleq [0,x]", "sumleq: \"x\" is not a whole number\n"},
      {in + " " + attrs + " " + out + " sumleq [0,4294967295]",
       "sumleq: \"4294967295\" does not fit 32 bits\n"},
      {in + " " + attrs + " " + out + " maxleq [0,4294967296]",
       "maxleq: \"4294967296\" does not fit 32 bits\n"},
      {in + " " + attrs + " " + out + " maxleq [1,5]",
       attrs + ": attribute line 1 is missing\n"},
      {in + " " + attrs + " " + out + " maxleq [0,5]",
       attrs + ": attribute line 0 has 3 values, item 7 needs one\n"},
      {"bad.txt " + attrs + " " + out + " lengeq [1]", "bad.txt:2: not an itemset line\n"},
      {"none.txt " + attrs + " " + out + " lengeq [1]", "none.txt could not be opened!\n"},
  };
  for (const auto& c : cases) {
    const run_outcome o = run_filter(words_of(c.args));
    EXPECT_EQ(o.exit_status, 1) << c.args;
    EXPECT_EQ(o.stderr_text, c.message) << c.args;
    EXPECT_FALSE(path_exists(out)) << c.args;
  }
  // Without keywords every line is kept, byte for byte.
  ASSERT_EQ(run_filter({in, attrs, out}).exit_status, 0);
  EXPECT_EQ(read_file(out), read_file(in));
}

}  // namespace
