#include "levels/offset_column.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// Every entry and every upper bound of column agree with the plain array, as
// do the entries read in order (from the start and from inside blocks, spilled
// or not) and both ends of each range.
template <class V>
void expect_same(const offset_column<V>& column, const std::vector<V>& plain) {
  ASSERT_EQ(column.size(), plain.size());
  for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(column[i], plain[i]) << i;
  for (std::size_t from : {std::size_t{0}, std::size_t{5}, std::size_t{33}, plain.size() / 2}) {
    typename offset_column<V>::cursor in_order(column, from);
    for (std::size_t i = from; i < plain.size(); ++i) ASSERT_EQ(in_order.next(), plain[i]) << i;
  }
  for (std::size_t i = 1; i < plain.size(); ++i) {
    V before = 0, at = 0;
    column.around(i, before, at);
    ASSERT_EQ(before, plain[i - 1]) << i;
    ASSERT_EQ(at, plain[i]) << i;
  }
  // The pairs inside the ranges the entries end, over the whole column and
  // over ranges that start and stop inside blocks.
  for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0, plain.size()},
                          {5, plain.size()}, {33, plain.size() / 2 + 3}, {7, 9}}) {
    if (to > plain.size() || from > to) continue;
    std::uint64_t pairs = 0;
    for (std::size_t i = from; i < to; ++i) {
      const std::uint64_t m = static_cast<std::uint64_t>(plain[i] - (i == 0 ? -1 : plain[i - 1]));
      pairs += m * (m - 1) / 2;
    }
    const V before = from == 0 ? static_cast<V>(-1) : plain[from - 1];
    ASSERT_EQ(column.pairs_in_steps(from, to, before), pairs) << from << " " << to;
  }
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

