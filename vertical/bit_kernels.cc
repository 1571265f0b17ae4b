#include "vertical/bit_kernels.h"

#include <cstring>

namespace bits {
namespace {

// The bodies are written once, always inlined into one wrapper per target build,
// so each wrapper is compiled with its own instruction set. Two 32-bit words are
// handled as one 64-bit value; with AVX-512 VPOPCNTDQ GCC vectorises the popcount
// reduction too, elsewhere the AND loops vectorise and the popcount stays scalar.
#define KESTREL_INLINE __attribute__((always_inline)) inline

KESTREL_INLINE std::uint64_t load64(const std::uint32_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
KESTREL_INLINE void store64(std::uint32_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

// Population counts: the compiler's builtin where the build has an instruction
// for it; the branch-free divide-and-conquer count in the plain build, where the
// builtin would be a library call per word (about 5x slower).
struct builtin_pop {
  static KESTREL_INLINE std::uint64_t pop(std::uint64_t x) {
    return static_cast<std::uint64_t>(__builtin_popcountll(x));
  }
};
struct swar_pop {
  static KESTREL_INLINE std::uint64_t pop(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (x * 0x0101010101010101ULL) >> 56;
  }
};

template <class Pop>
KESTREL_INLINE std::uint64_t and_count_body(const std::uint32_t* __restrict a,
                                            const std::uint32_t* __restrict b,
                                            std::uint32_t* __restrict out, std::size_t n) {
  std::uint64_t c = 0;
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) {
    const std::uint64_t x = load64(a + i) & load64(b + i);
    store64(out + i, x);
    c += Pop::pop(x);
  }
  if (i < n) {
    out[i] = a[i] & b[i];
    c += Pop::pop(out[i]);
  }
  return c;
}

KESTREL_INLINE void and_into_body(const std::uint32_t* __restrict a,
                                  const std::uint32_t* __restrict b, std::uint32_t* __restrict out,
                                  std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = a[i] & b[i];
}

template <class Pop>
KESTREL_INLINE std::uint64_t count_body(const std::uint32_t* __restrict a, std::size_t n) {
  std::uint64_t c = 0;
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) c += Pop::pop(load64(a + i));
  if (i < n) c += Pop::pop(a[i]);
  return c;
}

template <class Pop>
KESTREL_INLINE std::uint64_t and_count_runs_body(const std::uint32_t* __restrict a,
                                                 const std::uint32_t* __restrict b,
                                                 std::uint32_t* __restrict out,
                                                 const word_run* runs, std::size_t n_runs) {
  std::uint64_t c = 0;
  for (std::size_t r = 0; r < n_runs; ++r) {
    const std::size_t s = static_cast<std::size_t>(runs[r].begin);
    c += and_count_body<Pop>(a + s, b + s, out + s, static_cast<std::size_t>(runs[r].end) - s);
  }
  return c;
}

KESTREL_INLINE void and_into_runs_body(const std::uint32_t* __restrict a,
                                       const std::uint32_t* __restrict b,
                                       std::uint32_t* __restrict out, const word_run* runs,
                                       std::size_t n_runs) {
  for (std::size_t r = 0; r < n_runs; ++r) {
    for (std::int32_t i = runs[r].begin; i < runs[r].end; ++i) out[i] = a[i] & b[i];
  }
}

KESTREL_INLINE void or_into_runs_body(std::uint32_t* __restrict dst,
                                      const std::uint32_t* __restrict src, const word_run* runs,
                                      std::size_t n_runs) {
  for (std::size_t r = 0; r < n_runs; ++r) {
    for (std::int32_t i = runs[r].begin; i < runs[r].end; ++i) dst[i] |= src[i];
  }
}

#define KESTREL_KERNEL_SET(SUFFIX, TARGET, POP)                                                \
  TARGET std::uint64_t and_count_##SUFFIX(const std::uint32_t* a, const std::uint32_t* b,      \
                                          std::uint32_t* out, std::size_t n) {                 \
    return and_count_body<POP>(a, b, out, n);                                                  \
  }                                                                                            \
  TARGET void and_into_##SUFFIX(const std::uint32_t* a, const std::uint32_t* b,                \
                                std::uint32_t* out, std::size_t n) {                           \
    and_into_body(a, b, out, n);                                                               \
  }                                                                                            \
  TARGET std::uint64_t count_##SUFFIX(const std::uint32_t* a, std::size_t n) {                 \
    return count_body<POP>(a, n);                                                              \
  }                                                                                            \
  TARGET std::uint64_t and_count_runs_##SUFFIX(const std::uint32_t* a, const std::uint32_t* b, \
                                               std::uint32_t* out, const word_run* runs,       \
                                               std::size_t n_runs) {                           \
    return and_count_runs_body<POP>(a, b, out, runs, n_runs);                                  \
  }                                                                                            \
  TARGET void and_into_runs_##SUFFIX(const std::uint32_t* a, const std::uint32_t* b,           \
                                     std::uint32_t* out, const word_run* runs,                 \
                                     std::size_t n_runs) {                                     \
    and_into_runs_body(a, b, out, runs, n_runs);                                               \
  }                                                                                            \
  TARGET void or_into_runs_##SUFFIX(std::uint32_t* dst, const std::uint32_t* src,              \
                                    const word_run* runs, std::size_t n_runs) {                \
    or_into_runs_body(dst, src, runs, n_runs);                                                 \
  }                                                                                            \
  const kernel_table table_##SUFFIX = {                                                        \
      and_count_##SUFFIX,     and_into_##SUFFIX,     count_##SUFFIX, and_count_runs_##SUFFIX,  \
      and_into_runs_##SUFFIX, or_into_runs_##SUFFIX, #SUFFIX};

KESTREL_KERNEL_SET(plain, , swar_pop)
KESTREL_KERNEL_SET(popcnt, __attribute__((target("popcnt"))), builtin_pop)
KESTREL_KERNEL_SET(avx512,
                   __attribute__((target("avx512f,avx512vl,avx512bw,avx512vpopcntdq,popcnt"))),
                   builtin_pop)

bool has_avx512_popcount() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vpopcntdq");
}

bool has_popcnt() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("popcnt");
}

}  // namespace

// The popcnt build is chosen where the CPU has the instruction. The AVX-512 build
// runs a whole-row AND+popcount about 3x faster in isolation (0.29 vs 0.98 ns
// per word on 3125-word rows), yet whole runs are slower with it: T10I4D100K at
// support 10, hop 2 (diffuse) takes 3.1 s of CPU with popcnt, 3.4 s with AVX-512
// and 5.2 s with the plain build; chess at 1200 (key patterns, output-bound)
// about 2.0 s with each. Diffuse runs are mostly one or two words long and dense
// rows are short. The AVX-512 build stays available for tests and benchmarks.
int available_kernels(const kernel_table** out, int max) {
  int n = 0;
  if (n < max && has_popcnt()) out[n++] = &table_popcnt;
  if (n < max && has_avx512_popcount()) out[n++] = &table_avx512;
  if (n < max) out[n++] = &table_plain;
  return n;
}

const kernel_table& kernels() {
  static const kernel_table* const chosen = [] {
    const kernel_table* best[1];
    available_kernels(best, 1);
    return best[0];
  }();
  return *chosen;
}

}  // namespace bits
