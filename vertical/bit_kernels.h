// Word-loop kernels of the vertical engine: AND, OR and population count over
// rows of 32-bit words.
//
// Rows are arrays of unsigned 32-bit words (transaction t is bit t%32 of word
// t/32). The kernels read and write them two words at a time as 64-bit values
// (unaligned loads are fine on x86-64), so one popcount covers 64 transactions.
// Three builds of every kernel exist and one is chosen once per process from the
// CPU: AVX-512 with vector popcount, the scalar popcnt instruction, and a plain
// build that runs on any x86-64. All three give identical results.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bits {

// A half-open range [begin, end) of word indexes.
struct word_run {
  std::int32_t begin;
  std::int32_t end;
};

struct kernel_table {
  // out = a AND b over n words; returns the set bits of out.
  std::uint64_t (*and_count)(const std::uint32_t* a, const std::uint32_t* b, std::uint32_t* out,
                             std::size_t n);
  // out = a AND b over n words.
  void (*and_into)(const std::uint32_t* a, const std::uint32_t* b, std::uint32_t* out,
                   std::size_t n);
  // Set bits of a[0..n).
  std::uint64_t (*count)(const std::uint32_t* a, std::size_t n);
  // out = a AND b inside the runs only; returns the set bits there.
  std::uint64_t (*and_count_runs)(const std::uint32_t* a, const std::uint32_t* b,
                                  std::uint32_t* out, const word_run* runs, std::size_t n_runs);
  void (*and_into_runs)(const std::uint32_t* a, const std::uint32_t* b, std::uint32_t* out,
                        const word_run* runs, std::size_t n_runs);
  // dst |= src inside the runs only.
  void (*or_into_runs)(std::uint32_t* dst, const std::uint32_t* src, const word_run* runs,
                       std::size_t n_runs);
  const char* name;
};

// The table chosen for this CPU (decided on first use).
const kernel_table& kernels();
// Every build this CPU can run, the chosen one first; for tests and benchmarks.
int available_kernels(const kernel_table** out, int max);

}  // namespace bits
