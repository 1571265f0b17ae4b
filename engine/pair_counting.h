// Level 2: pairs counted directly in a triangular array of counters.
//
// T is the dense item type, T1 the support type (8, 16 or 32-bit unsigned).
// The pair a < b of n dense items sits at pair_index(a, b, n), which numbers the
// pairs in lexicographic order: (0,1) is 0, (n-2,n-1) is n(n-1)/2 - 1. All index
// arithmetic is 64-bit, so any n whose array fits in memory works.
#pragma once

#include <cstdint>
#include <memory>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_store.h"
#include "levels/transaction_sink.h"

// Start of row a in the triangular pair array: pair (a, b), a < b, sits at
// pair_row(a, n) + b - 1.
inline std::uint64_t pair_row(std::uint64_t a, std::uint64_t n) {
  return a * (n - 1) - a * (a + 1) / 2;
}
inline std::uint64_t pair_index(std::uint64_t a, std::uint64_t b, std::uint64_t n) {
  return pair_row(a, n) + b - 1;
}
inline std::uint64_t number_of_pairs(std::uint64_t n) { return n < 2 ? 0 : n * (n - 1) / 2; }

// The pair counters: n(n-1)/2 zeroed counters of type T1. When the array would
// exceed physical memory, or cannot be had, the constructor throws run_error
// "too many frequent items (<n>): pair counters need <X> MiB".
template <class T1>
class pair_counters {
 public:
  // Refuses (run_error) counters larger than budget_bytes, the run's memory budget.
  pair_counters(std::uint64_t n, std::uint64_t budget_bytes);
  ~pair_counters();
  pair_counters(const pair_counters&) = delete;
  pair_counters& operator=(const pair_counters&) = delete;

  T1 count(std::uint64_t a, std::uint64_t b) const { return pair_counts[pair_index(a, b, n)]; }

  T1* pair_counts = nullptr;
  std::uint64_t n_pairs = 0;
  std::uint64_t n = 0;
};

// The second pass over "dataset.tmp": maps every transaction to dense ids, lets
// the monotone constraints empty it, counts its pairs and hands it to sink (the
// rewriter of "dataset.tmp" or the bit matrix filler). Then stores the frequent
// pairs that pass the anti-monotone constraints, writes those that every
// monotone, convertible and loose anti-monotone constraint accepts, sets up
// global pruning and prints the progress row of level 2.
template <class T, class T1>
std::unique_ptr<frequent_level<T, T1>> count_pairs(run_context& run, int max_tr_len,
                                                   item_table& items, pair_counters<T1>& pairs,
                                                   transaction_sink<T>& sink,
                                                   typed_constraints<T>& table);
