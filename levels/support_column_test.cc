#include "levels/support_column.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The records take the top four bits only where the supports leave them
// clear; a packed column gives back each support and record as stored.
TEST(SupportColumn, PackedEntriesGiveBackSupportsAndRecords) {
  EXPECT_TRUE(support_column<std::uint16_t>::fits_records(4095));
  EXPECT_FALSE(support_column<std::uint16_t>::fits_records(4096));
  EXPECT_TRUE(support_column<std::uint8_t>::fits_records(15));
  EXPECT_FALSE(support_column<std::uint8_t>::fits_records(16));
  EXPECT_TRUE(support_column<std::uint32_t>::fits_records((1u << 28) - 1));
  EXPECT_FALSE(support_column<std::uint32_t>::fits_records(1u << 28));

  support_column<std::uint16_t> packed;
  packed.pack_records(true);
  const std::vector<std::uint16_t> supports = {4095, 0, 17, 4095, 2048};
  const std::uint8_t records[] = {0xF, 0, 0xE, 3, 0xF};
  for (std::size_t i = 0; i < supports.size(); ++i) {
    packed.push_back(supports[i]);
    packed.set_last_record(records[i]);
  }
  EXPECT_EQ(packed.values(), supports);
  EXPECT_EQ(packed.most(), 4095);
  for (std::size_t i = 0; i < supports.size(); ++i) {
    EXPECT_EQ(packed[i], supports[i]) << i;
    EXPECT_EQ(packed.record(i), records[i]) << i;
    EXPECT_EQ(packed.data()[i] & packed.mask(), supports[i]) << i;
  }

  // A plain column keeps every bit of its supports.
  support_column<std::uint16_t> plain;
  for (std::uint16_t v : {65535, 4096, 1}) plain.push_back(v);
  EXPECT_EQ(plain.values(), (std::vector<std::uint16_t>{65535, 4096, 1}));
  EXPECT_EQ(plain.most(), 65535);
  EXPECT_EQ(plain.data()[0] & plain.mask(), 65535);
}

// Runs of equal entries of every length around the block size, records that
// break a run of equal supports, and lone values: a folded column reads back
// what a plain one holds, one entry kept per block of equal entries and the
// last pushed always its own (its record is set after the push).
TEST(SupportColumn, FoldedColumnReadsAsAPlainOne) {
  using column = support_column<std::uint16_t>;
  for (const bool packed : {false, true}) {
    column plain, folded;
    plain.pack_records(packed);
    folded.pack_records(packed);
    folded.fold_blocks(true);
    std::uint32_t h = 12345;
    std::uint16_t support = 7;
    for (int run = 0; run < 400; ++run) {
      h = h * 1103515245u + 12345u;
      const int length = run % 3 == 0 ? 1 + static_cast<int>(h >> 16) % 40 : 16 * (run % 5);
      support = static_cast<std::uint16_t>(1 + (support + (h >> 8)) % (packed ? 4000 : 60000));
      for (int i = 0; i < length; ++i) {
        plain.push_back(support);
        folded.push_back(support);
        if (!packed) continue;
        // A record in the middle of some runs breaks their block.
        const std::uint8_t record = run % 7 == 0 && i == length / 2 ? 9 : 2;
        plain.set_last_record(record);
        folded.set_last_record(record);
      }
    }
    ASSERT_EQ(folded.size(), plain.size());
    ASSERT_TRUE(folded == plain);
    for (std::size_t i = 0; i < plain.size(); ++i) {
      ASSERT_EQ(folded[i], plain[i]) << i;
      if (packed) {
        ASSERT_EQ(folded.record(i), plain.record(i)) << i;
      }
    }
    EXPECT_EQ(folded.values(), plain.values());
    EXPECT_EQ(folded.most(), plain.most());
    // A whole block is folded where its entries agree, once an entry follows.
    std::size_t kept = 0;
    const std::size_t blocks = plain.size() / column::kBlock;
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::uint16_t* e = plain.data() + b * column::kBlock;
      const bool equal =
          std::all_of(e, e + column::kBlock, [&](std::uint16_t v) { return v == e[0]; });
      kept += equal && (b + 1) * column::kBlock < plain.size() ? 1 : column::kBlock;
    }
    // Those of the whole blocks: the last block, partly filled, has none.
    EXPECT_EQ(folded.entries_before(blocks * column::kBlock), kept);
    EXPECT_EQ(folded.entries_before(plain.size()), kept);
    EXPECT_LT(kept, plain.size() * 3 / 4);
    EXPECT_NEAR(folded.equal_block_share(), plain.equal_block_share(), 0.1);
    EXPECT_GT(plain.equal_block_share(), 0.3);

    // Appending either layout to either gives the concatenation.
    for (const bool first_folded : {false, true})
      for (const bool second_folded : {false, true}) {
        column a, b;
        for (column* c : {&a, &b}) c->pack_records(packed);
        a.fold_blocks(first_folded);
        b.fold_blocks(second_folded);
        const std::size_t cut = 1000 + 7;
        for (std::size_t i = 0; i < plain.size(); ++i) {
          column& to = i < cut ? a : b;
          to.push_back(plain[i]);
          if (packed) to.set_last_record(plain.record(i));
        }
        a.append(b);
        ASSERT_TRUE(a == plain) << first_folded << second_folded;
      }
  }
}

}  // namespace
