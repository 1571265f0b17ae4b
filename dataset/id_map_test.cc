#include "dataset/id_map.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// Against std::map over ids that collide in the low bits, ascend, and reach
// the top of the range, through several rounds of growth.
TEST(IdMap, AgreesWithAnOrderedMapThroughGrowth) {
  id_map map;
  std::map<std::uint32_t, std::uint32_t> expected;
  std::vector<std::uint32_t> keys;
  for (std::uint32_t i = 1; i <= 3000; ++i) {
    keys.push_back(i << 20);             // equal low bits
    keys.push_back(4294967295u - i);     // near the top
    keys.push_back(4194304u + i * 7);    // ascending
  }
  for (int round = 0; round < 3; ++round)
    for (std::uint32_t k : keys) {
      map[k] += k % 5 + 1;
      expected[k] += k % 5 + 1;
    }
  EXPECT_EQ(map.size(), expected.size());
  std::map<std::uint32_t, std::uint32_t> seen;
  map.for_each([&](std::uint32_t k, std::uint32_t v) { seen[k] = v; });
  EXPECT_EQ(seen, expected);
  for (const auto& kv : expected) {
    ASSERT_NE(map.find(kv.first), nullptr);
    EXPECT_EQ(*map.find(kv.first), kv.second);
  }
  EXPECT_EQ(map.find(3u << 28 | 1), nullptr);
  EXPECT_EQ(map.find(0), nullptr);
}

TEST(IdMap, ZeroValuesKeepsKeysAndReleaseEmpties) {
  id_map map;
  map.reserve(100);
  const std::size_t bytes = map.bytes();
  for (std::uint32_t k = 1; k <= 100; ++k) map[k * 977] = k;
  EXPECT_EQ(map.bytes(), bytes);  // reserved room: no growth
  map.zero_values();
  EXPECT_EQ(map.size(), 100u);
  ASSERT_NE(map.find(977), nullptr);
  EXPECT_EQ(*map.find(977), 0u);
  map.clear();
  EXPECT_EQ(map.find(977), nullptr);
  map[977] = 4;
  EXPECT_EQ(*map.find(977), 4u);
  map.release();
  EXPECT_EQ(map.size(), 0u);
  EXPECT_EQ(map.find(977), nullptr);
  map[5] = 1;
  EXPECT_EQ(*map.find(5), 1u);
}

}  // namespace
