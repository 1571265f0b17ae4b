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
// The triangular table costs 4 bytes per pair of items. When the pairs that
// start a prefix are few against all pairs (sparse data of many items), a hash
// of those pairs (pair_prefix_index) takes its place, chosen when it takes fewer
// bytes. When the table exceeds dense_index_limit (the level driver sets a
// sixteenth of the memory budget), the store keeps only one range per first item
// and finds the groups of (a, b) by bisection inside a's range. The ranges per
// first item (first_table, n+1 entries) are kept with the hash and the
// bisection; pair_range hides the choice.
// A store may hold one chunk of a level (candidate_chunks below): the counting
// then skips the transaction items outside [lowest_first, highest_first], the
// first items its candidates start with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/temp_dataset.h"
#include "dataset/items.h"
#include "levels/candidate_cursor.h"
#include "levels/level_store.h"
#include "levels/subset_cursor.h"
#include "engine/pair_counting.h"
#include "engine/pair_prefix_index.h"

template <class T, class T1>
class candidate_store : public level_store<T, T1> {
 public:
  explicit candidate_store(int k) : level_store<T, T1>(k, true) {}

  // Builds the index for items 0 .. n-1.
  void init_prefix_table(std::uint32_t n);

  // Bytes that n_candidates candidates in n_groups groups take in a store of
  // this k with this many loose constraints, with the index for n items. The
  // vectors grow by doubling, so they may hold up to twice what they use: the
  // plan counts that twice.
  std::uint64_t planned_bytes(std::uint64_t n_candidates, std::uint64_t n_groups,
                              std::uint32_t n, int n_loose) const;

  // Offsets [*begin, *end) of the groups whose prefix starts with (a, b), a < b;
  // row is pair_row(a, table_items) - 1 (hoisted by the caller).
  void pair_range(std::uint64_t a, std::uint64_t b, std::uint64_t row, std::size_t* begin,
                  std::size_t* end) const {
    switch (index_kind) {
      case pair_index_kind::triangle:
        *begin = prefix_table[row + b];
        *end = prefix_table[row + b + 1];
        return;
      case pair_index_kind::hashed:
        hashed_index.find(a, b, begin, end);
        return;
      case pair_index_kind::bisected:
        break;
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
  enum class pair_index_kind { triangle, hashed, bisected };
  pair_index_kind index_kind = pair_index_kind::triangle;
  pair_prefix_index hashed_index;
  std::vector<std::uint32_t> first_table;  // offsets per first item (hashed, bisected)
  std::uint64_t dense_index_limit = UINT64_MAX;  // bytes
  std::uint32_t lowest_first = 0, highest_first = 0;  // valid when n_itemsets > 0

 private:
  void sparse_range(std::uint64_t a, std::uint64_t b, std::size_t* begin, std::size_t* end) const;
};

// The candidates of length k >= 3, built from previous (level k-1) a chunk at a
// time: every two itemsets of a group are joined; a candidate is dropped when an
// anti-monotone constraint rejects it or when it has a (k-1)-subset outside
// previous (for k = 3: when its last pair is not among the frequent `pairs`).
// A chunk holds the candidates of consecutive (k-1)-prefixes (the groups of the
// candidate store: one itemset of previous joined with the later ones of its
// group), as many as fit limit_bytes by the store's planned_bytes (a prefix is
// admitted only when all of its possible joins would fit), and never fewer than
// one prefix with a candidate, so a chunk is empty only when it is the last one.
// The chunks follow in lexicographic order: together they are the level's
// candidates. previous, items, pairs and table must outlive the chunks; `pairs`
// is read only for k = 3.
// The share of the memory left (the budget less the previous level and the
// frequent pairs) that a level's candidates may take at once, index included; the
// rest is for the level being built and the bit matrix. Never less than a
// sixteenth of the whole budget: when the previous level alone takes nearly all
// of it, chunks of almost nothing would make the level a pass per prefix.
inline std::uint64_t candidate_budget(std::uint64_t left_bytes, std::uint64_t budget_bytes) {
  return std::max(left_bytes / 4, budget_bytes / 16);
}

template <class T, class T1>
class candidate_chunks {
 public:
  candidate_chunks(const frequent_level<T, T1>& previous, const item_table& items, int k,
                   const frequent_pairs<T>* pairs, typed_constraints<T>& table,
                   std::uint64_t limit_bytes);

  // Replaces the content of candidates with the next chunk and indexes it.
  void fill_next(candidate_store<T, T1>& candidates);
  // True once the chunk filled last was the level's last one.
  bool finished() const { return !cursor_.valid(); }

 private:
  const frequent_level<T, T1>& previous_;
  std::uint32_t n_items_;
  int k_;
  const frequent_pairs<T>* pairs_;
  typed_constraints<T>& table_;
  std::uint64_t limit_bytes_;
  candidate_cursor<T, T1> cursor_;
  subset_cursor<T, T1> subsets_;
};
