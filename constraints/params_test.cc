// Parameter parsing, registry order and usage texts.
#include "constraints/params.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/registry.h"
#include "constraints/test_support.h"
#include "tests/support/run_error_of.h"

namespace {

using constraint_testing::parse;

TEST(ConstraintRegistry, ListsTheKeywordsAndUsageTextsInRowOrder) {
  const std::vector<std::string> keywords = {
      "subseteq", "supseteq", "asubseteq", "asupseteq", "mingeq",    "maxleq",    "lengeq",
      "lenleq",   "sumgeq",   "sumleq",    "rangeleq",  "varleq",    "vargeq",    "stdleq",
      "stdgeq",   "spvleq",   "spvgeq",    "mdleq",     "mdgeq",     "avgleq",    "avggeq",
      "medgeq",   "medleq",   "rangegeq",  "minleq",    "maxgeq",    "avggeq2",   "avgleq2",
      "minleq2",  "maxgeq2",  "medgeq2",   "medleq2",   "rangeleq2", "acountgeq", "acountleq"};
  // Most usage texts are the keyword and "[<attr>,<threshold>]"; these are not.
  const std::map<std::string, std::string> other_usage = {
      {"subseteq", "[<i0>,<i1>,...,<in>]"},          {"supseteq", "[<i0,i1,...in>]"},
      {"asubseteq", "[<attr>,<i0,i1,...in>]"},       {"asupseteq", "[<attr>,<i0,i1,...in>]"},
      {"lengeq", "[<threshold>]"},                   {"lenleq", "[<threshold>]"},
      {"avggeq2", "[<attr>,<threshold>]   (convertible antimonotone)"},
      {"avgleq2", "[<attr>,<threshold>]   (convertible antimonotone)"},
      {"medgeq2", "[<attr>,<threshold>]    (Convertible Antimonotone)"},
      {"medleq2", "[<attr,threshold>]    (Convertible Antimonotone)"},
      {"rangeleq2", "[<attr,threshold>]"},           {"acountgeq", "[<attr,val,threshold>]"},
      {"acountleq", "[<attr,val,threshold>]"},
  };
  static_assert(KEYWORD_TABLE.size() == 35);
  ASSERT_EQ(keywords.size(), 35u);
  for (unsigned i = 0; i < 35; ++i) {
    const auto other = other_usage.find(keywords[i]);
    const std::string usage =
        keywords[i] + " " + (other == other_usage.end() ? "[<attr>,<threshold>]" : other->second);
    EXPECT_EQ(KEYWORD_TABLE[i].keyword, keywords[i]) << i;
    EXPECT_EQ(KEYWORD_TABLE[i].usage, usage) << i;
    EXPECT_EQ(find_keyword(keywords[i].c_str()), &KEYWORD_TABLE[i]) << i;
  }
  EXPECT_EQ(find_keyword("sumlessthan"), nullptr);
}

// The kind a row claims is where its parser files the occurrence: a row that
// names the wrong class or layout puts the constraint in the wrong table, and
// the engine would then prune candidates or transactions it must keep.
TEST(ConstraintRegistry, EveryRowFilesIntoTheTablesOfItsKind) {
  // By constraint_kind: the tables filed into, as letters of anti-monotone,
  // monotone, succinct, convertible and loose.
  const char* const filed_by_kind[] = {"A", "M", "S", "C", "L", "ML", ""};
  static_assert(static_cast<int>(constraint_kind::length_bound) == 6);
  for (const keyword_row& row : KEYWORD_TABLE) {
    const std::string usage = row.usage;
    std::string text = "[0,2]";  // "[<attr>,<threshold>]"
    if (usage.find("<attr,val,threshold>") != std::string::npos)
      text = "[0,1,2]";
    else if (usage.find("<attr>,<i0") != std::string::npos)
      text = "[0,1]";
    else if (usage.find("<attr") == std::string::npos)
      text = "[1]";
    constraint_set set;
    parse(set, row.keyword, text);
    const std::string filed = std::string(set.anti_monotone_table.size(), 'A') +
                              std::string(set.monotone_table.size(), 'M') +
                              std::string(set.succinct_table.size(), 'S') +
                              std::string(set.convertible_table.size(), 'C') +
                              std::string(set.loose_table.size(), 'L');
    EXPECT_EQ(filed, filed_by_kind[static_cast<int>(row.kind)]) << row.keyword;
    if (row.kind == constraint_kind::monotone_and_loose) {
      EXPECT_EQ(set.monotone_table[0]->attribute_row(), 0) << row.keyword;
      EXPECT_EQ(set.loose_table[0]->attribute_row(), 0) << row.keyword;
    }
    if (row.kind == constraint_kind::length_bound) {
      EXPECT_EQ(set.lenleq_bound, 1) << row.keyword;
    }
  }
}

TEST(ConstraintParameters, RejectsMalformedTextWithOneLine) {
  struct Case {
    const char* keyword;
    const char* text;
    const char* shown = nullptr;  // as echoed, when not the text: control characters are not
  } cases[] = {
      // clang-format off
      {"sumleq", "[1,\n2]", "[1,?2]"},
      {"sumleq", "[1,x]"},        {"sumleq", "[1,2.5]"},       {"sumleq", ""},
      {"sumleq", "[1,2"},         {"sumleq", "1,2]"},          {"sumleq", "[]"},
      {"sumleq", "[1]"},          {"sumleq", "[1,2,3]"},       {"sumleq", "[1,]"},
      {"sumleq", "[,2]"},         {"sumleq", "[-1,2]"},        {"sumleq", "[1, 2]"},
      {"sumleq", "[1,2]x"},       {"sumleq", "[1,2147483648]"}, {"sumleq", "[1,10x]"},
      {"sumleq", "[[1,2]]"},      {"lengeq", "[4294967296]"},  {"lengeq", "[]"},
      {"lenleq", "[x]"},          {"acountleq", "[0,1]"},      {"acountgeq", "[0,1,2,3]"},
      {"supseteq", "[1,-2]"},     {"supseteq", "[1,,2]"},      {"subseteq", "[4294967296]"},
      {"subseteq", "[1"},         {"asubseteq", "[]"},         {"asupseteq", "[x,1]"},
      {"varleq", "[0,1.9]"},      {"avggeq2", "[0]"},          {"minleq", "[0,abc]"},
      {"maxgeq", "[a,1]"},        {"rangegeq", "[0,-2147483649]"},
      // clang-format on
  };
  for (const Case& c : cases) {
    constraint_set set;
    EXPECT_EQ(
        run_error_of([&] { parse(set, c.keyword, c.text); }),
        std::string(c.keyword) + ": malformed parameters \"" + (c.shown ? c.shown : c.text) + "\"");
    EXPECT_TRUE(set.all().empty()) << c.keyword;
  }
}

TEST(ConstraintParameters, AcceptsEveryFieldUpToItsRange) {
  const std::pair<const char*, const char*> cases[] = {
      {"sumleq", "[2147483647,-2147483648]"}, {"sumgeq", "[0,+7]"}, {"maxleq", "[0,4294967295]"},
      {"mingeq", "[0,-2147483648]"},          {"asubseteq", "[3]"}, {"subseteq", "[4294967295]"},
      {"acountgeq", "[0,-1,4294967295]"},     {"supseteq", "[]"},
  };
  for (const auto& [keyword, text] : cases) {
    constraint_set set;
    EXPECT_NO_THROW(parse(set, keyword, text)) << keyword << " " << text;
    EXPECT_EQ(set.all().size(), 1u) << keyword << " " << text;
  }
}

// The bound counts the items beyond the prefix; a prefix longer than the bound
// allows no level at all, and "supseteq" after "lenleq" still counts.
TEST(ConstraintSet, LevelAllowedFollowsTheBoundBeyondThePrefix) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> keywords;
    std::vector<bool> allowed;  // levels 0, 1, 2, 3
    std::vector<bool> last;     // last_allowed_level(0..3)
  } cases[] = {
      {{}, {true, true, true, true}, {false, false, false, false}},
      {{{"lenleq", "[2]"}}, {true, true, true, false}, {false, false, true, true}},
      // Several bounds: the smallest holds.
      {{{"lenleq", "[5]"}, {"lenleq", "[2]"}, {"lenleq", "[4]"}},
       {true, true, true, false}, {false, false, true, true}},
      {{{"lenleq", "[3]"}, {"supseteq", "[7,8]"}}, {true, true, false, false},
       {false, true, true, true}},
      {{{"supseteq", "[7,8]"}, {"lenleq", "[1]"}}, {false, false, false, false},
       {true, true, true, true}},
      {{{"lenleq", "[-2147483648]"}}, {false, false, false, false}, {true, true, true, true}},
      {{{"lenleq", "[2147483647]"}}, {true, true, true, true}, {false, false, false, false}},
  };
  for (const Case& c : cases) {
    constraint_set set;
    for (const auto& [keyword, text] : c.keywords) parse(set, keyword, text);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(set.level_allowed(k), c.allowed[k]) << c.keywords.size() << " level " << k;
      EXPECT_EQ(set.last_allowed_level(k), c.last[k]) << c.keywords.size() << " level " << k;
    }
  }
}

}  // namespace
