#include "engine/frequent_pairs.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

namespace {

// Random pair sets, with empty rows first, last and between, against a set.
TEST(FrequentPairs, FindsExactlyThePairsAdded) {
  std::mt19937 rng(3);
  for (std::uint32_t n : {2u, 3u, 40u, 255u}) {
    std::set<std::pair<std::uint32_t, std::uint32_t>> added;
    frequent_pairs<std::uint8_t> pairs;
    for (std::uint32_t a = 1; a + 1 < n; a += 1 + rng() % 3)
      for (std::uint32_t b = a + 1; b < n; ++b)
        if (rng() % 4 == 0) {
          pairs.add(a, b);
          added.insert({a, b});
        }
    pairs.finish(n);
    EXPECT_EQ(pairs.size(), added.size());
    for (std::uint32_t a = 0; a < n; ++a)
      for (std::uint32_t b = a + 1; b < n; ++b)
        ASSERT_EQ(pairs.contains(a, b), added.count({a, b}) == 1) << n << " " << a << " " << b;
  }
  frequent_pairs<std::uint32_t> none;
  none.finish(5);
  EXPECT_FALSE(none.contains(0, 1));
  EXPECT_FALSE(none.contains(3, 4));
}

}  // namespace
