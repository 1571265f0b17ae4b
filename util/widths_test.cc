#include "util/widths.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Widths, NarrowestTypeAtTheBoundaries) {
  // T is chosen from n_items + 1, T1 from the largest support.
  struct Case {
    std::uint64_t largest;
    int bytes;
  } cases[] = {{0, 1}, {255, 1}, {256, 2}, {65535, 2}, {65536, 4}, {4294967296ull, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(width_for(c.largest), c.bytes) << c.largest;
    int seen = 0;
    with_width(c.largest, [&](auto t) { seen = sizeof(t); });
    EXPECT_EQ(seen, c.bytes) << c.largest;
  }
  EXPECT_EQ(width_for(254 + 1), 1);  // 254 frequent items: 8-bit ids
  EXPECT_EQ(width_for(255 + 1), 2);  // 255 frequent items: 16-bit ids
}

}  // namespace
