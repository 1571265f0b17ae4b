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

}  // namespace
