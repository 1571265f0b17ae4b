#include "levels/support_column.h"

#include <gtest/gtest.h>

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

}  // namespace
