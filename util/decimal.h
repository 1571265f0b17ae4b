// The one decimal formatter of the output file: unsigned values as the output
// writes them, without printf.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes v in decimal followed by the byte `end` at out; returns the bytes
// written (at most 21).
inline std::size_t format_decimal(char* out, std::uint64_t v, char end) {
  char digits[20];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (std::size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = end;
  return n + 1;
}
