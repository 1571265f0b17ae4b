// Finding the few counts of a row of pair counts that reach the threshold.
// A level's rows hold mostly counts below it (T10I4D100K at sigma 2: 71M
// candidates on level 4, 4.5M frequent), so the row is read eight counts at a
// time as two vectors, and only a block holding one at or above the threshold
// is searched count by count.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Writes the indexes j < n with counts[j] >= min_count to hits, ascending,
// and returns how many there are. hits has room for n.
inline std::uint32_t find_hits(const std::uint32_t* counts, std::uint32_t n,
                               std::uint32_t min_count, std::uint32_t* hits) {
  std::uint32_t n_hits = 0;
  std::uint32_t j = 0;
#if defined(__SSE2__)
  constexpr std::uint32_t kBlock = 8;
  // SSE2 compares signed: both sides move by 2^31, which keeps the unsigned
  // order, and c >= min_count becomes c > min_count - 1 (min_count 0 takes
  // every count, below).
  if (min_count > 0) {
    const __m128i bias = _mm_set1_epi32(static_cast<int>(0x80000000u));
    const __m128i below = _mm_set1_epi32(static_cast<int>((min_count - 1) ^ 0x80000000u));
    for (; j + kBlock <= n; j += kBlock) {
      const __m128i lo =
          _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + j)), bias);
      const __m128i hi =
          _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + j + 4)), bias);
      const __m128i above = _mm_or_si128(_mm_cmpgt_epi32(lo, below), _mm_cmpgt_epi32(hi, below));
      if (_mm_movemask_epi8(above) == 0) continue;
      for (std::uint32_t u = 0; u < kBlock; ++u) {
        hits[n_hits] = j + u;
        n_hits += counts[j + u] >= min_count ? 1u : 0u;
      }
    }
  }
#endif
  // The rest (all without SSE2): each index is written past the hits and
  // kept only when its count reaches min_count.
  for (; j < n; ++j) {
    hits[n_hits] = j;
    n_hits += counts[j] >= min_count ? 1u : 0u;
  }
  return n_hits;
}
