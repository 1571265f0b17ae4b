// Candidates of the out-of-core levels: their generation from the previous
// level, their pair-prefix index and the count of those a transaction contains.
//
// T is the dense item type, T1 the support type. candidate_store is a level store
// whose supports are the counters of the coming pass (added at 0) and whose
// loose flags say which loose constraints each candidate satisfies. After
// init_prefix_table, for items a < b the groups whose prefix starts with (a, b)
// occupy the offsets prefix_table[p] <= o < prefix_table[p+1] of `prefixes`
// (in steps of k-1), p = pair_index(a, b, table_items); the range is empty when
// no candidate starts with (a, b). Offsets are counted in items.
// The triangular table costs 4 bytes per pair of items. When that exceeds
// dense_index_limit (the level driver sets a sixteenth of the memory budget), the store keeps
// instead one range per first item (first_table, n+1 entries) and finds the
// groups of (a, b) by bisection inside a's range; pair_range hides the choice.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/temp_dataset.h"
#include "dataset/items.h"
#include "levels/level_store.h"
#include "engine/pair_counting.h"

template <class T, class T1>
class candidate_store : public level_store<T, T1> {
 public:
  explicit candidate_store(int k) : level_store<T, T1>(k) {}

  // Builds the index for items 0 .. n-1.
  void init_prefix_table(std::uint32_t n);

  // Offsets [*begin, *end) of the groups whose prefix starts with (a, b), a < b;
  // row is pair_row(a, table_items) - 1 (hoisted by the caller).
  void pair_range(std::uint64_t a, std::uint64_t b, std::uint64_t row, std::size_t* begin,
                  std::size_t* end) const {
    if (dense_index) {
      *begin = prefix_table[row + b];
      *end = prefix_table[row + b + 1];
      return;
    }
    sparse_range(a, b, begin, end);
  }

  // Counts the candidates contained in t (items ascending, marks all zero on
  // entry and on exit). For every contained candidate: its support += 1, the
  // position counter of each of its items += 1, and flags[u] becomes 1 when the
  // candidate satisfies loose constraint u. Position counters must be zero on
  // entry.
  void count_contained_candidates(counting_transaction<T>& t, std::uint8_t* flags);

  std::uint32_t table_items = 0;
  std::vector<std::uint32_t> prefix_table;
  std::uint64_t table_size = 0;
  bool dense_index = true;
  std::vector<std::uint32_t> first_table;  // sparse index: offsets per first item
  std::uint64_t dense_index_limit = UINT64_MAX;  // bytes

 private:
  void sparse_range(std::uint64_t a, std::uint64_t b, std::size_t* begin, std::size_t* end) const;
};

// Builds the candidates of length k >= 3 from previous (level k-1): joins every
// two itemsets of a group, drops a candidate that an anti-monotone constraint
// rejects or that has a (k-1)-subset outside previous (for k = 3: whose last
// pair's counter in `pairs` is below min_count), and indexes the survivors.
// `pairs` is read only for k = 3.
template <class T, class T1>
void generate_candidates(frequent_level<T, T1>& previous, candidate_store<T, T1>& candidates,
                         item_table& items, int k, const pair_counters<T1>* pairs,
                         typed_constraints<T>& table);
