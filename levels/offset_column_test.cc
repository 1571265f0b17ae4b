#include "levels/offset_column.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Every entry and every upper bound of column agree with the plain array.
template <class V>
void expect_same(const offset_column<V>& column, const std::vector<V>& plain) {
  ASSERT_EQ(column.size(), plain.size());
  for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(column[i], plain[i]) << i;
  std::vector<V> probes = plain;
  for (V v : plain) probes.push_back(v + 1);
  probes.push_back(0);
  for (V v : probes)
    ASSERT_EQ(column.upper_bound(v),
              static_cast<std::size_t>(std::upper_bound(plain.begin(), plain.end(), v) -
                                       plain.begin()))
        << v;
}

// Steps below 65,536 across several blocks stay narrow; raising the last entry
// (at a block's first entry and inside a block) moves it alone.
TEST(OffsetColumn, NarrowAcrossBlocksAndRaisedLastEntries) {
  offset_column<std::uint32_t> column;
  std::vector<std::uint32_t> plain;
  std::uint32_t v = 3;
  for (int i = 0; i < 1000; ++i) {
    v += static_cast<std::uint32_t>(1 + (i * 37) % 250);
    column.push_back(v);
    plain.push_back(v);
    if (i % 7 == 0 || i % 256 == 0) {
      v += 5;
      column.set_back(v);
      plain.back() = v;
    }
    if (i % 5 == 0) {
      column.increment_back();
      ++plain.back();
      ++v;
    }
  }
  EXPECT_FALSE(column.wide());
  expect_same(column, plain);
  EXPECT_LT(column.capacity_bytes(), plain.size() * 3);
}

// An entry 65,536 or more above its block's base, pushed, raised or
// incremented there, turns the column wide with every earlier entry kept (and
// 65,535 above still fits); a column built wide stays wide and its data() is the
// entries.
TEST(OffsetColumn, WidensWhereSixteenBitsDoNotReach) {
  // Entry 260 is the fifth of the second block, whose base (entry 256) is 512.
  const int far = 512 + 65536;
  for (int how = 0; how < 3; ++how) {
    offset_column<int> column;
    std::vector<int> plain;
    for (int i = 0; i < 300; ++i) {
      const int v = i < 260 ? i * 2 : far + i;
      if (i != 260 || how == 0) {
        column.push_back(v);
      } else if (how == 1) {
        column.push_back(600);
        column.set_back(v);
      } else {
        column.push_back(far - 1);
        EXPECT_FALSE(column.wide());
        column.increment_back();
        column.increment_back();
        column.set_back(v);
      }
      plain.push_back(v);
      if (i == 259) {
        EXPECT_FALSE(column.wide());
      }
    }
    EXPECT_TRUE(column.wide()) << how;
    expect_same(column, plain);
  }
  offset_column<int> wide(true);
  for (int v : {1, 4, 9}) wide.push_back(v);
  EXPECT_TRUE(wide.wide());
  EXPECT_EQ(std::vector<int>(wide.data(), wide.data() + 3), (std::vector<int>{1, 4, 9}));
}

// A block's first entry may lie any distance above the previous block.
TEST(OffsetColumn, BlockBasesTakeLargeJumps) {
  offset_column<std::uint32_t> column;
  std::vector<std::uint32_t> plain;
  for (std::uint32_t i = 0; i < 1024; ++i) {
    const std::uint32_t v = (i / 256) * 3000000000u / 4 + i;
    column.push_back(v);
    plain.push_back(v);
  }
  EXPECT_FALSE(column.wide());
  expect_same(column, plain);
}

}  // namespace
