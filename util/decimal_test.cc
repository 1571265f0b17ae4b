#include "util/decimal.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::string formatted(std::uint64_t v, char end) {
  char out[24];
  const std::size_t n = format_decimal(out, v, end);
  return std::string(out, n);
}

// Every digit count, on both sides of each power of ten, and the widest values.
TEST(Decimal, MatchesPrintfAtEveryDigitCount) {
  std::uint64_t power = 1;
  for (int digits = 1; digits <= 20; ++digits) {
    for (std::uint64_t v : {power - 1, power, power + 1, power * 2 + 3, power * 9 + 9}) {
      char want[32];
      std::snprintf(want, sizeof want, "%" PRIu64 ")", v);
      EXPECT_EQ(formatted(v, ')'), want) << v;
    }
    if (digits < 20) power *= 10;
  }
  EXPECT_EQ(formatted(UINT64_MAX, ' '), "18446744073709551615 ");
  EXPECT_EQ(formatted(UINT32_MAX, ' '), "4294967295 ");
  EXPECT_EQ(formatted(0, '\n'), "0\n");
}

// Nine- and ten-digit values take the product path: the eight low digits come
// from a fixed-point fraction, so a constant rounded the wrong way shows as a
// wrong pair at low values like 1 or at ones ending in 99.. . Checked at the
// pairs' edges under every leading part, then over a sample of the whole range.
TEST(Decimal, NineAndTenDigitsMatchPrintf) {
  auto check = [](std::uint64_t v) {
    char want[32];
    std::snprintf(want, sizeof want, "%" PRIu64 " ", v);
    EXPECT_EQ(formatted(v, ' '), want) << v;
  };
  for (std::uint64_t hi = 1; hi <= 42; ++hi)
    for (std::uint64_t lo : {0, 1, 9, 10, 99, 100, 9999, 10000, 999999, 1000000, 1000001, 9999999,
                             10000000, 50000000, 99999899, 99999999})
      if (hi * 100000000 + lo <= UINT32_MAX) check(hi * 100000000 + lo);
  std::uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 200000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    check(100000000 + x % (std::uint64_t{UINT32_MAX} - 100000000 + 1));
  }
}

}  // namespace
