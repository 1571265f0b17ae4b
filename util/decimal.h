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

}  // namespace decimal_detail

// Writes v in decimal followed by the byte `end` at out; returns the bytes
// written (at most 21). Supports and labels are written once per output line,
// so the digits are laid out from the end, two at a time, with no reversal.
inline std::size_t format_decimal(char* out, std::uint64_t v, char end) {
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
