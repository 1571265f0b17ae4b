#include "engine/candidates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using cands8 = candidate_store<std::uint8_t, std::uint32_t>;

TEST(Candidates, PrefixTableGivesEachPairItsRangeOfGroups) {
  typed_constraints<std::uint8_t> table;
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

using counted8 = candidate_store<std::uint8_t, std::uint16_t>;

void fill(counted8& c, typed_constraints<std::uint8_t>& table,
          const std::vector<std::vector<std::uint8_t>>& sets, std::uint32_t n,
          bool sparse_index = false) {
  if (sparse_index) c.dense_index_limit = 1;
  for (const auto& v : sets) c.add_itemset(v.data(), 0, table);
  c.init_prefix_table(n);
}

// Counts one transaction; returns the position counters.
std::vector<std::uint32_t> count(counted8& c, const std::vector<std::uint8_t>& items, std::uint32_t n) {
  counting_transaction<std::uint8_t> t(16, static_cast<int>(n));
  std::copy(items.begin(), items.end(), t.elems.begin());
  t.length = static_cast<std::uint8_t>(items.size());
  std::fill(t.counters.begin(), t.counters.end(), 0u);
  std::vector<std::uint8_t> local(c.n_lam, 0);
  c.count_contained_candidates(t, local.data());
  for (std::uint8_t m : t.marks) EXPECT_EQ(m, 0) << "marks must be reset";
  return std::vector<std::uint32_t>(t.counters.begin(), t.counters.begin() + items.size());
}

TEST(Candidates, CountsEachContainedCandidateOnceAndCreditsItsPositions) {
  typed_constraints<std::uint8_t> table;
  for (bool sparse_index : {false, true}) {
    counted8 c(3);
    fill(c, table, {{0, 1, 2}, {0, 1, 3}, {1, 2, 3}}, 4, sparse_index);
    EXPECT_EQ(count(c, {0, 1, 2, 3}, 4), (std::vector<std::uint32_t>{2, 3, 2, 2}));
    EXPECT_EQ(c.supports, (std::vector<std::uint16_t>{1, 1, 1}));
    // Local pruning at k = 3 keeps only position 1: the transaction is emptied.
    EXPECT_EQ(count(c, {0, 2, 3}, 4), (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(count(c, {1, 2, 3}, 4), (std::vector<std::uint32_t>{1, 1, 1}));
    EXPECT_EQ(c.supports, (std::vector<std::uint16_t>{1, 1, 2}));
  }
}

}  // namespace
