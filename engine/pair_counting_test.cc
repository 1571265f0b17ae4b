#include "engine/pair_counting.h"

#include <gtest/gtest.h>

#include "tests/support/run_error_of.h"

namespace {

TEST(PairCounting, IndexEnumeratesTheTriangleInOrder) {
  for (std::uint64_t n : {2, 3, 254, 255, 256}) {
    std::uint64_t expected = 0;
    for (std::uint64_t a = 0; a < n; ++a)
      for (std::uint64_t b = a + 1; b < n; ++b) ASSERT_EQ(pair_index(a, b, n), expected++) << n;
    EXPECT_EQ(expected, number_of_pairs(n));
  }
}

TEST(PairCounting, IndexDoesNotOverflowForLargeItemCounts) {
  // Beyond 46341 items n(n-1) no longer fits 31 bits; rows must still abut.
  for (std::uint64_t n : {46342ull, 65535ull, 65536ull, 100000ull, 5000000ull}) {
    EXPECT_EQ(pair_index(0, 1, n), 0u);
    EXPECT_EQ(pair_index(n - 2, n - 1, n), number_of_pairs(n) - 1) << n;
    for (std::uint64_t a : {std::uint64_t{1}, n / 3, n / 2, n - 2})
      ASSERT_EQ(pair_index(a, a + 1, n), pair_index(a - 1, n - 1, n) + 1) << n << " " << a;
  }
}

}  // namespace
