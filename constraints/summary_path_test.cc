// The tests along a walk answer as holds() does, for every keyword a typed
// table holds, on random walks over extreme 32-bit values with prefix items.
#include "constraints/summary_path.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/test_support.h"

namespace {

using constraint_testing::bind_all;
using constraint_testing::parse;

constexpr int kItems = 24;  // items 0..23; the prefix items come after them
constexpr int kLongest = 7;

// A column of values that make sums, squares and ranges overflow narrow
// arithmetic, with a few repeated ones for acount.
std::vector<std::uint32_t> extreme_column(std::mt19937& rng) {
  const std::uint32_t picks[] = {0,     1,           2,           7,           100,        65535,
                                 65536, 2147483647u, 2147483648u, 4294967294u, 4294967295u};
  std::vector<std::uint32_t> column(kItems + 2);
  for (std::uint32_t& v : column)
    v = rng() % 3 == 0 ? static_cast<std::uint32_t>(rng()) : picks[rng() % std::size(picks)];
  return column;
}

// Walks random itemsets, each sharing a random number of leading items with
// the one before, and compares every constraint of list along the path with
// its holds() from scratch.
template <class C>
void expect_path_agrees(const std::vector<C*>& list, std::mt19937& rng, const std::string& what) {
  using T = std::uint8_t;
  summary_path<T> path;
  std::vector<T> items(kLongest);
  int n = 0;
  for (int step = 0; step < 400; ++step) {
    const int next = 1 + static_cast<int>(rng() % kLongest);
    const int shared = step == 0 ? 0 : static_cast<int>(rng() % (std::min(n, next) + 1));
    for (int i = shared; i < next; ++i) items[i] = static_cast<T>(rng() % kItems);
    path.resume(list, kLongest, shared);
    n = next;
    for (std::size_t u = 0; u < list.size(); ++u)
      ASSERT_EQ(path.holds(list[u], u, items.data(), n), list[u]->holds(items.data(), n))
          << what << " step " << step << " n " << n << " shared " << shared;
  }
}

TEST(SummaryPath, AnswersAsHoldsForEveryKeywordOnExtremeValues) {
  // Signed thresholds stop at 2^31 - 1; the unsigned ones wrap -1 to 2^32 - 1.
  const char* thresholds[] = {"0", "1", "7", "65536", "2147483647", "-1", "-2147483648"};
  const char* keywords[] = {"sumleq",  "sumgeq",  "rangeleq", "rangegeq",  "minleq",  "maxgeq",
                            "avggeq",  "avgleq",  "varleq",   "vargeq",    "stdleq",  "stdgeq",
                            "spvleq",  "spvgeq",  "medgeq",   "medleq",    "mdleq",   "avggeq2",
                            "avgleq2", "minleq2", "maxgeq2",  "rangeleq2", "medgeq2", "medleq2"};
  std::mt19937 rng(20261210);
  for (int prefix = 0; prefix <= 2; ++prefix)
    for (const char* kw : keywords)
      for (const char* t : thresholds) {
        std::vector<std::uint32_t> column = extreme_column(rng);
        constraint_set set;
        for (int p = 0; p < prefix; ++p) set.prefix_items.push_back(kItems + p);
        parse(set, kw, std::string("[0,") + t + "]");
        bind_all(set, &column);
        typed_constraints<std::uint8_t> typed(set);
        const std::string what = std::string(kw) + " " + t + " prefix " + std::to_string(prefix);
        expect_path_agrees(typed.anti_monotone_table, rng, what);
        expect_path_agrees(typed.monotone_table, rng, what);
        expect_path_agrees(typed.loose_table, rng, what);
        expect_path_agrees(typed.convertible_table, rng, what);
      }
}

// acount counts one value; several constraints share one path.
TEST(SummaryPath, CountsOneValueAndKeepsEachConstraintApart) {
  std::mt19937 rng(7);
  for (const char* counted : {"0", "4294967295", "7"})
    for (const char* t : {"0", "1", "2", "-1"}) {
      std::vector<std::uint32_t> column = extreme_column(rng);
      for (int i = 0; i < kItems + 2; i += 3) column[i] = counted[0] == '7' ? 7 : column[i];
      constraint_set set;
      set.prefix_items = {kItems, kItems + 1};
      parse(set, "acountleq", std::string("[0,") + counted + "," + t + "]");
      parse(set, "acountgeq", std::string("[0,") + counted + "," + t + "]");
      parse(set, "sumleq", "[0,2147483647]");
      parse(set, "avggeq", std::string("[0,") + t + "]");
      parse(set, "varleq", "[0,1000000]");
      bind_all(set, &column);
      typed_constraints<std::uint8_t> typed(set);
      const std::string what = std::string("acount ") + counted + " " + t;
      expect_path_agrees(typed.anti_monotone_table, rng, what);
      expect_path_agrees(typed.monotone_table, rng, what);
      expect_path_agrees(typed.loose_table, rng, what);
    }
}

}  // namespace
