#include "levels/subset_cursor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "levels/candidate_cursor.h"
#include "tests/support/itemsets.h"

namespace {

using level = frequent_level<std::uint8_t, std::uint16_t>;

// Each m-itemset over 0..n-1 with probability 1/density.
level random_level(std::mt19937& rng, int m, std::uint8_t n, unsigned density) {
  typed_constraints<std::uint8_t> table;
  level s(m);
  for (const auto& v : subsets_of<std::uint8_t>(n, m))
    if (rng() % density == 0) s.add_itemset(v.data(), 1, table);
  return s;
}

// What a walk saw: its rows, the rows whose subsets were all stored, and the
// subsets asked for and found.
struct walk_counts {
  int rows = 0, rows_all_found = 0, asked = 0, found = 0;
};

// Walks the k-candidates of previous from group first to end (-1: the last)
// and asks subsets for the subset without each prefix position p that
// ask(rows so far, p) picks, from k-3 down to 0 or from 0 up: every answer
// must be the index a lookup finds, or -1. The whole test of each row must
// tell whether a lookup finds every such subset.
template <class T, class Ask>
void check_walk(const frequent_level<T, std::uint16_t>& previous,
                subset_cursor<T, std::uint16_t>& subsets, int k, int first, int end, bool downward,
                Ask ask, walk_counts& counts) {
  candidate_cursor<T, std::uint16_t> cursor(previous, k, false, first, end);
  if (!cursor.valid()) return;  // groups that join nothing (on sparse levels): no rows
  // The whole test walks a cursor of its own: a subset cursor takes the
  // changes of rows from the walk it reads.
  candidate_cursor<T, std::uint16_t> twin(previous, k, false, first, end);
  subset_cursor<T, std::uint16_t> whole(previous, k);
  std::vector<T> subset(static_cast<std::size_t>(k - 1));
  do {
    const T* cand = cursor.candidate();
    bool all = true;
    for (int i = 0; i <= k - 3; ++i) {
      const int p = downward ? k - 3 - i : i;
      for (int q = 0, w = 0; q < k; ++q)
        if (q != p) subset[static_cast<std::size_t>(w++)] = cand[q];
      int index = -1;
      const bool found = previous.lookup(subset.data(), nullptr, nullptr, &index);
      all = all && found;
      if (!ask(counts.rows, p)) continue;
      ASSERT_EQ(subsets.find_without(cursor, p), found ? index : -1)
          << "k " << k << " groups " << first << ".." << end << " row " << counts.rows << " p "
          << p;
      ++counts.asked;
      counts.found += found;
    }
    ASSERT_EQ(whole.others_stored(twin), all) << "k " << k << " row " << counts.rows;
    ++counts.rows;
    counts.rows_all_found += all;
  } while (cursor.advance() && twin.advance());
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

// Group ranges of a level of g groups for the walks of one cursor.
walks back_and_on(int g) {
  return walks{{g / 3, g / 3 + 12}, {g / 3, g / 3 + 12}, {0, -1}, {g / 2, -1}};
}
walks ranges(int g) { return walks{{0, -1}, {g / 3, g / 2}, {g / 4, -1}}; }
walks whole_join(int) { return walks{{0, -1}}; }
walks on_and_back(int g) { return walks{{g / 2, -1}, {0, g / 3}, {g / 4, g / 2}, {0, -1}}; }

// Random levels of k-1 items over 0..n-1, sparse and dense, each walked along
// group ranges (start anywhere, after, before and at the group the walk before
// started at, and go back as well as on) by one cursor, with positions asked
// by a rule or left unasked for random stretches of rows. A search resumed
// after the row's prefix changed before, at or after a dropped position must
// descend again from where the prefixes part, not from where the last row's
// did; with short prefixes (one or two items) the groups of a row's subsets
// are siblings under the root or one node, and a search resumed among them
// must start from the one it reached, including on the first row, and must
// not resume past the item sought when the walk went back.
TEST(SubsetCursor, FindsEverySubsetALookupFinds) {
  struct Case {
    std::uint32_t seed;
    int k;
    std::uint8_t n;
    std::vector<unsigned> densities;
    bool downward;
    walks (*walks_of)(int groups);
    unsigned ask_of, unasked;  // ask when rng() % ask_of >= unasked (0: a fixed rule)
    int least_found;           // on each level, over its walks
  };
  const Case cases[] = {
      {11, 5, 13, {1, 2, 4, 9}, true, back_and_on, 0, 0, 10},
      {21, 6, 12, {1, 2, 3}, false, ranges, 5, 3, 20},
      {31, 3, 16, {1, 2, 3}, false, whole_join, 3, 1, 10},
      {32, 4, 16, {1, 2, 3}, false, whole_join, 3, 1, 10},
      {41, 8, 13, {1, 2, 5}, true, on_and_back, 4, 1, 50},
  };
  for (const Case& c : cases) {
    std::mt19937 rng(c.seed);
    auto ask = [&](int row, int p) {
      return c.ask_of == 0 ? (row + p) % 4 != 3 : rng() % c.ask_of >= c.unasked;
    };
    std::vector<std::vector<walk_counts>> seen;
    ASSERT_NO_FATAL_FAILURE(
        check_levels(c.k, c.n, c.densities, rng, c.downward, c.walks_of, ask, seen));
    for (std::size_t d = 0; d < seen.size(); ++d) {
      walk_counts sum;
      for (const walk_counts& w : seen[d]) {
        sum.found += w.found;
        sum.rows += w.rows;
        sum.rows_all_found += w.rows_all_found;
      }
      SCOPED_TRACE("seed " + std::to_string(c.seed) + " density " + std::to_string(c.densities[d]));
      if (c.densities[d] < 9) {  // the sparsest level joins little
        EXPECT_GT(sum.found, c.least_found);
      }
      // Density 1: every subset is stored; sparser levels miss some.
      if (c.densities[d] == 1) {
        EXPECT_EQ(sum.rows_all_found, sum.rows);
      } else {
        EXPECT_LT(sum.rows_all_found, sum.rows);
      }
    }
  }
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
  for (const auto& subset : subsets_of<std::uint8_t>(k + 3, k - 1)) {
    const std::vector<T> v(subset.begin(), subset.end());
    if (rng() % 4 != 0) previous.add_itemset(v.data(), 1, table);
  }
  subset_cursor<T, std::uint16_t> subsets(previous, k);
  walk_counts walk;
  ASSERT_NO_FATAL_FAILURE(check_walk(
      previous, subsets, k, 0, -1, true, [&](int, int) { return rng() % 5 != 0; }, walk));
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
