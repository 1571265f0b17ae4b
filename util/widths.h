// The item and support widths the program is built for, listed once.
//
// T, the dense item type, and T1, the support counter type, are each one of
// uint8_t, uint16_t and uint32_t; the run picks the narrowest that holds its
// largest dense id and its largest support. Every file that defines templates over
// them instantiates them at its end by applying its own X(T) or X(T, T1) macro:
//   #define KESTREL_INSTANTIATE(T, T1) template class level_store<T, T1>;
//   KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
//   #undef KESTREL_INSTANTIATE
// so changing the widths means changing this header only. with_width picks the
// width of a run's T or T1.
#pragma once

#include <cstdint>

// The three widths, for templates over T (or T1) alone.
#define KESTREL_FOR_EACH_WIDTH(X) \
  X(std::uint8_t)                 \
  X(std::uint16_t)                \
  X(std::uint32_t)

// The nine (T, T1) pairs.
#define KESTREL_FOR_EACH_WIDTH_PAIR(X) \
  X(std::uint8_t, std::uint8_t)        \
  X(std::uint8_t, std::uint16_t)       \
  X(std::uint8_t, std::uint32_t)       \
  X(std::uint16_t, std::uint8_t)       \
  X(std::uint16_t, std::uint16_t)      \
  X(std::uint16_t, std::uint32_t)      \
  X(std::uint32_t, std::uint8_t)       \
  X(std::uint32_t, std::uint16_t)      \
  X(std::uint32_t, std::uint32_t)

// Bytes of the narrowest unsigned type (1, 2 or 4) that holds largest.
inline int width_for(std::uint64_t largest) {
  if (largest <= 255) return 1;
  if (largest <= 65535) return 2;
  return 4;
}

// Calls f with a value of the narrowest unsigned type that holds largest: the one
// place where the item type T and the support type T1 are chosen.
template <class F>
void with_width(std::uint64_t largest, F&& f) {
  switch (width_for(largest)) {
    case 1:
      f(std::uint8_t{});
      break;
    case 2:
      f(std::uint16_t{});
      break;
    default:
      f(std::uint32_t{});
  }
}
