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

// A column and the plain array it must equal, changed alike.
template <class V>
struct mirrored {
  offset_column<V> column;
  std::vector<V> plain;
  V back() const { return plain.empty() ? 0 : plain.back(); }
  void push(V v) {
    column.push_back(v);
    plain.push_back(v);
  }
  void increment() {
    column.increment_back();
    ++plain.back();
  }
  void raise(V v) {
    column.set_back(v);
    plain.back() = v;
  }
};

// Steps below 65,536 across several blocks stay narrow, and ranges of one to
// eight entries (deep dense levels) stay in bytes at about 1.1 bytes per
// entry; raising the last entry (at a block's first entry and inside a block)
// moves it alone.
TEST(OffsetColumn, NarrowAndByteColumnsWithRaisedLastEntries) {
  mirrored<std::uint32_t> narrow;
  for (int i = 0; i < 1000; ++i) {
    narrow.push(narrow.back() + 1 + static_cast<std::uint32_t>((i * 37) % 250));
    if (i % 7 == 0 || i % 256 == 0) narrow.raise(narrow.back() + 5);
    if (i % 5 == 0) narrow.increment();
  }
  EXPECT_FALSE(narrow.column.wide());
  expect_same(narrow.column, narrow.plain);
  EXPECT_LT(narrow.column.capacity_bytes(), narrow.plain.size() * 3);

  mirrored<std::uint32_t> bytes;
  bytes.column.reserve(5000);
  for (int i = 0; i < 5000; ++i) {
    bytes.push(bytes.back() + 1 + static_cast<std::uint32_t>((i * 13) % 5));
    if (i % 32 == 0 || i % 9 == 0) bytes.increment();
    if (i % 11 == 0) bytes.raise(bytes.back() + 2);
  }
  EXPECT_FALSE(bytes.column.half());
  EXPECT_FALSE(bytes.column.wide());
  EXPECT_EQ(bytes.column.spilled_blocks(), 0u);
  expect_same(bytes.column, bytes.plain);
  EXPECT_EQ(bytes.column.entry_bytes(), 1u);
  EXPECT_LE(bytes.column.capacity_bytes(),
            offset_column<std::uint32_t>::narrow_bytes(bytes.plain.size()));
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
    mirrored<int> m;
    for (int i = 0; i < 600; ++i) {
      const int v = i < 516 ? i * 200 : far + i;
      if (i != 516 || how == 0) {
        m.push(v);
      } else if (how == 1) {
        m.push(515 * 200 + 1);
        m.raise(v);
      } else {
        m.push(far - 1);
        EXPECT_FALSE(m.column.wide());
        m.increment();
        m.increment();
        m.raise(v);
      }
      if (i == 515) {
        EXPECT_TRUE(m.column.half());
      }
    }
    EXPECT_TRUE(m.column.wide()) << how;
    expect_same(m.column, m.plain);
  }
  offset_column<int> wide(true);
  for (int v : {1, 4, 9}) wide.push_back(v);
  EXPECT_TRUE(wide.wide());
  EXPECT_EQ(std::vector<int>(wide.data(), wide.data() + 3), (std::vector<int>{1, 4, 9}));
}

// A long range here and there spills its block only: the entries pushed,
// raised or incremented past 255 above the block's base are all kept, before
// and after the spill, and the blocks after it are bytes again.
TEST(OffsetColumn, ALongRangeSpillsItsBlockOnly) {
  for (int how = 0; how < 3; ++how) {
    mirrored<int> m;
    for (int i = 0; i < 2000; ++i) {
      // Entry 40 (the ninth of block 1) and entries 1000-1003 (block 31, whose
      // base is entry 992) lie past a byte's reach; 1000 gets there in three ways.
      const int step = (i == 40 || (i > 1000 && i <= 1003)) ? 500 : i == 1000 ? 402 : 2;
      const int before = m.back(), v = before + step;
      if (i == 1000 && how == 1) {
        m.push(before + 100);
        m.raise(v);
      } else if (i == 1000 && how == 2) {
        m.push(before + 102);
        for (int r = 0; r < 300; ++r) m.increment();
      } else {
        m.push(v);
      }
      if (i == 1001) m.increment();  // a spilled block's last entry raised
    }
    EXPECT_EQ(m.column.spilled_blocks(), 2u) << how;
    EXPECT_FALSE(m.column.half());
    expect_same(m.column, m.plain);
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
    mirrored<std::uint32_t> m;
    for (std::uint32_t i = 0; i < c.n; ++i) {
      m.push(c.entry(i));
      if (i == 63 && c.bytes_at_64) {
        EXPECT_FALSE(m.column.half());
        ASSERT_NO_FATAL_FAILURE(expect_same(m.column, m.plain));
      }
    }
    EXPECT_EQ(m.column.half(), c.half);
    EXPECT_FALSE(m.column.wide());
    EXPECT_EQ(m.column.entry_bytes(), c.half ? 2u : 1u);
    if (c.bytes_at_64) {
      EXPECT_EQ(m.column.spilled_blocks(), 0u);
    }
    expect_same(m.column, m.plain);
  }
}

// Appending a column's tail raised by a constant gives the entries and the
// layout (spilled blocks, half or wide) of pushing them one by one, whatever
// the two columns hold before: the tail may start inside a block, in a
// spilled one or in a half column, and land anywhere in a block.
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
          offset_column<std::uint32_t> bulk;
          mirrored<std::uint32_t> pushed;
          for (std::size_t i = 0; i < dst_size; ++i) {
            pushed.push(pushed.back() + step(dst_pattern, static_cast<int>(i)));
            bulk.push_back(pushed.back());
          }
          const std::uint32_t add = pushed.back() + static_cast<std::uint32_t>(dst_pattern);
          bulk.append_shifted(source, from, add);
          for (std::size_t i = from; i < source.size(); ++i) pushed.push(source[i] + add);
          const std::string where = "source " + std::to_string(src_pattern) + " destination " +
                                    std::to_string(dst_pattern) + " size " +
                                    std::to_string(dst_size) + " from " + std::to_string(from);
          ASSERT_NO_FATAL_FAILURE(expect_same(bulk, pushed.plain)) << where;
          EXPECT_EQ(bulk.half(), pushed.column.half()) << where;
          EXPECT_EQ(bulk.wide(), pushed.column.wide()) << where;
          EXPECT_EQ(bulk.spilled_blocks(), pushed.column.spilled_blocks()) << where;
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
    mirrored<std::uint32_t> m;
    for (int op = 0; op < 3000; ++op) {
      const unsigned kind = m.plain.empty() ? 0 : random() % 4;
      const std::uint32_t step =
          random() % 8 == 0 ? random() % (longest + 1) : random() % 3;
      if (kind <= 1) {
        m.push(m.back() + step);
      } else if (kind == 2) {
        m.increment();
      } else {
        m.raise(m.back() + step);
      }
      ASSERT_EQ(m.column.size(), m.plain.size()) << seed << " " << op;
      ASSERT_EQ(m.column.back(), m.plain.back()) << seed << " " << op;
    }
    ASSERT_NO_FATAL_FAILURE(expect_same(m.column, m.plain)) << seed;
    if (seed >= 9) {
      EXPECT_TRUE(m.column.wide()) << seed;
    }
  }
}

}  // namespace
