#include "engine/candidates.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "engine/engine_test_util.h"

namespace {

using cands8 = HOP_candidates<std::uint8_t, std::uint32_t>;
using store8 = set_of_frequents<std::uint8_t, std::uint32_t>;

std::vector<std::vector<std::uint8_t>> all_itemsets(cands8& c) {
  std::vector<std::vector<std::uint8_t>> out;
  if (c.n_itemsets == 0) return out;
  std::vector<std::uint8_t> buf(c.k);
  c.init_read_itemsets();
  while (c.next_itemset(buf.data()) >= 0) out.push_back(buf);
  return out;
}

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

TEST(Candidates, LevelThreeJoinsPairsAndAsksThePairCounters) {
  zax_items items(2);
  set_up_items(items, 5);
  GLOBAL_TABLE_K<std::uint8_t> table;
  cand_2_iter<std::uint32_t> pairs(5);
  store8 level(2);
  // Stored pairs (0,1) (0,2) (0,3) (1,2) (1,4); counters: (1,2)=2, (1,3)=1, (2,3)=5.
  for (auto [a, b] : std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 4}}) {
    const std::uint8_t v[2] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
    level.add_itemset(v, 3, table);
  }
  pairs.pair_counts[pair_index(1, 2, 5)] = 2;
  pairs.pair_counts[pair_index(1, 3, 5)] = 1;
  pairs.pair_counts[pair_index(2, 3, 5)] = 5;  // frequent though not stored: still admits {0,2,3}
  cands8 c(3);
  gen_candidates(level, c, items, 3, &pairs, table);
  EXPECT_EQ(all_itemsets(c), (std::vector<std::vector<std::uint8_t>>{{0, 1, 2}, {0, 2, 3}}));
  EXPECT_EQ(c.table_items, 5u);
}

TEST(Candidates, LevelFourNeedsEverySubsetStored) {
  zax_items items(1);
  set_up_items(items, 6);
  GLOBAL_TABLE_K<std::uint8_t> table;
  store8 level(3);
  // {1,2,3},{1,2,4} join to {1,2,3,4}: needs {1,3,4} and {2,3,4}; both stored.
  // {1,2,3},{1,2,5} join to {1,2,3,5}: {2,3,5} is missing.
  // {1,3,4},{1,3,5} join to {1,3,4,5}: {3,4,5} is missing.
  for (const std::vector<std::uint8_t>& v : std::vector<std::vector<std::uint8_t>>{
           {1, 2, 3}, {1, 2, 4}, {1, 2, 5}, {1, 3, 4}, {1, 3, 5}, {1, 4, 5}, {2, 3, 4}, {2, 4, 5}})
    level.add_itemset(v.data(), 4, table);
  cands8 c(4);
  gen_candidates(level, c, items, 4, static_cast<const cand_2_iter<std::uint32_t>*>(nullptr),
                 table);
  EXPECT_EQ(all_itemsets(c), (std::vector<std::vector<std::uint8_t>>{{1, 2, 3, 4}, {1, 2, 4, 5}}));

  // An anti-monotone rejection drops the candidate though both joined itemsets pass.
  table.am_table.push_back(new fake_anti_monotone<std::uint8_t>(
      [](const std::vector<std::uint8_t>& v) { return v.size() < 4 || v[3] != 5; }));
  gen_candidates(level, c, items, 4, static_cast<const cand_2_iter<std::uint32_t>*>(nullptr),
                 table);
  EXPECT_EQ(all_itemsets(c), (std::vector<std::vector<std::uint8_t>>{{1, 2, 3, 4}}));

}

}  // namespace
