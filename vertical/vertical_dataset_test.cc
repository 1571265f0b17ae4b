#include "vertical/vertical_dataset.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/support/run_error_of.h"

namespace {

using tx_list = std::vector<std::vector<std::uint16_t>>;

constexpr std::uint64_t kAmpleMemory = std::uint64_t{1} << 30;

// n_trans transactions over n_items items, each item in one of three.
tx_list sparse_transactions(std::uint32_t seed, std::uint32_t n_items, std::uint32_t n_trans) {
  std::mt19937 rng(seed);
  tx_list trans(n_trans);
  for (auto& t : trans)
    for (std::uint32_t i = 0; i < n_items; ++i)
      if (rng() % 3 == 0) t.push_back(static_cast<std::uint16_t>(i));
  return trans;
}

std::uint64_t occurrences_of(const tx_list& trans) {
  std::uint64_t n = 0;
  for (const auto& t : trans) n += t.size();
  return n;
}

void fill(vertical_dataset<std::uint16_t>& data, const tx_list& trans) {
  for (std::uint32_t t = 0; t < trans.size(); ++t)
    data.add_transaction(trans[t].data(), static_cast<std::uint32_t>(trans[t].size()), t);
  data.filled = static_cast<std::uint32_t>(trans.size());
  data.finish_filling();
}

// A rank decides on the whole data (100,000 transactions) but allocates for
// its own 1,000: the matrix holds ceil(1000/32) = 32 words a row where one
// process's would hold 3,125, while the fit and the progress rows keep the
// whole data's size; a position past the share is refused, not written into
// the next row.
TEST(VerticalDataset, ARankMatrixHoldsOnlyItsShareOfTheTransactions) {
  const std::uint32_t n = 40, whole = 100000, share = 1000;
  vertical_dataset<std::uint16_t> data;
  ASSERT_TRUE(data.fits_in_memory(n, whole, std::uint64_t{whole} * 10, kAmpleMemory,
                                  vertical_layout::bit_matrix));
  const tx_list trans = sparse_transactions(1, n, share);
  data.allocate(share, occurrences_of(trans));
  EXPECT_EQ(data.matrix.n_words, 32u);
  EXPECT_EQ(data.matrix.whole_words, 3125u);
  EXPECT_EQ(data.held_bytes(), std::uint64_t{n} * 32 * 4);
  EXPECT_EQ(data.reported_bytes(), std::uint64_t{n} * 3125 * 4);
  fill(data, trans);
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint32_t set = 0;
    for (std::uint32_t w = 0; w < data.matrix.n_words; ++w)
      set += static_cast<std::uint32_t>(__builtin_popcount(data.matrix.row(i)[w]));
    std::uint32_t expected = 0;
    for (const auto& t : trans)
      for (std::uint16_t x : t) expected += x == i;
    EXPECT_EQ(set, expected) << i;
  }
  const std::uint16_t t[] = {0, 1};
  data.add_transaction(t, 2, 1023);
  EXPECT_EQ(error_of<std::out_of_range>([&] { data.add_transaction(t, 2, 1024); }),
            "vertical dataset: transaction position 1024 past 32 words");
}

// A rank with no transaction of its own holds no row word at all, yet counts
// as allocated (its filling pass fills nothing) and reports the whole size.
TEST(VerticalDataset, ARankWithoutTransactionsHoldsNoRows) {
  vertical_dataset<std::uint16_t> data;
  ASSERT_TRUE(data.fits_in_memory(5, 640, 2000, kAmpleMemory, vertical_layout::bit_matrix));
  data.allocate(0, 0);
  EXPECT_TRUE(data.allocated());
  EXPECT_EQ(data.held_bytes(), 0u);
  EXPECT_EQ(data.reported_bytes(), 5u * 20 * 4);
  fill(data, {});
  EXPECT_FALSE(data.try_make_compact(5));
}

// Tid-lists reserve the filling buffers for the rank's own transactions and
// occurrences, end marks included, and the scan stays within them: a share
// of 500 of 50,000 transactions reserves a hundredth of the whole data's room
// and the buffers never regrow (a buffer one end mark short doubles, holding
// up to three times the copy while it moves).
TEST(VerticalDataset, ARankListsReserveTheirShareAndNeverOutgrowIt) {
  const std::uint32_t n = 30, whole = 50000, share = 500;
  const tx_list trans = sparse_transactions(2, n, share);
  const std::uint64_t occurrences = occurrences_of(trans);
  vertical_dataset<std::uint16_t> data;
  ASSERT_TRUE(data.fits_in_memory(n, whole, occurrences * (whole / share), kAmpleMemory,
                                  vertical_layout::tid_lists));
  ASSERT_TRUE(data.uses_lists);
  data.allocate(share, occurrences);
  const std::uint64_t reserved = (occurrences + 2 * share) * 4;
  EXPECT_EQ(data.lists.buffer_bytes(), reserved);
  fill(data, trans);
  EXPECT_EQ(data.lists.buffer_bytes(), reserved);
  EXPECT_EQ(data.held_bytes(), tid_lists<std::uint16_t>::bytes_for(n, share, occurrences));

  // One process allocates for the whole data it decided on.
  vertical_dataset<std::uint16_t> one;
  ASSERT_TRUE(one.fits_in_memory(n, share, occurrences, kAmpleMemory, vertical_layout::tid_lists));
  one.allocate();
  fill(one, trans);
  EXPECT_EQ(one.lists.buffer_bytes(), reserved);
}

}  // namespace
