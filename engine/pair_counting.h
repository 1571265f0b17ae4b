// Level 2: the second pass over "dataset.tmp" counts the pairs of frequent items.
//
// T is the dense item type, T1 the support type (8, 16 or 32-bit unsigned).
// Three ways to count, chosen by plan_pair_counting from what each costs:
//   triangle   n(n-1)/2 counters of type T1 in one array, the pair a < b at
//              pair_index(a, b, n) (lexicographic order: (0,1) is 0, (n-2,n-1)
//              is n(n-1)/2 - 1); cheap when the items are few.
//   occurring  only the pairs that occur, from the transactions kept in memory
//              (engine/occurring_pairs.h); its memory follows the item
//              occurrences, so it wins when the items are many and the data sparse.
//   blocks     when neither fits the memory budget: the triangle's rows cut into
//              blocks of first items that each fit, one pass per block.
//   occurring blocks
//              the same for the occurring pairs, when that takes fewer passes
//              (many items, sparse data): a first pass measures what each row
//              keeps in memory, then one pass per block of rows that fits.
// All index arithmetic is 64-bit, so any n whose rows fit in memory works.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "engine/frequent_pairs.h"
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

enum class pair_method { triangle, occurring, blocks, occurring_blocks };

struct pair_counting_plan {
  pair_method method = pair_method::triangle;
  // First item of each pass's block, then n: pass p counts the rows
  // first_items[p] <= a < first_items[p+1]. One block for triangle and
  // occurring; for occurring blocks too (their blocks follow from the
  // measuring pass; estimated_passes is what the choice was made on).
  std::vector<std::uint32_t> first_items;
  std::uint32_t passes() const { return static_cast<std::uint32_t>(first_items.size() - 1); }
  std::uint64_t estimated_passes = 1;
};

// What level 2 needs to know to choose.
struct pair_counting_sizes {
  std::uint64_t items = 0;        // n, the frequent items
  std::uint64_t occurrences = 0;  // upper bound of their occurrences (sum of supports)
  std::uint64_t transactions = 0;
  std::uint64_t item_bytes = 4;     // sizeof(T)
  std::uint64_t counter_bytes = 4;  // sizeof(T1)
};

// The cheapest way that fits budget_bytes: the triangle when it takes no more
// memory than counting the occurring pairs, else the occurring pairs, else
// blocks of whichever takes fewer passes. Throws run_error "too many frequent items (<n>): pair counters need
// <X> MiB" (X: the whole triangle) when not even one row of the triangle fits.
pair_counting_plan plan_pair_counting(const pair_counting_sizes& sizes,
                                      std::uint64_t budget_bytes);

// Cuts the triangle's rows 0 .. n-1 into blocks of counter_bytes counters each
// as large as budget_bytes allows: the first row of each block, then n. Empty
// when not even row 0 fits.
std::vector<std::uint32_t> cut_triangle(std::uint64_t n, std::uint64_t counter_bytes,
                                        std::uint64_t budget_bytes);

// Cuts the rows 0 .. n-1 (n = row_bytes.size()) into blocks of consecutive rows
// whose bytes add up to at most room each, as long as they may be: the first
// row of each block, then n. Empty when a single row exceeds room.
std::vector<std::uint32_t> cut_rows(const std::vector<std::uint64_t>& row_bytes,
                                    std::uint64_t room);

// The memory occurring blocks hold whatever the block: per item a row end, a
// counter, a touched slot (and the measure of the first pass, freed before).
inline std::uint64_t occurring_blocks_fixed_bytes(std::uint64_t n, std::uint64_t item_bytes) {
  return n * (4 + 4 + item_bytes);
}

// The counters of the rows first <= a < end of the triangle, zeroed.
template <class T1>
class pair_counters {
 public:
  pair_counters(std::uint64_t n, std::uint64_t first, std::uint64_t end);
  ~pair_counters();
  pair_counters(const pair_counters&) = delete;
  pair_counters& operator=(const pair_counters&) = delete;

  // The counter of (a, b), first <= a < end, a < b < n.
  T1* row(std::uint64_t a) { return pair_counts + (pair_row(a, n) - base) - 1; }
  T1 count(std::uint64_t a, std::uint64_t b) const {
    return pair_counts[pair_index(a, b, n) - base];
  }

  T1* pair_counts = nullptr;
  std::uint64_t n_pairs = 0;  // counters held
  std::uint64_t n = 0;
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  std::uint64_t base = 0;  // pair_index(first, first + 1, n): where the counters start
};

// The second pass over "dataset.tmp": maps every transaction to dense ids, lets
// the monotone constraints empty it, counts its pairs and hands it to sink (the
// rewriter of "dataset.tmp" or the bit matrix filler); then as many more passes
// as the plan needs. Stores the frequent pairs that pass the anti-monotone
// constraints, writes those that every monotone, convertible and loose
// anti-monotone constraint accepts, keeps every frequent pair in `frequent` (for
// the subset test of level 3), sets up global pruning and prints the progress
// row of level 2 (with its passes). With several ranks each counts its own
// records and the counters of every pass are summed over them; the occurring
// pairs are counted by rank 0 alone after the others hand it their records
// (null on the others, which are then done).
template <class T, class T1>
std::unique_ptr<frequent_level<T, T1>> count_pairs(run_context& run, int max_tr_len,
                                                   item_table& items, transaction_sink<T>& sink,
                                                   typed_constraints<T>& table,
                                                   frequent_pairs<T>& frequent);