// An entry 65,536 or more above its half block's base, pushed, raised or
// incremented there, turns a half column wide with every earlier entry kept
// (and 65,535 above still fits); a column built wide stays wide and its data()
// is the entries.
TEST(OffsetColumn, WidensWhereSixteenBitsDoNotReach) {
  // Steps of 200 spill every byte block, so the column is half by entry 512.
  // Entry 516 is the fifth of the third half block, whose base (entry 512) is
  // 102,400.
  const int far = 512 * 200 + 65536;
  for (int how = 0; how < 3; ++how) {
    offset_column<int> column;
    std::vector<int> plain;
    for (int i = 0; i < 600; ++i) {
      const int v = i < 516 ? i * 200 : far + i;
      if (i != 516 || how == 0) {
        column.push_back(v);
      } else if (how == 1) {
        column.push_back(515 * 200 + 1);
        column.set_back(v);
      } else {
        column.push_back(far - 1);
        EXPECT_FALSE(column.wide());
        column.increment_back();
        column.increment_back();
        column.set_back(v);
      }
      plain.push_back(v);
      if (i == 515) {
        EXPECT_TRUE(column.half());
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

// Ranges of one to eight entries (deep dense levels) stay in bytes across
// many blocks, including raised entries at a block's first entry and inside
// it: about 1.1 bytes per entry.
TEST(OffsetColumn, ShortRangesTakeAByteEach) {
  offset_column<std::uint32_t> column;
  column.reserve(5000);
  std::vector<std::uint32_t> plain;
  std::uint32_t v = 7;
  for (int i = 0; i < 5000; ++i) {
    v += static_cast<std::uint32_t>(1 + (i * 13) % 5);
    column.push_back(v);
    plain.push_back(v);
    if (i % 32 == 0 || i % 9 == 0) {
      column.increment_back();
      ++plain.back();
      ++v;
    }
    if (i % 11 == 0) {
      v += 2;
      column.set_back(v);
      plain.back() = v;
    }
  }
  EXPECT_FALSE(column.half());
  EXPECT_FALSE(column.wide());
  EXPECT_EQ(column.spilled_blocks(), 0u);
  expect_same(column, plain);
  EXPECT_EQ(column.entry_bytes(), 1u);
  EXPECT_LE(column.capacity_bytes(), offset_column<std::uint32_t>::narrow_bytes(plain.size()));
}

// A long range here and there spills its block only: the entries pushed,
// raised or incremented past 255 above the block's base are all kept, before
// and after the spill, and the blocks after it are bytes again.
TEST(OffsetColumn, ALongRangeSpillsItsBlockOnly) {
  for (int how = 0; how < 3; ++how) {
    offset_column<int> column;
    std::vector<int> plain;
    int v = 0;
    for (int i = 0; i < 2000; ++i) {
      // Entry 40 (the ninth of block 1) and entries 1000-1003 (block 31, whose
      // base is entry 992) lie past a byte's reach; 1000 gets there in three ways.
      const int step = (i == 40 || (i > 1000 && i <= 1003)) ? 500 : i == 1000 ? 402 : 2;
      const int before = v;
      v += step;
      if (i == 1000 && how == 1) {
        column.push_back(before + 100);
        column.set_back(v);
      } else if (i == 1000 && how == 2) {
        column.push_back(before + 102);
        for (int r = 0; r < 300; ++r) column.increment_back();
      } else {
        column.push_back(v);
      }
      plain.push_back(v);
      if (i == 1001) {  // a spilled block's last entry raised
        column.increment_back();
        ++plain.back();
        ++v;
      }
    }
    EXPECT_EQ(column.spilled_blocks(), 2u) << how;
    EXPECT_FALSE(column.half());
    expect_same(column, plain);
  }
}

// Columns built by pushes alone take the layout their entries need: ranges
// averaging over eight entries spill block after block until the column turns
// half (16-bit entries); a block's first entry may lie any distance above the
// previous block; entries of 2^31 and above are bytes above their block's base,
// but such a base does not fit a byte block's base word (its top bit marks a
// spilled block), so the column turns half at the next block. Every entry
// pushed before a change of layout is kept.
TEST(OffsetColumn, PushedEntriesTakeTheLayoutTheyNeed) {
  struct Case {
    const char* what;
    std::uint32_t n;
    std::uint32_t (*entry)(std::uint32_t i);
    bool half;
    bool bytes_at_64;  // still a byte column after its first two blocks
  } cases[] = {
      {"steps of 20", 3000, [](std::uint32_t i) { return i * 20; }, true, false},
      // Jumps of 700M keep every entry ascending and below 2^31.
      {"jumps of 700M a block", 1024,
       [](std::uint32_t i) { return (i / 256) * 700000000u + i; }, false, true},
      {"from 2^31 - 40 on", 200, [](std::uint32_t i) { return 0x80000000u - 40 + i; }, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    offset_column<std::uint32_t> column;
    std::vector<std::uint32_t> plain;
    for (std::uint32_t i = 0; i < c.n; ++i) {
      column.push_back(c.entry(i));
      plain.push_back(c.entry(i));
      if (i == 63 && c.bytes_at_64) {
        EXPECT_FALSE(column.half());
        ASSERT_NO_FATAL_FAILURE(expect_same(column, plain));
      }
    }
    EXPECT_EQ(column.half(), c.half);
    EXPECT_FALSE(column.wide());
    EXPECT_EQ(column.entry_bytes(), c.half ? 2u : 1u);
    if (c.bytes_at_64) {
      EXPECT_EQ(column.spilled_blocks(), 0u);
    }
    expect_same(column, plain);
  }
}

// Appending a column's tail raised by a constant gives the entries and the
// layout (spilled blocks, half or wide) of pushing them one by one, whatever the two columns hold before: the tail may start inside a
// block, in a spilled one or in a half column, and land anywhere in a block.
TEST(OffsetColumn, AShiftedTailAppendsAsItsEntriesPushedOneByOne) {
  // Steps: mostly short, a long one now and then (a spill), or long often
  // enough to turn the column half, or wide.
  const auto step = [](int pattern, int i) -> std::uint32_t {
    switch (pattern) {
      case 0: return static_cast<std::uint32_t>(i % 3);
      case 1: return i % 45 == 44 ? 300u : static_cast<std::uint32_t>(i % 4);
      case 2: return i % 3 == 0 ? 400u : 1u;
      default: return i % 50 == 49 ? 70000u : 2u;
    }
  };
  for (int src_pattern = 0; src_pattern < 4; ++src_pattern)
    for (int dst_pattern = 0; dst_pattern < 4; ++dst_pattern)
      for (std::size_t dst_size : {0, 5, 31, 32, 77})
        for (std::size_t from : {0, 1, 40, 300}) {
          offset_column<std::uint32_t> source;
          std::uint32_t v = 0;
          for (int i = 0; i < 400; ++i) source.push_back(v += step(src_pattern, i));
          offset_column<std::uint32_t> bulk, pushed;
          std::vector<std::uint32_t> plain;
          std::uint32_t w = 0;
          for (std::size_t i = 0; i < dst_size; ++i) {
            w += step(dst_pattern, static_cast<int>(i));
            bulk.push_back(w);
            pushed.push_back(w);
            plain.push_back(w);
          }
          const std::uint32_t add = w + static_cast<std::uint32_t>(dst_pattern);
          bulk.append_shifted(source, from, add);
          for (std::size_t i = from; i < source.size(); ++i) {
            pushed.push_back(source[i] + add);
            plain.push_back(source[i] + add);
          }
          const std::string where = "source " + std::to_string(src_pattern) + " destination " +
                                    std::to_string(dst_pattern) + " size " +
                                    std::to_string(dst_size) + " from " + std::to_string(from);
          ASSERT_NO_FATAL_FAILURE(expect_same(bulk, plain)) << where;
          EXPECT_EQ(bulk.half(), pushed.half()) << where;
          EXPECT_EQ(bulk.wide(), pushed.wide()) << where;
          EXPECT_EQ(bulk.spilled_blocks(), pushed.spilled_blocks()) << where;
        }
}

// Pushes, increments and raises of the last entry in any order give the
// entries of a plain array, whatever the last block became in between: a new
// block, a base moved by a raise of its first entry, a spilled block, a half
// or a wide column (each changes where the inlined appends may write a byte).
TEST(OffsetColumn, MixedAppendsFollowEveryChangeOfTheLastBlock) {
  for (unsigned seed = 0; seed < 12; ++seed) {
    std::mt19937 random(seed);
    // Longer steps more often as the seed grows: byte blocks only, a spill now
    // and then, spills turning the column half, and steps that widen it.
    const std::uint32_t longest = seed < 3 ? 8u : seed < 6 ? 300u : seed < 9 ? 1000u : 80000u;
    offset_column<std::uint32_t> column;
    std::vector<std::uint32_t> plain;
    for (int op = 0; op < 3000; ++op) {
      const unsigned kind = plain.empty() ? 0 : random() % 4;
      const std::uint32_t step =
          random() % 8 == 0 ? random() % (longest + 1) : random() % 3;
      if (kind <= 1) {
        plain.push_back((plain.empty() ? 0 : plain.back()) + step);
        column.push_back(plain.back());
      } else if (kind == 2) {
        ++plain.back();
        column.increment_back();
      } else {
        plain.back() += step;
        column.set_back(plain.back());
      }
      ASSERT_EQ(column.size(), plain.size()) << seed << " " << op;
      ASSERT_EQ(column.back(), plain.back()) << seed << " " << op;
    }
    ASSERT_NO_FATAL_FAILURE(expect_same(column, plain)) << seed;
    if (seed >= 9) {
      EXPECT_TRUE(column.wide()) << seed;
    }
  }
}

}  // namespace
