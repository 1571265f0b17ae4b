// Every keyword's holds on boundary values with prefix items, for the
// vector and array forms and for the typed clones of all three widths. Random
// itemsets against a brute-force miner are the differential test's job.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/test_support.h"

namespace {

using constraint_testing::bind_all;
using constraint_testing::parse;

// Asks c through the vector and the array form; deletes it when it is a clone.
template <class C, class U>
void expect_answers(C* c, bool clone, const std::vector<U>& items, bool expected,
                    const std::string& what) {
  std::unique_ptr<C> owned(clone ? c : nullptr);
  EXPECT_EQ(c->holds(items), expected) << what << " (" << 8 * sizeof(U) << "-bit)";
  EXPECT_EQ(c->holds(items.data(), static_cast<int>(items.size())), expected)
      << what << " (" << 8 * sizeof(U) << "-bit array)";
}

// Every active instance's answer for the itemset, in all forms and widths;
// all must be equal to expected.
void expect_all_agree(const constraint_set& set, const std::vector<std::uint32_t>& items,
                      bool expected, const std::string& what) {
  const std::vector<std::uint8_t> items8(items.begin(), items.end());
  const std::vector<std::uint16_t> items16(items.begin(), items.end());
  for (auto* c : set.succinct_table) expect_answers(c, false, items, expected, what);
  auto check = [&](auto& table) {
    for (auto* c : table) {
      expect_answers(c, false, items, expected, what);
      expect_answers(c->template clone<std::uint8_t>(), true, items8, expected, what);
      expect_answers(c->template clone<std::uint16_t>(), true, items16, expected, what);
      expect_answers(c->template clone<std::uint32_t>(), true, items, expected, what);
    }
  };
  check(set.monotone_table);
  check(set.anti_monotone_table);
  check(set.loose_table);
  check(set.convertible_table);
}

// Exact answers where rounding, overflow or a sign would flip them, on empty
// itemsets and with prefix items. Ordinary values near each threshold are the
// differential test's job.
TEST(ConstraintSemantics, BoundaryValues) {
  struct Case {
    const char* kw;
    const char* text;
    std::vector<std::uint32_t> values;  // values of items 0, 1, ... (the itemset)
    std::vector<std::uint32_t> prefix;  // values of prefix items
    bool expected;
  } cases[] = {
      // clang-format off
      {"sumleq", "[0,16777216]", {16777217}, {}, false},
      {"sumleq", "[0,16777217]", {16777217}, {}, true},
      {"sumleq", "[0,10]", {8}, {3}, false},        {"sumleq", "[0,-1]", {}, {}, false},
      {"sumleq", "[0,0]", {}, {}, true},            {"rangeleq", "[0,5]", {3}, {10}, false},
      {"sumleq", "[0,2147483647]", {4294967295u, 4294967295u, 4294967295u}, {}, false},
      {"sumgeq", "[0,2147483647]", {4294967295u}, {}, true},
      {"sumgeq", "[0,16777217]", {16777216}, {}, false},
      {"sumgeq", "[0,-5]", {}, {}, true},           {"rangeleq", "[0,5]", {3, 9}, {}, false},
      {"rangeleq", "[0,-1]", {0, 4294967295u}, {}, true},
      {"rangegeq", "[0,0]", {}, {}, false},         {"minleq", "[0,0]", {}, {}, true},
      {"maxgeq", "[0,0]", {}, {}, false},           {"maxgeq2", "[0,0]", {}, {}, true},
      {"maxgeq2", "[0,1]", {}, {}, false},          {"maxgeq2", "[0,10]", {3}, {10}, true},
      {"rangeleq2", "[0,4]", {}, {}, true},         {"avggeq", "[0,2]", {1, 2}, {}, false},
      {"avgleq", "[0,1]", {1, 2}, {}, false},       {"avggeq2", "[0,0]", {}, {}, false},
      {"avgleq2", "[0,0]", {}, {}, true},           {"avgleq", "[0,0]", {}, {}, false},
      {"avggeq", "[0,-1]", {0}, {}, true},
      {"avggeq", "[0,2147483647]", {4294967295u, 0}, {}, true},
      {"medgeq", "[0,6]", {1, 2, 10, 20}, {}, true}, {"medgeq", "[0,7]", {1, 2, 10, 20}, {}, false},
      {"medleq", "[0,3]", {1, 3}, {100}, true},
      {"medgeq", "[0,2147483647]", {4294967295u, 4294967295u}, {}, true},
      {"vargeq", "[0,2]", {1, 2, 4}, {}, false},    {"vargeq", "[0,66]", {0, 20}, {10}, true},
      {"vargeq", "[0,67]", {0, 20}, {10}, false},
      {"vargeq", "[0,2147483647]", {0, 4294967295u}, {}, true},
      {"varleq", "[0,-1]", {5}, {}, false},         {"varleq", "[0,0]", {}, {}, false},
      {"stdgeq", "[0,-4]", {5}, {}, true},          {"stdleq", "[0,-4]", {5}, {}, false},
      {"stdgeq", "[0,0]", {}, {}, false},           {"spvgeq", "[0,0]", {5}, {}, false},
      {"spvleq", "[0,0]", {5}, {}, false},          {"spvleq", "[0,0]", {5}, {5}, true},
      {"mdgeq", "[0,0]", {5}, {}, true},            {"mdleq", "[0,0]", {5}, {}, true},
      {"mdgeq", "[0,0]", {}, {5}, false},           {"mdgeq", "[0,2]", {0, 0, 3}, {}, false},
      {"mingeq", "[0,10]", {12}, {3}, false},       {"maxleq", "[0,-1]", {4294967295u}, {}, true},
      {"acountleq", "[0,2,1]", {2, 2}, {}, false},  {"acountleq", "[0,2,1]", {2}, {2}, false},
      {"acountgeq", "[0,4,2]", {4}, {4}, true},     {"asubseteq", "[0]", {}, {}, true},
      {"acountgeq", "[0,-1,1]", {4294967295u}, {}, true},
      {"asupseteq", "[0,1,3]", {1}, {}, false},     {"asupseteq", "[0,1,3]", {1}, {3}, true},
      {"asupseteq", "[0]", {}, {}, true},           {"asubseteq", "[0,2,5]", {2}, {4}, false},
      {"asupseteq", "[0,3,65536]", {65536}, {3}, true},
      {"asupseteq", "[0,3,65536]", {65535, 3}, {}, false},
      {"asupseteq", "[0,3,65535]", {65535, 65536}, {3}, true},
      // clang-format on
  };
  for (const Case& c : cases) {
    constraint_set set;
    std::vector<std::uint32_t> column = c.values;
    std::vector<std::uint32_t> items;
    for (std::uint32_t i = 0; i < c.values.size(); ++i) items.push_back(i);
    for (std::uint32_t v : c.prefix) {
      set.prefix_items.push_back(static_cast<std::uint32_t>(column.size()));
      column.push_back(v);
    }
    parse(set, c.kw, c.text);
    bind_all(set, &column);
    expect_all_agree(set, items, c.expected, std::string(c.kw) + " " + c.text);
  }
  // asupseteq lists of 64 values (the found values fit one word) and of 65: the
  // itemset holds 0..listed-1 but for the value missing (none when 64 or 65).
  for (const std::uint32_t listed : {64u, 65u})
    for (const std::uint32_t missing : {0u, listed - 1, listed}) {
      std::string text = "[0";
      for (std::uint32_t v = 0; v < listed; ++v) text += "," + std::to_string(v);
      text += "]";
      std::vector<std::uint32_t> column, items;
      for (std::uint32_t v = 0; v < listed; ++v)
        if (v != missing) {
          items.push_back(static_cast<std::uint32_t>(column.size()));
          column.push_back(v);
        }
      constraint_set set;
      parse(set, "asupseteq", text.c_str());
      bind_all(set, &column);
      expect_all_agree(set, items, missing == listed, "asupseteq of " + std::to_string(listed));
    }
}

// keeps asks the anti-monotone constraints; writes asks the monotone,
// convertible and loose ones (or takes the loose verdict from stored flags) and
// refuses everything when the prefix items fail a succinct constraint.
TEST(ConstraintSemantics, TypedSetKeepsAndWritesByKind) {
  struct Case {
    std::vector<std::uint8_t> items;
    bool keeps, writes;
  } cases[] = {
      {{2, 3}, false, true},    // sum 12 > 10 (anti-monotone only)
      {{2, 5}, true, false},    // mean 2.5 < 3 (loose)
      {{2}, true, false},       // sum 4 < 5 (monotone)
      {{0, 1}, true, false},    // max 3 < 4 (convertible)
      {{0, 1, 2}, true, true},  // sum 10, mean 10/3, max 4
      {{3}, true, true},
  };
  constraint_set active;
  parse(active, "sumleq", "[0,10]");
  parse(active, "sumgeq", "[0,5]");
  parse(active, "avggeq", "[0,3]");
  parse(active, "maxgeq2", "[0,4]");
  std::vector<std::uint32_t> column = {3, 3, 4, 8, 9, 1};
  bind_all(active, &column);
  typed_constraints<std::uint8_t> set(active);
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.items.size());
    EXPECT_EQ(set.keeps(c.items.data(), n), c.keeps) << c.items.size();
    EXPECT_EQ(set.writes(c.items.data(), n), c.writes) << c.items.size();
    const bool flag = set.loose_table[0]->holds(c.items.data(), n);  // as a level stores it
    EXPECT_EQ(set.writes(c.items.data(), n, flag), c.writes) << c.items.size();
    EXPECT_FALSE(set.writes(c.items.data(), n, false)) << c.items.size();
  }
}

TEST(ConstraintSemantics, TypedSetWritesNothingWhenThePrefixFailsASuccinctConstraint) {
  for (std::uint32_t prefix_value : {5u, 4u}) {
    constraint_set active;
    active.prefix_items = {1};
    parse(active, "mingeq", "[0,5]");
    std::vector<std::uint32_t> column = {7, prefix_value};
    bind_all(active, &column);
    typed_constraints<std::uint16_t> set(active);
    const std::uint16_t item = 0;
    EXPECT_TRUE(set.keeps(&item, 1));
    EXPECT_EQ(set.writes(&item, 1), prefix_value >= 5) << prefix_value;
    EXPECT_EQ(set.writes_everything(), prefix_value >= 5) << prefix_value;
  }
}

}  // namespace
