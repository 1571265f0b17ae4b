// itemset_filter, every keyword: against hand-computed answers on a few lines,
// against the reference miner's exact evaluation on random lines, and against the
// real kestrel binary (mining everything and filtering must give the itemsets that
// mining under the same constraint writes) on generated data. Then its error lines.
#include <gtest/gtest.h>

#include <random>
#include <set>
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

run_outcome run_filter(const std::vector<std::string>& args) {
  return run_here(ITEMSET_FILTER_BIN, args);
}

// Filters in.txt with the constraint words; "" when the filter failed.
std::string filtered(const std::string& attrs, const std::string& constraints) {
  std::vector<std::string> args = {"in.txt", attrs, "out.txt"};
  for (const std::string& w : words_of(constraints)) args.push_back(w);
  const run_outcome o = run_filter(args);
  EXPECT_EQ(o.exit_status, 0) << constraints << ": " << o.stderr_text;
  return read_file("out.txt");
}

// Items of each line sorted, then the lines: kestrel writes the items in its own
// order, which depends on the constraints.
std::vector<std::string> normalised(const std::string& text) {
  return reference::normalise_output(text, 0);
}

// Row 0 by id: 5 1 3 10 3, so the lines' values are {}, {1}, {1,3}, {5,3,10},
// {5,1,3,10}, {3,3}. Row 1 counts value 4 (ids 0, 1, 3). Row 2 puts 2^24 + 1 on
// id 0, which single-precision sums would round down. The cases the random
// lines below may miss: exact sums, the empty itemset, "supseteq" items.
TEST(ItemsetFilter, EveryKeywordAsComputedByHand) {
  test_dir dir;
  const char* lines[] = {"(9)\n",       "1 (5)\n",       "1 2 (4)\n",
                         "0 2 3 (3)\n", "0 1 2 3 (2)\n", "2 4 (2)\n"};
  std::string in;
  for (const char* l : lines) in += l;
  write_file("in.txt", in);
  write_file("attrs.txt", "5 1 3 10 3\n4 4 2 4 7\n16777217 0 0 0 0\n");
  const struct {
    const char* words;
    const char* kept;  // one mark per line: 1 kept, 0 dropped
  } cases[] = {
      // clang-format off
      {"sumleq [0,4]", "111000"},      {"sumgeq [0,18]", "000110"},
      {"sumleq [2,16777216]", "111001"},  // exact, not 2^24
      {"maxleq [0,-1]", "111111"},     // wraps to 2^32-1
      {"maxgeq [0,0]", "011111"},      {"maxgeq2 [0,0]", "111111"},   {"rangeleq2 [0,0]", "110001"},
      {"acountgeq [1,4,2]", "000110"}, {"avggeq2 [0,5]", "000100"},
      {"avgleq [0,2]", "011000"},      {"avgleq2 [0,2]", "111000"},   // empty: avgleq2 only
      {"medgeq2 [0,5]", "000100"},     // even count: (3 + 5) / 2
      {"vargeq [0,9]", "000010"},      {"spvgeq [0,14]", "000010"},   // 179/16 and 179/12
      {"mdgeq [0,3]", "000000"},       // 8/3 and 44/16
      {"lengeq [2]", "001111"},        {"subseteq [1,2]", "111000"},  {"subseteq []", "100000"},
      {"supseteq [2]", "001111"},      {"supseteq []", "111111"},
      {"asubseteq [0,1,3]", "111001"}, {"asupseteq [0,3,10]", "000110"},
      // The "supseteq" items do not count toward k, the items md needs.
      {"supseteq [2] mdleq [0,0]", "000001"}, {"supseteq [2,4] mdgeq [0,0]", "000000"},
      {"sumleq [0,6] lengeq [2]", "001001"},
      // clang-format on
  };
  for (const auto& c : cases) {
    std::string expected;
    for (int i = 0; i < 6; ++i)
      if (c.kept[i] == '1') expected += lines[i];
    EXPECT_EQ(filtered("attrs.txt", c.words), expected) << c.words;
  }
}

