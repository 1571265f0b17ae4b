#include "engine/candidates.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "engine/engine_test_util.h"

namespace {

using cands8 = HOP_candidates<std::uint8_t, std::uint32_t>;

TEST(Candidates, PrefixTableGivesEachPairItsRangeOfGroups) {
  GLOBAL_TABLE_K<std::uint8_t> table;
  struct Case {
    std::vector<std::vector<std::uint8_t>> sets;
    std::vector<std::uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {{{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}}, {0, 2, 4, 4, 6, 6, 6}},
      {{{0, 1, 2}, {0, 1, 3}}, {0, 2, 2, 2, 2, 2, 2}},
      {{{2, 3, 0}}, {0, 0, 0, 0, 0, 0, 2}},
  };
  for (const auto& c : cases) {
    cands8 s(3);
    for (const auto& v : c.sets) s.add_itemset(v.data(), 0, table);
    s.init_prefix_table(4);
    EXPECT_EQ(s.prefix_table, c.expected);
  }
}

TEST(Candidates, SparseIndexGivesTheSameRangesAsTheTriangle) {
  GLOBAL_TABLE_K<std::uint8_t> table;
  std::mt19937 rng(3);
  for (int k : {3, 4, 5}) {
    const std::uint32_t n = 12;
    // Random ascending k-itemsets, in lexicographic order.
    std::set<std::vector<std::uint8_t>> sets;
    while (sets.size() < 60) {
      std::set<std::uint8_t> v;
      while (static_cast<int>(v.size()) < k) v.insert(static_cast<std::uint8_t>(rng() % n));
      sets.emplace(v.begin(), v.end());
    }
    cands8 dense(k), sparse(k);
    sparse.dense_index_limit = 1;  // any triangle is over the limit
    for (const auto& v : sets) {
      dense.add_itemset(v.data(), 0, table);
      sparse.add_itemset(v.data(), 0, table);
    }
    dense.init_prefix_table(n);
    sparse.init_prefix_table(n);
    ASSERT_TRUE(dense.dense_index);
    ASSERT_FALSE(sparse.dense_index);
    for (std::uint64_t a = 0; a < n; ++a)
      for (std::uint64_t b = a + 1; b < n; ++b) {
        std::size_t d0, d1, s0, s1;
        dense.pair_range(a, b, pair_row(a, n) - 1, &d0, &d1);
        sparse.pair_range(a, b, pair_row(a, n) - 1, &s0, &s1);
        if (d0 == d1) {
          EXPECT_EQ(s0, s1) << k << " " << a << " " << b;
        } else {
          EXPECT_EQ(std::make_pair(d0, d1), std::make_pair(s0, s1)) << k << " " << a << " " << b;
        }
      }
  }
}

}  // namespace
