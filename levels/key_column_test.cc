#include "levels/key_column.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The record of itemset i in the tests below: every value a record may take.
std::uint8_t record_of(std::size_t i) { return static_cast<std::uint8_t>((i * 7 + 3) % 16); }

TEST(KeyColumn, RecordsReadBackWhateverHowTheColumnWasBuilt) {
  // Every split of 0..n records into two columns, each of odd or even length,
  // appended: the halves of a byte must not leak into each other.
  for (std::size_t n : {0, 1, 2, 3, 8, 33}) {
    key_column whole;
    for (std::size_t i = 0; i < n; ++i) whole.push_back(record_of(i));
    ASSERT_EQ(whole.size(), n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(whole[i], record_of(i)) << n << " " << i;
    for (std::size_t cut = 0; cut <= n; ++cut) {
      key_column first, second;
      for (std::size_t i = 0; i < n; ++i) (i < cut ? first : second).push_back(record_of(i));
      first.append(second);
      ASSERT_EQ(first, whole) << n << " " << cut;
      // An append keeps the column growing from where it ended.
      first.push_back(9);
      ASSERT_EQ(first[n], 9) << n << " " << cut;
      if (n > 0) {
        ASSERT_EQ(first[n - 1], record_of(n - 1)) << n << " " << cut;
      }
    }
  }
}

TEST(KeyColumn, SetAndAssignTouchOnlyTheirRecords) {
  for (std::size_t n : {1, 2, 5, 6}) {
    key_column c;
    c.assign(n, key_column::kKey);
    ASSERT_EQ(c.size(), n);
    // A push after an odd assign lands in the high half of the last byte.
    c.push_back(4);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(c[i], key_column::kKey) << n << " " << i;
    ASSERT_EQ(c[n], 4) << n;
    for (std::size_t i = 0; i <= n; i += 2) c.set(i, static_cast<std::uint8_t>(i % 15));
    for (std::size_t i = 0; i <= n; ++i) {
      const std::uint8_t want = i % 2 == 0 ? static_cast<std::uint8_t>(i % 15)
                                : i == n   ? 4
                                           : key_column::kKey;
      ASSERT_EQ(c[i], want) << n << " " << i;
    }
  }
  // Two records per byte.
  key_column c;
  c.reserve(1000);
  EXPECT_GE(c.capacity_bytes(), 500u);
  EXPECT_LT(c.capacity_bytes(), 1000u);
}

TEST(KeyColumn, PositionsTooFarFromTheEndAreNotNamed) {
  for (int from_end = 0; from_end <= key_column::kFarthest; ++from_end)
    EXPECT_EQ(key_column::naming(from_end), from_end);
  // 15 and beyond would wrap into the key mark or onto a near item.
  for (int from_end : {15, 16, 17, 31, 255})
    EXPECT_EQ(key_column::naming(from_end), key_column::kKey);
}

}  // namespace
