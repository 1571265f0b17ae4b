// The item and support widths the program is built for, listed once.
//
// T, the dense item type, and T1, the support counter type, are each one of
// uint8_t, uint16_t and uint32_t; the run picks the narrowest that holds its
// largest dense id and its largest support. Every file that defines templates over
// them instantiates them at its end by applying its own X(T) or X(T, T1) macro:
//   #define KESTREL_INSTANTIATE(T, T1) template class level_store<T, T1>;
//   KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
//   #undef KESTREL_INSTANTIATE
// so changing the widths means changing this header only.
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