// Random lines of ids 0..9 in random order, random rows (small values with ties,
// values near 2^32, values to 100) and thresholds around them: the filter keeps
// exactly the lines the reference's exact evaluation accepts.
TEST(ItemsetFilter, AgreesWithTheReferenceEvaluation) {
  test_dir dir("filter");
  std::mt19937 rng(20261210);
  reference::AttributeRows rows(3);
  for (std::uint32_t id = 0; id < 10; ++id) {
    rows[0].push_back(rng() % 10);
    rows[1].push_back(4294967295u - rng() % 5);
    rows[2].push_back(rng() % 101);
  }
  std::string attrs;
  for (const auto& row : rows) {
    for (std::uint32_t v : row) attrs += std::to_string(v) + " ";
    attrs += "\n";
  }
  write_file("attrs.txt", attrs);
  std::vector<std::vector<std::uint32_t>> itemsets;
  std::string in;
  for (int l = 0; l < 300; ++l) {
    std::vector<std::uint32_t> ids = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::shuffle(ids.begin(), ids.end(), rng);
    ids.resize(rng() % 7);
    itemsets.push_back(ids);
    for (std::uint32_t id : ids) in += std::to_string(id) + " ";
    in += "(" + std::to_string(l) + ")\n";
  }
  write_file("in.txt", in);
  for (const std::string& keyword : reference::all_keywords()) {
    if (keyword == "supseteq") continue;  // the reference takes P as given
    for (int round = 0; round < 6; ++round) {
      reference::RefConstraint c;
      c.keyword = keyword;
      const std::int32_t thresholds[] = {-1, 0, 1, 2, 3, 5, 8, 40};
      c.threshold = thresholds[rng() % 8];
      c.value = static_cast<std::int32_t>(rng() % 10);
      const reference::Layout lay = reference::layout_of(keyword);
      if (lay != reference::Layout::kThreshold && lay != reference::Layout::kItems)
        c.attr = static_cast<std::int32_t>(round % 3);
      if (lay == reference::Layout::kItems || lay == reference::Layout::kAttrValues)
        for (std::uint32_t x = 0; x < 10; ++x)
          if (rng() % 2) c.list.push_back(c.attr == 1 ? rows[1][x] : x);
      if (lay == reference::Layout::kAttrValues && c.list.empty())
        c.list.push_back(0);  // "[a,]" is malformed
      std::string expected;
      std::istringstream text(in);
      std::string line;
      for (const auto& ids : itemsets) {
        std::getline(text, line);
        if (reference::constraint_holds(c, ids, ids.size(), rows)) expected += line + "\n";
      }
      const std::string words = keyword + " " + c.parameter_text();
      EXPECT_EQ(filtered("attrs.txt", words), expected) << words;
    }
  }
}

// Constraints for the comparison with kestrel: two or three per keyword on the
// generated data below (row 0: values 0..99, row 1: 0..9), some combined.
const char* const MINED_CASES[] = {
    // clang-format off
    "subseteq [1,2,3,5,8,13,21]", "subseteq []", "supseteq [3]", "supseteq [3,7]",
    "asubseteq [1,0,2,4,6,8]", "asubseteq [1]", "asupseteq [1,3]", "asupseteq [1,3,5]",
    "mingeq [0,30]", "mingeq [0,-1]", "maxleq [0,60]", "maxleq [0,-1]", "lengeq [3]",
    "lengeq [-1]", "lenleq [2]", "lenleq [-1]", "sumgeq [0,150]", "sumgeq [0,-1]",
    "sumleq [0,100]", "sumleq [0,-1]", "rangeleq [0,30]", "rangeleq2 [0,30]",
    "rangegeq [0,40]", "rangegeq [0,0]", "varleq [0,200]", "vargeq [0,200]",
    "stdleq [0,15]", "stdgeq [0,15]", "stdgeq [0,-3]", "spvleq [0,300]", "spvgeq [0,300]",
    "mdleq [0,12]", "mdgeq [0,12]", "avgleq [0,45]", "avggeq [0,45]", "avggeq2 [0,45]",
    "avgleq2 [0,45]", "avgleq2 [0,-1]", "medgeq [0,45]", "medleq [0,45]",
    "medgeq2 [0,45]", "medleq2 [0,45]", "minleq [0,20]", "minleq2 [0,20]",
    "maxgeq [0,70]", "maxgeq2 [0,70]", "maxgeq2 [0,0]", "acountgeq [1,3,1]",
    "acountgeq [1,3,2]", "acountleq [1,3,0]", "acountleq [1,3,1]",
    // The prefix counts toward every statistic but not toward k of md.
    "supseteq [3] mdgeq [0,10] lengeq [2]", "supseteq [3] avggeq2 [0,50] varleq [0,400]",
    "sumleq [0,120] lengeq [2] medleq2 [1,5]",
    "rangegeq [0,10] minleq [0,30] spvgeq [1,4]",
    // clang-format on
};

