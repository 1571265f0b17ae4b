#include "levels/candidate_cursor.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using level = frequent_level<std::uint8_t, std::uint16_t>;
using itemset = std::vector<std::uint8_t>;

// A level of 3-itemsets over items 0..11: random groups, some of one itemset
// (no pair), some of several; keys set to the suffix for the key walk.
level random_level(std::mt19937& rng) {
  typed_constraints<std::uint8_t> table;
  level s(3);
  for (std::uint8_t a = 0; a < 10; ++a)
    for (std::uint8_t b = a + 1; b < 11; ++b)
      for (std::uint8_t c = b + 1; c < 12; ++c)
        if (rng() % 3 == 0) {
          const std::uint8_t v[3] = {a, b, c};
          s.add_itemset(v, static_cast<std::uint16_t>(a * 100 + c), table);
          s.keys.push_back(c);
        }
  return s;
}

// Every candidate the cursor walks over groups [first, end), with the joined
// itemsets' supports and keys appended.
// With members given, only group first from its member first_member to
// end_member.
std::vector<itemset> walk(const level& s, int first, int end, int first_member = 0,
                          int end_member = -1) {
  std::vector<itemset> out;
  candidate_cursor<std::uint8_t, std::uint16_t> cursor(s, 4, true, first, end, first_member,
                                                       end_member);
  if (!cursor.valid()) return out;
  do {
    itemset c(cursor.candidate(), cursor.candidate() + 4);
    c.push_back(static_cast<std::uint8_t>(cursor.support_i() % 100));
    c.push_back(static_cast<std::uint8_t>(cursor.support_j() % 100));
    c.push_back(cursor.key_i());
    c.push_back(cursor.key_j());
    EXPECT_GE(cursor.group(), first);
    out.push_back(c);
  } while (cursor.advance());
  return out;
}

// Independent of the cursor: every pair of one group, in order.
std::vector<itemset> expected_join(const level& s) {
  std::vector<itemset> out;
  for (int g = 0; g < s.number_of_groups(); ++g)
    for (int i = s.group_first(g); i <= s.group_last[g]; ++i)
      for (int j = i + 1; j <= s.group_last[g]; ++j) {
        itemset c(2);
        s.group_prefix(g, c.data());
        c.insert(c.end(), {s.suffixes[i], s.suffixes[j], s.suffixes[i], s.suffixes[j], s.keys[i],
                           s.keys[j]});
        out.push_back(c);
      }
  return out;
}

// Any cut of the groups into two or three ranges (empty ranges and ranges of
// single-itemset groups only included), and every group walked in ranges of
// its members cut anywhere (empty ranges and ranges past the last joining
// member included), give the whole join in order.
TEST(CandidateCursor, GroupAndMemberRangesWalkTheWholeJoinInPieces) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    const level s = random_level(rng);
    const int groups = s.number_of_groups();
    const std::vector<itemset> all = expected_join(s);
    ASSERT_EQ(walk(s, 0, -1), all) << seed;
    for (int cut1 = 0; cut1 <= groups; ++cut1) {
      const int cut2 = cut1 + static_cast<int>(rng() % static_cast<unsigned>(groups - cut1 + 1));
      std::vector<itemset> pieces = walk(s, 0, cut1);
      for (const itemset& c : walk(s, cut1, cut2)) pieces.push_back(c);
      for (const itemset& c : walk(s, cut2, groups)) pieces.push_back(c);
      ASSERT_EQ(pieces, all) << seed << " " << cut1 << " " << cut2;
    }
    std::vector<itemset> pieces;
    for (int g = 0; g < groups; ++g) {
      const int m = s.group_last[g] - s.group_first(g) + 1;
      for (int a = 0, b; a < m; a = b) {
        b = a + static_cast<int>(rng() % 3);
        // The last range runs to the end of the group, given as -1 or past it.
        const bool last = b >= m;
        for (const itemset& c : walk(s, g, g + 1, a, last ? (seed % 2 ? -1 : m + 1) : b))
          pieces.push_back(c);
        if (last) break;
      }
    }
    ASSERT_EQ(pieces, all) << seed;
  }
}

// share_with_counted gives how many leading items a candidate shares with
// the last one marked counted (none for the first), whichever candidates in
// between were skipped: along rows, across rows and across groups whose
// prefixes differ at either depth, also on walks that start inside a group.
// share_with_stored does the same for the candidates marked stored, marked
// apart from the counted ones (a stored candidate need not be counted).
// take_row_change gives, apart from both, the first position at which the
// row's first three items (P + x) differ from the row last taken (0 for the
// first, 3 for the same row).
TEST(CandidateCursor, SharesWithTheLastCountedCandidateAndRow) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    const level s = random_level(rng);
    const int groups = s.number_of_groups();
    for (int first = 0; first < groups; first += 1 + static_cast<int>(rng() % 5)) {
      const int first_member = static_cast<int>(rng() % 3);
      candidate_cursor<std::uint8_t, std::uint16_t> cursor(s, 4, false, first, -1, first_member);
      if (!cursor.valid()) continue;
      itemset counted, stored, taken;
      auto shared_with = [](const itemset& c, const itemset& before) {
        int shared = 0;
        while (!before.empty() && shared < 3 && c[shared] == before[shared]) ++shared;
        return shared;
      };
      do {
        const itemset c(cursor.candidate(), cursor.candidate() + 4);
        if (rng() % 2 == 0) {
          ASSERT_EQ(cursor.share_with_stored(), shared_with(c, stored)) << seed << " " << first;
          stored = c;
        }
        if (rng() % 4 == 0) {
          ASSERT_EQ(cursor.take_row_change(), shared_with(c, taken)) << seed << " " << first;
          taken = c;
        }
        if (rng() % 3 != 0) continue;
        ASSERT_EQ(cursor.share_with_counted(), shared_with(c, counted)) << seed << " " << first;
        counted = c;
      } while (cursor.advance());
    }
  }
}

}  // namespace
