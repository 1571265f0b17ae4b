// The one decimal formatter of the output file: unsigned values as the output
// writes them, without printf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace decimal_detail {

// "00" to "99": two digits per division by 100.
inline constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

// The number of decimal digits of v (1 for 0).
inline std::size_t digit_count(std::uint64_t v) {
  std::size_t n = 1;
  for (;;) {
    if (v < 10) return n;
    if (v < 100) return n + 1;
    if (v < 1000) return n + 2;
    if (v < 10000) return n + 3;
    v /= 10000;
    n += 4;
  }
}

// v in [1e8, 2^32): nine or ten digits. The first one or two are v / 1e8; the
// other eight, those of lo = v mod 1e8, come from one product: lo times
// ceil(2^48 / 1e6) holds lo / 1e6 (their first pair) above bit 48 and the rest
// as a 48-bit fraction, whose product by 100 brings up the next pair, and so on.
// The rounding error stays below what would carry into a pair for every lo
// below 1e8. Ten-digit labels took 115 instructions each through the divisions
// by 100, 55 this way.
inline std::size_t format_nine_or_ten(char* out, std::uint32_t v, char end) {
  constexpr std::uint64_t kScale = (std::uint64_t{1} << 48) / 1000000 + 1;
  constexpr std::uint64_t kFraction = (std::uint64_t{1} << 48) - 1;
  const std::uint32_t hi = v / 100000000;
  const std::uint32_t lo = v - hi * 100000000;
  std::size_t n = 9;
  if (hi >= 10) {
    std::memcpy(out, kDigitPairs + hi * 2, 2);
    n = 10;
  } else {
    out[0] = static_cast<char>('0' + hi);
  }
  char* p = out + n - 8;
  const std::uint64_t y0 = std::uint64_t{lo} * kScale;
  const std::uint64_t y1 = (y0 & kFraction) * 100;
  const std::uint64_t y2 = (y1 & kFraction) * 100;
  const std::uint64_t y3 = (y2 & kFraction) * 100;
  std::memcpy(p, kDigitPairs + (y0 >> 48) * 2, 2);
  std::memcpy(p + 2, kDigitPairs + (y1 >> 48) * 2, 2);
  std::memcpy(p + 4, kDigitPairs + (y2 >> 48) * 2, 2);
  std::memcpy(p + 6, kDigitPairs + (y3 >> 48) * 2, 2);
  out[n] = end;
  return n + 1;
}

}  // namespace decimal_detail

// Writes v in decimal followed by the byte `end` at out; returns the bytes
// written (at most 21). Supports and labels are written once per output line,
// so the digits are laid out from the end, two at a time, with no reversal.
inline std::size_t format_decimal(char* out, std::uint64_t v, char end) {
  if (v >= 100000000 && v <= UINT32_MAX)
    return decimal_detail::format_nine_or_ten(out, static_cast<std::uint32_t>(v), end);
  const std::size_t n = decimal_detail::digit_count(v);
  char* p = out + n;
  *p = end;
  while (v >= 100) {
    const std::size_t pair = static_cast<std::size_t>(v % 100) * 2;
    v /= 100;
    p -= 2;
    std::memcpy(p, decimal_detail::kDigitPairs + pair, 2);
  }
  if (v >= 10) {
    std::memcpy(p - 2, decimal_detail::kDigitPairs + v * 2, 2);
  } else {
    p[-1] = static_cast<char>('0' + v);
  }
  return n + 1;
}
