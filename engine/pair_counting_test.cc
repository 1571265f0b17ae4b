#include "engine/pair_counting.h"

#include <gtest/gtest.h>

#include "engine/occurring_pairs.h"
#include "tests/support/run_error_of.h"

namespace {

TEST(PairCounting, IndexDoesNotOverflowForLargeItemCounts) {
  // Beyond 46341 items n(n-1) no longer fits 31 bits; rows must still abut.
  for (std::uint64_t n : {46342ull, 65535ull, 65536ull, 100000ull, 5000000ull}) {
    EXPECT_EQ(pair_index(0, 1, n), 0u);
    EXPECT_EQ(pair_index(n - 2, n - 1, n), number_of_pairs(n) - 1) << n;
    for (std::uint64_t a : {std::uint64_t{1}, n / 3, n / 2, n - 2})
      ASSERT_EQ(pair_index(a, a + 1, n), pair_index(a - 1, n - 1, n) + 1) << n << " " << a;
  }
}

pair_counting_sizes sizes_of(std::uint64_t n, std::uint64_t occurrences, std::uint64_t counter) {
  pair_counting_sizes s;
  s.items = n;
  s.occurrences = occurrences;
  s.transactions = occurrences / 4;
  s.item_bytes = 2;
  s.counter_bytes = counter;
  return s;
}

std::uint64_t triangle_bytes(const pair_counting_sizes& s) {
  return number_of_pairs(s.items) * s.counter_bytes;
}
std::uint64_t occurring_bytes(const pair_counting_sizes& s) {
  return occurring_pairs_bytes(s.items, s.occurrences, s.transactions, s.item_bytes);
}

TEST(PairCounting, PlanTakesTheSmallerWayThatFits) {
  constexpr std::uint64_t kLarge = std::uint64_t{1} << 40;
  // Few items, many occurrences (chess, mushroom): the triangle.
  const pair_counting_sizes dense = sizes_of(75, 3196 * 37, 2);
  EXPECT_EQ(plan_pair_counting(dense, kLarge).method, pair_method::triangle);
  // Retail at support 5: 60M counters against 908k occurrences.
  const pair_counting_sizes retail = sizes_of(10988, 908576, 4);
  const pair_counting_plan sparse = plan_pair_counting(retail, kLarge);
  EXPECT_EQ(sparse.method, pair_method::occurring);
  EXPECT_EQ(sparse.passes(), 1u);
  // The smaller way is taken only where it fits; the larger one where only it fits.
  EXPECT_EQ(plan_pair_counting(dense, occurring_bytes(dense)).method, pair_method::triangle);
  EXPECT_EQ(plan_pair_counting(retail, occurring_bytes(retail)).method, pair_method::occurring);
  const pair_counting_sizes triangle_wins = sizes_of(1000, 10000000, 1);
  ASSERT_LT(triangle_bytes(triangle_wins), occurring_bytes(triangle_wins));
  EXPECT_EQ(plan_pair_counting(triangle_wins, triangle_bytes(triangle_wins)).method,
            pair_method::triangle);
  EXPECT_EQ(plan_pair_counting(triangle_wins, triangle_bytes(triangle_wins) - 1).method,
            pair_method::blocks);
}

// Many items in sparse data larger than the budget: blocks of the occurring
// pairs take a few passes where the triangle's rows would take hundreds.
TEST(PairCounting, PlanCutsTheOccurringPairsWhenThatTakesFewerPasses) {
  constexpr std::uint64_t kMiB = 1 << 20;
  const pair_counting_sizes many = sizes_of(20000, 200000, 1);
  const pair_counting_plan plan = plan_pair_counting(many, kMiB);
  EXPECT_EQ(plan.method, pair_method::occurring_blocks);
  EXPECT_EQ(plan.estimated_passes, 3u);
  // Where the per-item arrays take more than half the budget, the triangle's rows.
  EXPECT_EQ(plan_pair_counting(sizes_of(100000, 400000, 1), kMiB).method, pair_method::blocks);
  // Where the triangle takes fewer passes, the triangle's rows.
  EXPECT_EQ(plan_pair_counting(sizes_of(2000, 1000000, 1), kMiB).method, pair_method::blocks);
}

TEST(PairCounting, RowsAreCutIntoTheLongestBlocksThatFit) {
  const std::vector<std::uint64_t> rows = {5, 1, 4, 0, 6, 2, 2, 3};
  EXPECT_EQ(cut_rows(rows, 6), (std::vector<std::uint32_t>{0, 2, 4, 5, 7, 8}));
  EXPECT_EQ(cut_rows(rows, 100), (std::vector<std::uint32_t>{0, 8}));
  EXPECT_EQ(cut_rows(rows, 5), std::vector<std::uint32_t>{});  // row 4 alone is too large
  EXPECT_EQ(cut_rows({}, 5), (std::vector<std::uint32_t>{0, 0}));
}

// Blocks cover the rows 0 .. n-1 in order, each within the budget and as long as
// it may be: one more row would not fit.
TEST(PairCounting, BlocksCoverTheRowsEachAsLargeAsTheBudgetAllows) {
  for (std::uint64_t n : {2ull, 3ull, 100ull, 1001ull, 999881ull}) {
    for (std::uint64_t counter : {1ull, 4ull}) {
      const pair_counting_sizes s = sizes_of(n, std::uint64_t{1} << 33, counter);
      for (std::uint64_t budget : {(n - 1) * counter, (n - 1) * counter * 3 + 1,
                                   triangle_bytes(s) / 7 + (n - 1) * counter}) {
        const pair_counting_plan plan = plan_pair_counting(s, budget);
        ASSERT_EQ(plan.method, budget >= triangle_bytes(s) ? pair_method::triangle
                                                           : pair_method::blocks)
            << n;
        ASSERT_EQ(plan.first_items.front(), 0u);
        ASSERT_EQ(plan.first_items.back(), n);
        std::uint64_t rows_seen = 0;
        for (std::uint32_t p = 0; p < plan.passes(); ++p) {
          const std::uint64_t first = plan.first_items[p], end = plan.first_items[p + 1];
          ASSERT_LT(first, end) << n << " " << budget << " pass " << p;
          ASSERT_EQ(first, rows_seen);
          std::uint64_t counters = 0;  // row a holds the pairs (a, a+1) .. (a, n-1)
          for (std::uint64_t a = first; a < end; ++a) counters += n - 1 - a;
          ASSERT_LE(counters * counter, budget) << n << " " << budget << " pass " << p;
          if (end + 1 < n) {
            ASSERT_GT((counters + n - 1 - end) * counter, budget) << n << " pass " << p;
          }
          rows_seen = end;
        }
      }
    }
  }
}

TEST(PairCounting, NotEvenOneRowFittingIsRefusedWithOneLine) {
  const pair_counting_sizes s = sizes_of(100000, std::uint64_t{1} << 33, 4);
  EXPECT_EQ(run_error_of([&] { plan_pair_counting(s, 99999 * 4 - 1); }),
            "too many frequent items (100000): pair counters need 19074 MiB");
  EXPECT_EQ(plan_pair_counting(s, 99999 * 4).first_items[1], 1u);
}

// The counters of a block of rows address exactly the block's slice of the
// triangle: every pair of its rows once, in the triangle's order, none outside;
// the whole triangle's indices run from 0 to number_of_pairs(n) - 1.
TEST(PairCounting, BlockCountersHoldExactlyTheirRows) {
  for (std::uint64_t n : {2ull, 3ull, 5ull, 255ull, 256ull}) {
    for (std::uint64_t first = 0; first < n; first += 1 + n / 5) {
      for (std::uint64_t end : {first + 1, (first + n) / 2 + 1, n}) {
        if (end > n || end <= first) continue;
        pair_counters<std::uint16_t> rows(n, first, end);
        const std::uint64_t base = first + 1 < n ? pair_index(first, first + 1, n) : 0;
        std::uint64_t expected = 0;
        for (std::uint64_t a = first; a < end; ++a)
          for (std::uint64_t b = a + 1; b < n; ++b) {
            ASSERT_EQ(&rows.row(a)[b], rows.pair_counts + expected) << n << " " << a << " " << b;
            ASSERT_EQ(pair_index(a, b, n), base + expected) << n << " " << a << " " << b;
            ASSERT_EQ(rows.count(a, b), 0);
            ++expected;
          }
        EXPECT_EQ(rows.n_pairs, expected) << n << " " << first << " " << end;
        if (first == 0 && end == n) {
          EXPECT_EQ(expected, number_of_pairs(n)) << n;
        }
      }
    }
  }
}

}  // namespace
