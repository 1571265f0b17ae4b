#include "engine/candidates.h"

#include <gtest/gtest.h>

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

}  // namespace
