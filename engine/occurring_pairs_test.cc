#include "engine/occurring_pairs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

using pair_map = std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t>;

// Every row, as visited: the pairs in visiting order with their counts.
template <class T>
std::vector<std::pair<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t>> visited(
    occurring_pairs<T>& pairs) {
  std::vector<std::pair<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t>> out;
  pairs.for_each_row([&](std::uint32_t a, const T* seconds, const std::uint32_t* counts,
                         std::size_t m) {
    EXPECT_GT(m, 0u) << "row " << a << " visited without pairs";
    for (std::size_t i = 0; i < m; ++i) out.push_back({{a, seconds[i]}, counts[i]});
  });
  return out;
}

// Random transactions counted both ways: every pair that occurs, once, in
// lexicographic order, with its count. Short rows are sorted, rows touching many
// items read in order; n = 255 puts the sentinel at the largest 8-bit value.
// With a block [first, end), only its rows.
template <class T>
void check_against_brute_force(std::uint32_t n, int n_trans, int max_len, unsigned seed,
                               std::uint32_t first = 0, std::uint32_t end = UINT32_MAX) {
  std::mt19937 rng(seed);
  if (end == UINT32_MAX) end = n;
  occurring_pairs<T> pairs(n, first, end, 0);
  pair_map expected;
  for (int t = 0; t < n_trans; ++t) {
    std::vector<T> items;
    const int len = 2 + static_cast<int>(rng() % (max_len - 1));
    for (int i = 0; i < len; ++i) items.push_back(static_cast<T>(rng() % n));
    if (t % 7 == 0) items.push_back(static_cast<T>(n - 1));  // the last item: no successor
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    if (items.size() < 2) continue;
    pairs.add(items.data(), static_cast<std::uint32_t>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
      for (std::size_t j = i + 1; j < items.size(); ++j)
        if (items[i] >= first && items[i] < end) ++expected[{items[i], items[j]}];
  }
  const auto got = visited(pairs);
  ASSERT_EQ(got.size(), expected.size()) << n << " " << seed;
  std::size_t i = 0;
  for (const auto& [pair, count] : expected) {
    ASSERT_EQ(got[i].first, pair) << n << " " << seed << " at " << i;
    ASSERT_EQ(got[i].second, count) << pair.first << " " << pair.second;
    ++i;
  }
}

TEST(OccurringPairs, CountsEveryOccurringPairOnceInOrder) {
  check_against_brute_force<std::uint8_t>(255, 300, 12, 1);
  check_against_brute_force<std::uint8_t>(3, 50, 3, 2);
  check_against_brute_force<std::uint16_t>(1000, 2000, 6, 3);    // sparse rows: sorted
  check_against_brute_force<std::uint16_t>(60, 500, 40, 4);      // dense rows: read in order
  check_against_brute_force<std::uint32_t>(70000, 3000, 5, 5);
  // Rows with hundreds of seconds, handed over in pieces: read in order, sorted.
  check_against_brute_force<std::uint16_t>(700, 20, 350, 8);
  check_against_brute_force<std::uint16_t>(20000, 20, 400, 9);
  // Dense rows read four counters at a time: 1 to 3 left after the last four,
  // and rows starting anywhere within a four.
  for (std::uint32_t n = 61; n <= 64; ++n) check_against_brute_force<std::uint8_t>(n, 300, 30, n);
  // Fewer positions than the indexing fetches ahead of itself; none: no row visited.
  for (int n_trans = 0; n_trans <= 6; ++n_trans)
    check_against_brute_force<std::uint32_t>(40, n_trans, 4, 20 + n_trans);
}

TEST(OccurringPairs, BlockCountsOnlyItsRows) {
  for (auto [first, end] : {std::pair{0u, 1u}, {0u, 30u}, {30u, 31u}, {17u, 59u}, {59u, 60u}})
    check_against_brute_force<std::uint8_t>(60, 400, 20, 6 + first, first, end);
  check_against_brute_force<std::uint16_t>(1000, 2000, 6, 7, 400, 1000);
}

TEST(OccurringPairs, MemoryFollowsTheOccurrences) {
  // Retail at support 5: 10,988 items, 908,576 occurrences, 88,162 transactions.
  EXPECT_LT(occurring_pairs_bytes(10988, 908576, 88162, 2), std::uint64_t{8} << 20);
  EXPECT_EQ(occurring_pairs_bytes(10, 3, 0, 1), 3 * 1 + 3 * 4 + 10 * 9u);
  // Positions are 32-bit: more kept items than that cannot be counted this way.
  EXPECT_EQ(occurring_pairs_bytes(10, std::uint64_t{1} << 32, 0, 4), UINT64_MAX);
}

}  // namespace
