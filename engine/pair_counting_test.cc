#include "engine/pair_counting.h"

#include <gtest/gtest.h>

#include <string>

#include "dataset/test_dir.h"
#include "engine/engine_test_util.h"
#include "util/error.h"
#include "util/memory.h"

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

TEST(PairCounting, CountersThatCannotFitAreRefusedWithOneLine) {
  set_mem_total_for_testing(std::uint64_t{1} << 30);
  try {
    cand_2_iter<std::uint32_t> pairs(100000);
    ADD_FAILURE() << "no refusal";
  } catch (const run_error& e) {
    EXPECT_STREQ(e.what(), "too many frequent items (100000): pair counters need 19074 MiB");
  }
  cand_2_iter<std::uint8_t> small(1000);  // 0.5 MB fits
  EXPECT_EQ(small.n_pairs, 499500u);
  EXPECT_EQ(small.pair_counts[small.n_pairs - 1], 0);
  set_mem_total_for_testing(0);
}

// Frequent pairs failing a monotone or loose test stay in the store (a longer
// itemset may need them); only anti-monotone failures keep a pair out.
TEST(PairCounting, OnlyAntiMonotoneConstraintsKeepAFrequentPairOutOfTheStore) {
  test_dir dir;
  reset_constraint_tables();
  zax_items items(2);
  GLOBAL_TABLE_K<std::uint8_t> table;
  // Pairs of the data, with their dense ids: item 3 is least frequent (dense 0).
  // Monotone: the pair must hold dense 0. Loose: the pair must not hold dense 2.
  // Anti-monotone: drops the pair (1, 2).
  table.m_table.push_back(new fake_monotone<std::uint8_t>(
      [](const std::vector<std::uint8_t>& v) { return v[0] == 0; }));
  table.lam_table.push_back(new fake_loose<std::uint8_t>(
      [](const std::vector<std::uint8_t>& v) { return v[1] != 2; }, true));
  table.am_table.push_back(new fake_anti_monotone<std::uint8_t>(
      [](const std::vector<std::uint8_t>& v) { return !(v[0] == 1 && v[1] == 2); }));
  write_file("in.dat", "1 2 3\n1 2 3\n2 3 1\n1 2\n1 2\n3 4\n");
  OUTF = "out.txt";
  write_output = true;
  std::uint32_t max_tr_len = 0;
  testing::internal::CaptureStdout();
  first_scan("in.dat", items, max_tr_len, 0);
  const std::size_t levels01 = read_file("out.txt").size();
  ZAX_vertical_dataset<std::uint8_t> vd;
  cand_2_iter<std::uint8_t> pairs(items.n_items);
  const auto level = second_scan<std::uint8_t, std::uint8_t>(static_cast<int>(max_tr_len), items,
                                                             pairs, vd, table);
  testing::internal::GetCapturedStdout();
  // Dense ids: 3 -> 0 (support 3); 1, 2 -> 1, 2 in either order.
  ASSERT_EQ(level->n_itemsets, 2);  // (0,1) and (0,2); (1,2) fails the anti-monotone test
  // (0,1) only is written: (0,2) fails the loose test.
  EXPECT_EQ(parse_output(read_file("out.txt").substr(levels01)).size(), 1u);
  // Both stored pairs credit their items for global pruning; (1,2) credits none.
  EXPECT_EQ(items.global_count, (std::vector<std::uint32_t>{2, 1, 1}));
}

}  // namespace
