// Every keyword's testItemset against a direct evaluation of the output
// contract, on boundary values and on random itemsets with prefix items, for
// the vector and array forms and for the typed clones of all three widths.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/test_support.h"

namespace {

using constraint_testing::bind_all;
using constraint_testing::parse;
using i128 = __int128;

// The contract's table, evaluated the plain way on the multiset V of P ∪ X.
bool contract_holds(const std::string& kw, std::int64_t t, const std::vector<std::uint32_t>& V,
                    std::size_t k) {
  const i128 n = static_cast<i128>(V.size());
  const std::uint32_t ut = static_cast<std::uint32_t>(t);
  i128 S = 0;
  for (std::uint32_t v : V) S += v;
  std::uint32_t lo = V.empty() ? 0 : *std::min_element(V.begin(), V.end());
  std::uint32_t hi = V.empty() ? 0 : *std::max_element(V.begin(), V.end());
  i128 sq = 0, ad = 0;  // Σ(n x - S)², Σ|n x - S|
  for (std::uint32_t v : V) {
    i128 d = n * v - S;
    sq += d * d;
    ad += d < 0 ? -d : d;
  }
  std::vector<std::uint32_t> sorted = V;
  std::sort(sorted.begin(), sorted.end());
  i128 med2 = 0;
  if (!V.empty())
    med2 = sorted.size() % 2 ? 2 * static_cast<i128>(sorted[sorted.size() / 2])
                             : static_cast<i128>(sorted[sorted.size() / 2 - 1]) +
                                   sorted[sorted.size() / 2];
  if (kw == "sumleq") return S <= t;
  if (kw == "sumgeq") return S >= t;
  if (kw == "rangeleq" || kw == "rangeleq2") return n <= 1 || hi - lo <= ut;
  if (kw == "rangegeq") return n >= 1 && hi - lo >= ut;
  if (kw == "minleq" || kw == "minleq2") return n == 0 || lo <= ut;
  if (kw == "maxgeq") return n >= 1 && hi >= ut;
  if (kw == "maxgeq2") return (n == 0 && ut == 0) || (n >= 1 && hi >= ut);
  if (kw == "mingeq") return V.empty() || lo >= ut;
  if (kw == "maxleq") return V.empty() || hi <= ut;
  if (kw == "avggeq" || kw == "avggeq2") return n >= 1 && S >= t * n;
  if (kw == "avgleq") return n >= 1 && S <= t * n;
  if (kw == "avgleq2") return n == 0 || S <= t * n;
  if (kw == "medgeq" || kw == "medgeq2") return n >= 1 && med2 >= 2 * t;
  if (kw == "medleq" || kw == "medleq2") return n >= 1 && med2 <= 2 * t;
  if (kw == "vargeq") return n >= 1 && sq >= t * n * n * n;
  if (kw == "varleq") return n >= 1 && sq <= t * n * n * n;
  if (kw == "stdgeq") return n >= 1 && (t <= 0 || sq >= static_cast<i128>(t) * t * n * n * n);
  if (kw == "stdleq") return n >= 1 && t >= 0 && sq <= static_cast<i128>(t) * t * n * n * n;
  if (kw == "spvgeq") return n >= 2 && sq >= t * n * n * (n - 1);
  if (kw == "spvleq") return n >= 2 && sq <= t * n * n * (n - 1);
  if (kw == "mdgeq") return k >= 1 && ad >= t * n * n;
  if (kw == "mdleq") return k >= 1 && ad <= t * n * n;
  ADD_FAILURE() << "no reference for " << kw;
  return false;
}

const char* const kAttributeKeywords[] = {
    "sumleq",  "sumgeq",  "rangeleq", "rangeleq2", "rangegeq", "minleq",  "minleq2",
    "maxgeq",  "maxgeq2", "mingeq",   "maxleq",    "avggeq",   "avggeq2", "avgleq",
    "avgleq2", "medgeq",  "medgeq2",  "medleq",    "medleq2",  "varleq",  "vargeq",
    "stdleq",  "stdgeq",  "spvleq",   "spvgeq",    "mdleq",    "mdgeq"};

// Every active instance's answer for the itemset, in all forms and widths;
// all must be equal to expected.
void expect_all_agree(const std::vector<std::uint32_t>& items, bool expected,
                      const std::string& what) {
  std::vector<std::uint8_t> items8(items.begin(), items.end());
  std::vector<std::uint16_t> items16(items.begin(), items.end());
  const int n = static_cast<int>(items.size());
  for (auto* c : GLOBAL_SAM_TABLE) EXPECT_EQ(c->testItemset(items), expected) << what;
  for (auto* c : GLOBAL_M_TABLE) {
    EXPECT_EQ(c->testItemset(items), expected) << what;
    CMonotone<std::uint8_t>* c8 = c->clone<std::uint8_t>();
    CMonotone<std::uint16_t>* c16 = c->clone<std::uint16_t>();
    EXPECT_EQ(c8->testItemset(items8), expected) << what << " (8-bit)";
    EXPECT_EQ(c16->testItemset(items16), expected) << what << " (16-bit)";
    delete c8;
    delete c16;
  }
  auto check = [&](auto& table) {
    for (auto* c : table) {
      EXPECT_EQ(c->testItemset(items), expected) << what;
      EXPECT_EQ(c->testItemset(items.data(), n), expected) << what << " (array)";
      auto* c8 = c->template clone<std::uint8_t>();
      auto* c16 = c->template clone<std::uint16_t>();
      auto* c32 = c->template clone<std::uint32_t>();
      EXPECT_EQ(c8->testItemset(items8.data(), n), expected) << what << " (8-bit)";
      EXPECT_EQ(c16->testItemset(items16), expected) << what << " (16-bit)";
      EXPECT_EQ(c32->testItemset(items.data(), n), expected) << what << " (32-bit)";
      delete c8;
      delete c16;
      delete c32;
    }
  };
  check(GLOBAL_AM_TABLE);
  check(GLOBAL_LAM_TABLE);
  check(GLOBAL_CAM_TABLE);
}

TEST(ConstraintSemantics, RandomItemsetsMatchTheContract) {
  std::mt19937 rng(20240601);
  for (const char* kw : kAttributeKeywords) {
    for (int round = 0; round < 40; ++round) {
      std::vector<std::uint32_t> column(40);
      const std::uint32_t spread = round % 3 == 0 ? 4 : 12;
      for (auto& v : column) v = rng() % (spread + 1);
      reset_constraint_tables();
      const int n_prefix = static_cast<int>(rng() % 3);
      for (int i = 0; i < n_prefix; ++i) prefix_items.push_back(30 + static_cast<std::uint32_t>(i));
      const std::int64_t t = static_cast<std::int64_t>(rng() % 30) - 3;
      parse(kw, "[0," + std::to_string(t) + "]");
      bind_all(&column);
      for (int trial = 0; trial < 60; ++trial) {
        std::vector<std::uint32_t> items;
        const int size = static_cast<int>(rng() % 7);
        while (static_cast<int>(items.size()) < size) {
          std::uint32_t id = rng() % 30;
          if (std::find(items.begin(), items.end(), id) == items.end()) items.push_back(id);
        }
        std::sort(items.begin(), items.end());
        std::vector<std::uint32_t> V;
        for (std::uint32_t p : prefix_items) V.push_back(column[p]);
        for (std::uint32_t x : items) V.push_back(column[x]);
        const bool expected = contract_holds(kw, t, V, items.size());
        expect_all_agree(items, expected, std::string(kw) + " t=" + std::to_string(t));
      }
    }
  }
  reset_constraint_tables();
}

// Exact answers where rounding, overflow or a sign would flip them.
TEST(ConstraintSemantics, BoundaryValues) {
  struct Case {
    const char* kw;
    const char* text;
    std::vector<std::uint32_t> values;  // values of items 0, 1, ... (the itemset)
    std::vector<std::uint32_t> prefix;  // values of prefix items
    bool expected;
  } cases[] = {
      {"sumleq", "[0,16777216]", {16777217}, {}, false},
      {"sumleq", "[0,16777217]", {16777217}, {}, true},
      {"sumleq", "[0,10]", {4, 6}, {}, true},
      {"sumleq", "[0,10]", {4, 7}, {}, false},
      {"sumleq", "[0,10]", {7}, {3}, true},
      {"sumleq", "[0,10]", {8}, {3}, false},
      {"sumleq", "[0,-1]", {}, {}, false},
      {"sumleq", "[0,0]", {}, {}, true},
      {"sumleq", "[0,2147483647]", {4294967295u, 4294967295u, 4294967295u}, {}, false},
      {"sumgeq", "[0,2147483647]", {4294967295u}, {}, true},
      {"sumgeq", "[0,16777217]", {16777216}, {}, false},
      {"sumgeq", "[0,-5]", {}, {}, true},
      {"rangeleq", "[0,5]", {3, 8}, {}, true},
      {"rangeleq", "[0,5]", {3, 9}, {}, false},
      {"rangeleq", "[0,5]", {3}, {10}, false},
      {"rangeleq", "[0,0]", {100}, {}, true},
      {"rangeleq", "[0,-1]", {0, 4294967295u}, {}, true},
      {"rangegeq", "[0,0]", {}, {}, false},
      {"rangegeq", "[0,7]", {2, 9}, {}, true},
      {"rangegeq", "[0,8]", {2, 9}, {}, false},
      {"minleq", "[0,3]", {4, 7}, {}, false},
      {"minleq", "[0,4]", {4, 7}, {}, true},
      {"minleq", "[0,0]", {}, {}, true},
      {"maxgeq", "[0,0]", {}, {}, false},
      {"maxgeq2", "[0,0]", {}, {}, true},
      {"maxgeq2", "[0,1]", {}, {}, false},
      {"maxgeq2", "[0,10]", {3}, {10}, true},
      {"minleq2", "[0,3]", {9, 2}, {}, true},
      {"rangeleq2", "[0,4]", {2, 7}, {}, false},
      {"rangeleq2", "[0,4]", {}, {}, true},
      {"avggeq", "[0,1]", {1, 2}, {}, true},
      {"avggeq", "[0,2]", {1, 2}, {}, false},
      {"avgleq", "[0,1]", {1, 2}, {}, false},
      {"avggeq2", "[0,5]", {9, 4, 2}, {}, true},
      {"avggeq2", "[0,5]", {4, 2}, {}, false},
      {"avggeq2", "[0,0]", {}, {}, false},
      {"avgleq2", "[0,0]", {}, {}, true},
      {"avgleq", "[0,0]", {}, {}, false},
      {"avggeq", "[0,-1]", {0}, {}, true},
      {"avggeq", "[0,2147483647]", {4294967295u, 0}, {}, true},
      {"medgeq", "[0,6]", {1, 2, 10, 20}, {}, true},
      {"medgeq", "[0,7]", {1, 2, 10, 20}, {}, false},
      {"medleq", "[0,3]", {1, 3}, {100}, true},
      {"medgeq2", "[0,5]", {6, 4}, {}, true},
      {"medgeq2", "[0,5]", {6, 4, 1}, {}, false},
      {"medleq2", "[0,4]", {6, 4, 1}, {}, true},
      {"medgeq", "[0,2147483647]", {4294967295u, 4294967295u}, {}, true},
      {"vargeq", "[0,0]", {7}, {}, true},
      {"vargeq", "[0,1]", {7}, {}, false},
      {"varleq", "[0,2]", {1, 2, 4}, {}, true},
      {"vargeq", "[0,2]", {1, 2, 4}, {}, false},
      {"vargeq", "[0,66]", {0, 20}, {10}, true},
      {"vargeq", "[0,67]", {0, 20}, {10}, false},
      {"vargeq", "[0,2000]", {4, 5, 100}, {}, true},
      {"vargeq", "[0,2000]", {4, 5}, {}, false},
      {"vargeq", "[0,2147483647]", {0, 4294967295u}, {}, true},
      {"varleq", "[0,-1]", {5}, {}, false},
      {"varleq", "[0,0]", {}, {}, false},
      {"stdleq", "[0,0]", {1, 3}, {}, false},
      {"stdleq", "[0,1]", {1, 3}, {}, true},
      {"stdgeq", "[0,1]", {1, 3}, {}, true},
      {"stdgeq", "[0,2]", {1, 3}, {}, false},
      {"stdgeq", "[0,-4]", {5}, {}, true},
      {"stdleq", "[0,-4]", {5}, {}, false},
      {"stdgeq", "[0,0]", {}, {}, false},
      {"spvgeq", "[0,0]", {5}, {}, false},
      {"spvleq", "[0,0]", {5}, {}, false},
      {"spvleq", "[0,0]", {5}, {5}, true},
      {"spvgeq", "[0,2]", {1, 3}, {}, true},
      {"spvgeq", "[0,3]", {1, 3}, {}, false},
      {"spvleq", "[0,3]", {0, 0, 3}, {}, true},
      {"mdgeq", "[0,0]", {5}, {}, true},
      {"mdleq", "[0,0]", {5}, {}, true},
      {"mdgeq", "[0,0]", {}, {5}, false},
      {"mdleq", "[0,1]", {1, 3}, {}, true},
      {"mdgeq", "[0,2]", {1, 3}, {}, false},
      {"mdgeq", "[0,1]", {0, 0, 3}, {}, true},
      {"mdgeq", "[0,2]", {0, 0, 3}, {}, false},
      {"mingeq", "[0,10]", {12, 10}, {}, true},
      {"mingeq", "[0,10]", {12}, {3}, false},
      {"maxleq", "[0,10]", {3, 10}, {}, true},
      {"maxleq", "[0,-1]", {4294967295u}, {}, true},
      {"acountleq", "[0,2,1]", {2, 3}, {}, true},
      {"acountleq", "[0,2,1]", {2, 2}, {}, false},
      {"acountleq", "[0,2,1]", {2}, {2}, false},
      {"acountgeq", "[0,4,2]", {4, 1}, {}, false},
      {"acountgeq", "[0,4,2]", {4}, {4}, true},
      {"acountgeq", "[0,-1,1]", {4294967295u}, {}, true},
      {"asupseteq", "[0,1,3]", {1, 3}, {}, true},
      {"asupseteq", "[0,1,3]", {1}, {}, false},
      {"asupseteq", "[0,1,3]", {1}, {3}, true},
      {"asupseteq", "[0]", {}, {}, true},
      {"asubseteq", "[0,2,5]", {2, 5, 5}, {}, true},
      {"asubseteq", "[0,2,5]", {2}, {4}, false},
      {"asubseteq", "[0]", {}, {}, true},
  };
  for (const Case& c : cases) {
    reset_constraint_tables();
    std::vector<std::uint32_t> column = c.values;
    std::vector<std::uint32_t> items;
    for (std::uint32_t i = 0; i < c.values.size(); ++i) items.push_back(i);
    for (std::uint32_t v : c.prefix) {
      prefix_items.push_back(static_cast<std::uint32_t>(column.size()));
      column.push_back(v);
    }
    parse(c.kw, c.text);
    bind_all(&column);
    expect_all_agree(items, c.expected, std::string(c.kw) + " " + c.text);
  }
  reset_constraint_tables();
}

// Constraints without an attribute count the prefix items too.
TEST(ConstraintSemantics, PrefixItemsCountForLengthAndItemLists) {
  struct Case {
    const char* kw;
    const char* text;
    std::vector<std::uint32_t> prefix;
    std::size_t k;
    bool expected;
  } cases[] = {
      {"lengeq", "[3]", {7}, 2, true},       {"lengeq", "[3]", {7}, 1, false},
      {"lengeq", "[0]", {}, 0, true},        {"lengeq", "[-1]", {}, 5, false},
      {"subseteq", "[1,7]", {7}, 1, true},   {"subseteq", "[1,2]", {7}, 0, false},
      {"subseteq", "[]", {}, 0, true},       {"supseteq", "[4]", {}, 1, true},
  };
  for (const Case& c : cases) {
    reset_constraint_tables();
    prefix_items = c.prefix;
    parse(c.kw, c.text);
    std::vector<std::uint32_t> column(16, 0);
    bind_all(&column);
    std::vector<std::uint32_t> items;
    for (std::uint32_t i = 0; i < c.k; ++i) items.push_back(i);
    expect_all_agree(items, c.expected, std::string(c.kw) + " " + c.text);
  }
  reset_constraint_tables();
}

}  // namespace
