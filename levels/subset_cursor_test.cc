#include "levels/subset_cursor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "levels/candidate_cursor.h"

namespace {

using level = frequent_level<std::uint8_t, std::uint16_t>;

// Adds each m-itemset over 0..n-1 with probability 1/density, in lexicographic
// order, extending v from position at.
void add_random(level& s, std::mt19937& rng, std::uint8_t n, unsigned density, int m,
                std::uint8_t (&v)[8], int at) {
  typed_constraints<std::uint8_t> table;
  for (std::uint8_t a = at == 0 ? 0 : v[at - 1] + 1; a < n; ++a) {
    v[at] = a;
    if (at + 1 < m)
      add_random(s, rng, n, density, m, v, at + 1);
    else if (rng() % density == 0)
      s.add_itemset(v, 1, table);
  }
}

level random_level(std::mt19937& rng, int m, std::uint8_t n, unsigned density) {
  level s(m);
  std::uint8_t v[8];
  add_random(s, rng, n, density, m, v, 0);
  return s;
}

// What a walk saw: its rows, the rows whose asked subsets were all stored,
// and the subsets asked for and found.
struct walk_counts {
  int rows = 0, rows_all_found = 0, asked = 0, found = 0;
};

// Walks the k-candidates of previous from group first to end (-1: the last)
// and asks subsets for the subset without each prefix position p that
// ask(rows so far, p) picks, from k-3 down to 0 or from 0 up: every answer
// must be the index a lookup finds, or -1.
template <class T, class Ask>
void check_walk(const frequent_level<T, std::uint16_t>& previous,
                subset_cursor<T, std::uint16_t>& subsets, int k, int first, int end,
                bool downward, Ask ask, walk_counts& counts) {
  candidate_cursor<T, std::uint16_t> cursor(previous, k, false, first, end);
  if (!cursor.valid()) return;  // groups that join nothing (on sparse levels): no rows
  std::vector<T> subset(static_cast<std::size_t>(k - 1));
  do {
    const T* cand = cursor.candidate();
    bool all = true;
    for (int i = 0; i <= k - 3; ++i) {
      const int p = downward ? k - 3 - i : i;
      if (!ask(counts.rows, p)) continue;
      for (int q = 0, w = 0; q < k; ++q)
        if (q != p) subset[static_cast<std::size_t>(w++)] = cand[q];
      int index = -1;
      const bool found = previous.lookup(subset.data(), nullptr, nullptr, &index);
      ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1)
          << "k " << k << " groups " << first << ".." << end << " row " << counts.rows << " p "
          << p;
      ++counts.asked;
      counts.found += found;
      all = all && found;
    }
    ++counts.rows;
    counts.rows_all_found += all;
  } while (cursor.advance());
}

using walks = std::vector<std::pair<int, int>>;  // group ranges, end -1: to the last

// For each density, a random level of k-1 items over 0..n-1 walked along the
// group ranges walks_of(groups) gives, by one cursor that serves every walk
// (carrying its search positions from group to group only forward); seen gets
// each walk's counts, level after level.
template <class WalksOf, class Ask>
void check_levels(int k, std::uint8_t n, const std::vector<unsigned>& densities, std::mt19937& rng,
                  bool downward, WalksOf walks_of, Ask ask,
                  std::vector<std::vector<walk_counts>>& seen) {
  for (unsigned density : densities) {
    SCOPED_TRACE("k " + std::to_string(k) + " density " + std::to_string(density));
    const level previous = random_level(rng, k - 1, n, density);
    subset_cursor<std::uint8_t, std::uint16_t> subsets(previous, k);
    seen.emplace_back();
    for (const auto& [first, end] : walks_of(previous.number_of_groups())) {
      seen.back().emplace_back();
      ASSERT_NO_FATAL_FAILURE(
          check_walk(previous, subsets, k, first, end, downward, ask, seen.back().back()));
    }
  }
}

// Whole join walks and walks of group ranges, which start anywhere, after,
// before and at the group the walk before started at, on sparse and dense
// levels: the cursor must not depend on being asked every position.
TEST(SubsetCursor, FindsEverySubsetALookupFinds) {
  std::mt19937 rng(11);
  std::vector<std::vector<walk_counts>> seen;
  ASSERT_NO_FATAL_FAILURE(check_levels(
      5, 13, {1, 2, 4, 9}, rng, true,
      [](int g) {
        return walks{{g / 3, g / 3 + 12}, {g / 3, g / 3 + 12}, {0, -1}, {g / 2, -1}};
      },
      [](int row, int p) { return (row + p) % 4 != 3; }, seen));
  for (std::size_t d = 0; d < seen.size(); ++d)
    for (const walk_counts& w : seen[d]) {
      EXPECT_TRUE(w.rows == 0 || w.rows > 5) << w.rows;
      if (d == 0) {
        EXPECT_EQ(w.rows_all_found, w.rows);  // density 1: every subset is stored
      }
    }
}

