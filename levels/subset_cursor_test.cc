#include "levels/subset_cursor.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "levels/join_cursor.h"

namespace {

using level = frequent_level<std::uint8_t, std::uint16_t>;

// A level of k-1 = 4 items over 0..n-1 holding each itemset with probability 1/density.
level random_level(std::mt19937& rng, std::uint8_t n, unsigned density) {
  typed_constraints<std::uint8_t> table;
  level s(4);
  for (std::uint8_t a = 0; a < n; ++a)
    for (std::uint8_t b = a + 1; b < n; ++b)
      for (std::uint8_t c = b + 1; c < n; ++c)
        for (std::uint8_t d = c + 1; d < n; ++d)
          if (rng() % density == 0) {
            const std::uint8_t v[4] = {a, b, c, d};
            s.add_itemset(v, 1, table);
          }
  return s;
}

// The cursor's answers along whole join walks (and walks of group ranges, which
// start anywhere) equal a lookup of every subset, on sparse and dense levels.
// One cursor serves walks that start after, before and at the same group as the
// walk before: it carries its search positions from group to group only forward.
TEST(SubsetCursor, FindsEverySubsetALookupFinds) {
  std::mt19937 rng(11);
  for (unsigned density : {1u, 2u, 4u, 9u}) {
    const level previous = random_level(rng, 13, density);
    const int n_groups = previous.number_of_groups();
    subset_cursor<std::uint8_t, std::uint16_t> subsets(previous, 5);
    const int third = n_groups / 3;
    const std::vector<std::pair<int, int>> walks = {
        {third, third + 12}, {third, third + 12}, {0, -1}, {n_groups / 2, -1}};
    for (const auto& [first, end] : walks) {
      candidate_cursor<std::uint8_t, std::uint16_t> cursor(previous, 5, false, first, end);
      if (!cursor.valid()) continue;
      int checked = 0, stored = 0;
      do {
        const std::uint8_t* cand = cursor.candidate();
        bool all = true;
        // Ask for the positions in a varying order, some not at all: the
        // cursor must not depend on being asked everything.
        for (int p = 2; p >= 0; --p) {
          if ((checked + p) % 4 == 3) continue;
          std::uint8_t subset[4];
          for (int q = 0, w = 0; q < 5; ++q)
            if (q != p) subset[w++] = cand[q];
          int index = -1;
          const bool found = previous.lookup(subset, nullptr, nullptr, &index);
          ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1);
          all = all && found;
        }
        ++checked;
        stored += all;
      } while (cursor.advance());
      EXPECT_GT(checked, 5);
      if (density == 1) {
        EXPECT_EQ(stored, checked);
      }
    }
  }
}

// A level of 5 items (k-1 of k = 6) over 0..n-1, each itemset kept with
// probability 1/density.
level random_level5(std::mt19937& rng, std::uint8_t n, unsigned density) {
  typed_constraints<std::uint8_t> table;
  level s(5);
  std::uint8_t v[5];
  for (v[0] = 0; v[0] < n; ++v[0])
    for (v[1] = v[0] + 1; v[1] < n; ++v[1])
      for (v[2] = v[1] + 1; v[2] < n; ++v[2])
        for (v[3] = v[2] + 1; v[3] < n; ++v[3])
          for (v[4] = v[3] + 1; v[4] < n; ++v[4])
            if (rng() % density == 0) s.add_itemset(v, 1, table);
  return s;
}

// Deeper prefixes, with positions left unasked for random stretches of rows:
// a search resumed after the row's prefix changed before, at or after the
// dropped position must descend again from where the prefixes part, not from
// where the last row's did.
TEST(SubsetCursor, ResumesAfterRowsItWasNotAskedAbout) {
  std::mt19937 rng(21);
  for (unsigned density : {1u, 2u, 3u}) {
    const level previous = random_level5(rng, 12, density);
    subset_cursor<std::uint8_t, std::uint16_t> subsets(previous, 6);
    const int n_groups = previous.number_of_groups();
    for (const auto& [first, end] : std::vector<std::pair<int, int>>{
             {0, -1}, {n_groups / 3, n_groups / 2}, {n_groups / 4, -1}}) {
      candidate_cursor<std::uint8_t, std::uint16_t> cursor(previous, 6, false, first, end);
      if (!cursor.valid()) continue;
      int checked = 0;
      do {
        const std::uint8_t* cand = cursor.candidate();
        for (int p = 0; p < 4; ++p) {
          if (rng() % 5 < 3) continue;  // unasked on most rows
          std::uint8_t subset[5];
          for (int q = 0, w = 0; q < 6; ++q)
            if (q != p) subset[w++] = cand[q];
          int index = -1;
          const bool found = previous.lookup(subset, nullptr, nullptr, &index);
          ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1)
              << "density " << density << " p " << p;
          ++checked;
        }
      } while (cursor.advance());
      EXPECT_GT(checked, 20);
    }
  }
}

// A level of m items over 0..n-1, each itemset kept with probability 1/density,
// built in lexicographic order by extending v from position at.
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

