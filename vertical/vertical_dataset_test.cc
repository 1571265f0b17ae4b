#include "vertical/vertical_dataset.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
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

// A rank decides on the whole data but allocates for its own share: of
// 100,000 transactions, 1,000 take ceil(1000/32) = 32 words a row where one
// process's would hold 3,125; a rank with no transaction holds no row word at
// all, yet counts as allocated (its filling pass fills nothing). The fit and
// the progress rows keep the whole data's size; a position past the share is
// refused, not written into the next row.
TEST(VerticalDataset, ARankMatrixHoldsOnlyItsShareOfTheTransactions) {
  struct Case {
    std::uint32_t n, whole, share, words, whole_words;
  };
  for (const Case& c : {Case{40, 100000, 1000, 32, 3125}, Case{5, 640, 0, 0, 20}}) {
    SCOPED_TRACE("share " + std::to_string(c.share));
    vertical_dataset<std::uint16_t> data;
    ASSERT_TRUE(data.fits_in_memory(c.n, c.whole, std::uint64_t{c.whole} * 3, kAmpleMemory,
                                    vertical_layout::bit_matrix));
    const tx_list trans = sparse_transactions(1, c.n, c.share);
    data.allocate(c.share, occurrences_of(trans));
    EXPECT_TRUE(data.allocated());
    EXPECT_EQ(data.matrix.n_words, c.words);
    EXPECT_EQ(data.matrix.whole_words, c.whole_words);
    EXPECT_EQ(data.held_bytes(), std::uint64_t{c.n} * c.words * 4);
    EXPECT_EQ(data.reported_bytes(), std::uint64_t{c.n} * c.whole_words * 4);
    fill(data, trans);
    for (std::uint32_t i = 0; i < c.n; ++i) {
      std::uint32_t set = 0;
      for (std::uint32_t w = 0; w < data.matrix.n_words; ++w)
        set += static_cast<std::uint32_t>(__builtin_popcount(data.matrix.row(i)[w]));
      std::uint32_t expected = 0;
      for (const auto& t : trans)
        for (std::uint16_t x : t) expected += x == i;
      EXPECT_EQ(set, expected) << i;
    }
    EXPECT_FALSE(data.try_make_compact(c.n));
    const std::uint16_t t[] = {0, 1};
    const std::uint32_t end = c.words * 32;
    if (end > 0) data.add_transaction(t, 2, end - 1);
    EXPECT_EQ(error_of<std::out_of_range>([&] { data.add_transaction(t, 2, end); }),
              "vertical dataset: transaction position " + std::to_string(end) + " past " +
                  std::to_string(c.words) + " words");
  }
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