TEST(ItemsetFilter, KeepsWhatConstrainedMiningWritesForEveryKeyword) {
  test_dir dir("filter");
  std::mt19937 rng(1210);
  std::string data, attrs;
  for (int t = 0; t < 300; ++t) {
    for (std::uint32_t id = 0; id < 24; ++id)
      if (rng() % 100 < 10 + 2 * id) data += std::to_string(id) + " ";
    data += "\n";
  }
  for (int row = 0; row < 2; ++row) {
    for (std::uint32_t id = 0; id < 24; ++id)
      attrs += std::to_string(rng() % (row ? 10 : 100)) + " ";
    attrs += "\n";
  }
  write_file("data.txt", data);
  write_file("attrs.txt", attrs);
  auto mine = [&](const std::string& output, const std::string& constraints) {
    std::vector<std::string> args = {"input",      "data.txt",  "sigma",  "20",
                                     "attributes", "attrs.txt", "output", output};
    for (const std::string& w : words_of(constraints)) args.push_back(w);
    return run_kestrel(".", args).exit_status;
  };
  ASSERT_EQ(mine("in.txt", ""), 0);
  const std::size_t all = normalised(read_file("in.txt")).size();
  ASSERT_GT(all, 300u);
  std::set<std::string> selective;  // keywords with a case that keeps some and drops some
  for (const char* words : MINED_CASES) {
    ASSERT_EQ(mine("pushed.txt", words), 0) << words;
    const std::vector<std::string> pushed = normalised(read_file("pushed.txt"));
    EXPECT_EQ(normalised(filtered("attrs.txt", words)), pushed) << words;
    if (!pushed.empty() && pushed.size() < all) selective.insert(words_of(words)[0]);
  }
  for (const std::string& keyword : reference::all_keywords())
    EXPECT_TRUE(selective.count(keyword) != 0) << keyword << ": no case tells itemsets apart";
}

TEST(ItemsetFilter, ErrorsAreOneLineAndLeaveNoOutput) {
  test_dir dir("filter");
  write_file("in.txt", "(9)\n1 2 (5)\n7 (3)\n");
  write_file("attrs.txt", "5 6 7\n");
  write_file("bad.txt", "1 2 (5)\n1 2\n");
  const std::string in = "in.txt", attrs = "attrs.txt", out = "out.txt";
  const std::string files = in + " " + attrs + " " + out + " ";
  const struct {
    std::string args, message;
  } cases[] = {
      {"",
       "Usage: itemset_filter <itemsets> <attributes> <filtered-out> [<keyword> <param>]...\n"
       "keywords: kestrel's 35 constraint keywords, with its parameters (see kestrel's "
       "usage)\n"},
      {files + "avggeq3 [0,1]", "avggeq3: not a keyword this filter knows\n"},
      {files + "sumleq 0,1", "sumleq: malformed parameters \"0,1\"\n"},
      {files + "sumleq [0]", "sumleq: malformed parameters \"[0]\"\n"},
      {files + "sumleq [0,,1]", "sumleq: malformed parameters \"[0,,1]\"\n"},
      {files + "lengeq [1,2]", "lengeq: malformed parameters \"[1,2]\"\n"},
      {files + "acountgeq [0,1]", "acountgeq: malformed parameters \"[0,1]\"\n"},
      {files + "asubseteq []", "asubseteq: malformed parameters \"[]\"\n"},
      {files + "sumleq [0,x]", "sumleq: \"x\" is not a whole number\n"},
      {files + "maxleq [-1,3]", "maxleq: \"-1\" is not a whole number\n"},
      {files + "supseteq [-1]", "supseteq: \"-1\" is not a whole number\n"},
      {files + "sumleq [0,4294967295]", "sumleq: \"4294967295\" does not fit 32 bits\n"},
      {files + "lenleq [2147483648]", "lenleq: \"2147483648\" does not fit 32 bits\n"},
      {files + "maxleq [0,4294967296]", "maxleq: \"4294967296\" does not fit 32 bits\n"},
      {files + "maxleq [1,5]", attrs + ": attribute line 1 is missing\n"},
      {files + "mdleq [0,5]", attrs + ": attribute line 0 has 3 values, item 7 needs one\n"},
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