// Short prefixes (one or two items): the groups of a row's subsets are then
// siblings under the root or under one node, and a search resumed among them
// must start from the one it reached, including on the first row.
TEST(SubsetCursor, FindsSubsetsUnderShortPrefixes) {
  std::mt19937 rng(31);
  for (int k : {3, 4}) {
    for (unsigned density : {1u, 2u, 3u}) {
      level previous(k - 1);
      std::uint8_t v[8];
      add_random(previous, rng, 16, density, k - 1, v, 0);
      subset_cursor<std::uint8_t, std::uint16_t> subsets(previous, k);
      candidate_cursor<std::uint8_t, std::uint16_t> cursor(previous, k, false);
      if (!cursor.valid()) continue;
      int found_some = 0;
      do {
        const std::uint8_t* cand = cursor.candidate();
        for (int p = 0; p < k - 2; ++p) {
          if (rng() % 3 == 0) continue;
          std::uint8_t subset[4];
          for (int q = 0, w = 0; q < k; ++q)
            if (q != p) subset[w++] = cand[q];
          int index = -1;
          const bool found = previous.lookup(subset, nullptr, nullptr, &index);
          ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1)
              << "k " << k << " density " << density << " p " << p;
          found_some += found;
        }
      } while (cursor.advance());
      EXPECT_GT(found_some, 10) << "k " << k << " density " << density;
    }
  }
}

// Deep prefixes, walked in ranges that go back as well as on, with positions
// skipped at random: a search that resumes among the siblings where the last
// one for its position stopped must find what a lookup finds, at every depth
// the prefix changed at, and must not resume past the item sought when the
// walk went back.
TEST(SubsetCursor, ResumesAmongSiblingsAtEveryDepth) {
  std::mt19937 rng(41);
  for (unsigned density : {1u, 2u, 5u}) {
    level previous(7);
    std::uint8_t v[8];
    add_random(previous, rng, 13, density, 7, v, 0);
    const int n_groups = previous.number_of_groups();
    subset_cursor<std::uint8_t, std::uint16_t> subsets(previous, 8);
    int found_some = 0;
    for (const auto& [first, end] : std::vector<std::pair<int, int>>{
             {n_groups / 2, -1}, {0, n_groups / 3}, {n_groups / 4, n_groups / 2}, {0, -1}}) {
      candidate_cursor<std::uint8_t, std::uint16_t> cursor(previous, 8, false, first, end);
      if (!cursor.valid()) continue;
      do {
        const std::uint8_t* cand = cursor.candidate();
        for (int p = 5; p >= 0; --p) {
          if (rng() % 4 == 0) continue;
          std::uint8_t subset[7];
          for (int q = 0, w = 0; q < 8; ++q)
            if (q != p) subset[w++] = cand[q];
          int index = -1;
          const bool found = previous.lookup(subset, nullptr, nullptr, &index);
          ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1)
              << "density " << density << " p " << p;
          found_some += found;
        }
      } while (cursor.advance());
    }
    EXPECT_GT(found_some, 50) << "density " << density;
  }
}

// The whole test per candidate equals looking up each subset without an item of
// the prefix.
TEST(SubsetCursor, OthersStoredAgreesWithTheLookupTest) {
  std::mt19937 rng(12);
  const level previous = random_level(rng, 14, 2);
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

}  // namespace

namespace {

// Rows of deep levels (prefixes of eight to twelve items, past one word of
// bytes) of 8, 16 and 32-bit items change at every position, sometimes only
// beyond the first word, sometimes far back: the cursor agrees with a lookup
// of every subset, with positions left unasked now and then.
template <class T>
void check_deep_level(int k, std::uint32_t seed) {
  using deep = frequent_level<T, std::uint16_t>;
  typed_constraints<T> table;
  deep previous(k - 1);
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
  candidate_cursor<T, std::uint16_t> cursor(previous, k, false);
  ASSERT_TRUE(cursor.valid());
  int checked = 0;
  std::vector<T> subset(static_cast<std::size_t>(k - 1));
  do {
    const T* cand = cursor.candidate();
    for (int p = k - 3; p >= 0; --p) {
      if (rng() % 5 == 0) continue;
      for (int q = 0, w = 0; q < k; ++q)
        if (q != p) subset[static_cast<std::size_t>(w++)] = cand[q];
      int index = -1;
      const bool found = previous.lookup(subset.data(), nullptr, nullptr, &index);
      ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1)
          << k << " " << checked << " " << p;
    }
    ++checked;
  } while (cursor.advance());
  EXPECT_GT(checked, 50) << k;
}

TEST(SubsetCursor, FindsEverySubsetOnDeepLevelsOfEveryItemWidth) {
  for (int k : {9, 10, 11, 13}) {
    check_deep_level<std::uint8_t>(k, 3u + static_cast<std::uint32_t>(k));
    check_deep_level<std::uint16_t>(k, 5u + static_cast<std::uint32_t>(k));
    check_deep_level<std::uint32_t>(k, 7u + static_cast<std::uint32_t>(k));
  }
}

}  // namespace