// Deeper prefixes, with positions left unasked for random stretches of rows:
// a search resumed after the row's prefix changed before, at or after the
// dropped position must descend again from where the prefixes part, not from
// where the last row's did.
TEST(SubsetCursor, ResumesAfterRowsItWasNotAskedAbout) {
  std::mt19937 rng(21);
  std::vector<std::vector<walk_counts>> seen;
  ASSERT_NO_FATAL_FAILURE(check_levels(
      6, 12, {1, 2, 3}, rng, false,
      [](int g) {
        return walks{{0, -1}, {g / 3, g / 2}, {g / 4, -1}};
      },
      [&](int, int) { return rng() % 5 >= 3; }, seen));
  for (const auto& level_walks : seen)
    for (const walk_counts& w : level_walks) EXPECT_TRUE(w.rows == 0 || w.asked > 20) << w.asked;
}

// Short prefixes (one or two items): the groups of a row's subsets are then
// siblings under the root or under one node, and a search resumed among them
// must start from the one it reached, including on the first row. Deep
// prefixes, walked in ranges that go back as well as on: a search resumed
// among the siblings where the last one for its position stopped must find
// what a lookup finds at every depth the prefix changed at, and must not
// resume past the item sought when the walk went back.
TEST(SubsetCursor, ResumesAmongSiblingsAtEveryDepth) {
  std::mt19937 rng(31);
  for (int k : {3, 4}) {
    std::vector<std::vector<walk_counts>> seen;
    ASSERT_NO_FATAL_FAILURE(check_levels(
        k, 16, {1, 2, 3}, rng, false,
        [](int) {
          return walks{{0, -1}};
        },
        [&](int, int) { return rng() % 3 != 0; }, seen));
    for (const auto& level_walks : seen) EXPECT_GT(level_walks[0].found, 10) << k;
  }
  rng.seed(41);
  std::vector<std::vector<walk_counts>> seen;
  ASSERT_NO_FATAL_FAILURE(check_levels(
      8, 13, {1, 2, 5}, rng, true,
      [](int g) {
        return walks{{g / 2, -1}, {0, g / 3}, {g / 4, g / 2}, {0, -1}};
      },
      [&](int, int) { return rng() % 4 != 0; }, seen));
  for (const auto& level_walks : seen) {
    int found = 0;
    for (const walk_counts& w : level_walks) found += w.found;
    EXPECT_GT(found, 50);
  }
}

// The whole test per candidate equals looking up each subset without an item of
// the prefix.
TEST(SubsetCursor, OthersStoredAgreesWithTheLookupTest) {
  std::mt19937 rng(12);
  const level previous = random_level(rng, 4, 14, 2);
  candidate_cursor<std::uint8_t, std::uint16_t> cursor(previous, 5, false);
  ASSERT_TRUE(cursor.valid());
  subset_cursor<std::uint8_t, std::uint16_t> subsets(previous, 5);
  int agree = 0, kept = 0;
  do {
    const std::uint8_t* cand = cursor.candidate();
    bool expected = true;
    for (int p = 0; p < 3; ++p) {
      std::uint8_t subset[4];
      for (int q = 0, w = 0; q < 5; ++q)
        if (q != p) subset[w++] = cand[q];
      expected = expected && previous.lookup(subset, nullptr, nullptr);
    }
    EXPECT_EQ(subsets.others_stored(cursor), expected);
    ++agree;
    kept += expected;
  } while (cursor.advance());
  EXPECT_GT(kept, 10);
  EXPECT_GT(agree - kept, 10);
}

// Rows of deep levels (prefixes of eight to twelve items, past one word of
// bytes) of 8, 16 and 32-bit items change at every position, sometimes only
// beyond the first word, sometimes far back: the cursor agrees with a lookup
// of every subset, with positions left unasked now and then.
template <class T>
void check_deep_level(int k, std::uint32_t seed) {
  typed_constraints<T> table;
  frequent_level<T, std::uint16_t> previous(k - 1);
  std::mt19937 rng(seed);
  // The (k-1)-subsets of k+3 items, each kept with probability 3/4.
  const int n = k + 3;
  std::vector<T> v(static_cast<std::size_t>(k - 1));
  for (int i = 0; i < k - 1; ++i) v[static_cast<std::size_t>(i)] = static_cast<T>(i);
  for (;;) {
    if (rng() % 4 != 0) previous.add_itemset(v.data(), 1, table);
    int i = k - 2;
    while (i >= 0 && static_cast<int>(v[static_cast<std::size_t>(i)]) == n - (k - 1) + i) --i;
    if (i < 0) break;
    ++v[static_cast<std::size_t>(i)];
    for (int q = i + 1; q < k - 1; ++q)
      v[static_cast<std::size_t>(q)] = static_cast<T>(v[static_cast<std::size_t>(q - 1)] + 1);
  }
  subset_cursor<T, std::uint16_t> subsets(previous, k);
  walk_counts walk;
  ASSERT_NO_FATAL_FAILURE(check_walk(
      previous, subsets, k, 0, -1, true,
      [&](int, int) { return rng() % 5 != 0; }, walk));
  EXPECT_GT(walk.rows, 50) << k;
}

TEST(SubsetCursor, FindsEverySubsetOnDeepLevelsOfEveryItemWidth) {
  for (int k : {9, 10, 11, 13}) {
    check_deep_level<std::uint8_t>(k, 3u + static_cast<std::uint32_t>(k));
    check_deep_level<std::uint16_t>(k, 5u + static_cast<std::uint32_t>(k));
    check_deep_level<std::uint32_t>(k, 7u + static_cast<std::uint32_t>(k));
  }
}

}  // namespace
