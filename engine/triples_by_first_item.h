// Level 3 counted with the transactions of the pass held in memory, one first
// item at a time.
//
// T is the dense item type, T1 the support type. A candidate {a, b, c},
// a < b < c, joins the stored pairs (a, b) and (a, c) of level 2 (one group of
// the level-2 store: a's neighbours N(a), ascending) when (b, c) is a frequent
// pair and the anti-monotone constraints keep it. The candidates of one first
// item a are generated, counted and handed on together, so no store of the
// whole level exists. Per a, a triangle over the ranks of N(a) holds the index
// of the candidate (rank b, rank c), or none; the transactions that contain a
// (transaction_block's index by item) are walked while a's counters stay in
// cache. Each contained candidate adds 1 to its count, 1 to the position
// counter of each of its three items in the transaction, and sets the
// transaction's loose flags that it satisfies: what the candidate store's count
// does a transaction at a time (engine/candidates.h), in another order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/summary_path.h"
#include "engine/frequent_pairs.h"
#include "levels/level_store.h"
#include "util/prefetch.h"

// The transactions of one pass, back to back, with per item a position counter
// and per transaction its loose flags (n_loose bytes, nonzero: set).
template <class T>
class transaction_block {
 public:
  explicit transaction_block(int n_loose) : n_loose_(n_loose) { starts_.push_back(0); }

  // Bytes a block of `items` items in `transactions` transactions takes, its
  // index included.
  static std::uint64_t planned_bytes(std::uint64_t items, std::uint64_t transactions,
                                     std::uint32_t n_items, int n_loose) {
    return items * (2 * sizeof(T) + 2 * sizeof(std::uint32_t)) +
           transactions * (sizeof(std::uint32_t) + static_cast<std::uint64_t>(n_loose)) +
           (std::uint64_t{n_items} + 1) * sizeof(std::uint32_t);
  }

  // Appends a transaction of n >= 1 ascending items, its counters at 0.
  void add(const T* items, std::uint32_t n, const std::uint8_t* flags);
  // Indexes the transactions by each item that k-1 or more items follow: the
  // transactions where it can be the first item of a contained k-itemset.
  void index_first_items(std::uint32_t n_items, std::uint32_t k);

  std::uint32_t size() const { return static_cast<std::uint32_t>(starts_.size() - 1); }
  // Fetch ahead, for a first item to count two and then one first item later:
  // where its transactions start, then their items and counters.
  KESTREL_PREFETCHER void prefetch_starts(std::uint32_t a) const {
    if (std::size_t{a} + 1 >= index_start_.size()) return;
    const std::uint32_t end = std::min(index_start_[a + 1], index_start_[a] + kPrefetched);
    for (std::uint32_t j = index_start_[a]; j < end; ++j)
      __builtin_prefetch(starts_.data() + by_item_[j]);
  }
  // counters: the position counters being credited (laid out as the block's).
  KESTREL_PREFETCHER void prefetch_transactions(std::uint32_t a,
                                                const std::uint32_t* counters) const {
    if (std::size_t{a} + 1 >= index_start_.size()) return;
    const std::uint32_t end = std::min(index_start_[a + 1], index_start_[a] + kPrefetched);
    for (std::uint32_t j = index_start_[a]; j < end; ++j) {
      const std::uint32_t at = starts_[by_item_[j]] + position_[j];
      __builtin_prefetch(items_.data() + at);
      __builtin_prefetch(counters + at, 1);
    }
  }
  const T* items(std::uint32_t t) const { return items_.data() + starts_[t]; }
  T* items(std::uint32_t t) { return items_.data() + starts_[t]; }
  std::uint32_t length(std::uint32_t t) const { return starts_[t + 1] - starts_[t]; }
  // Where transaction t's items and position counters start.
  std::uint32_t start(std::uint32_t t) const { return starts_[t]; }
  // Items of all transactions: the position counters a thread of its own keeps.
  std::size_t total_items() const { return items_.size(); }
  int n_loose() const { return n_loose_; }
  std::uint32_t* counter_data() { return counters_.data(); }
  std::uint8_t* flag_data() { return flags_.data(); }
  // Transactions indexed under item a.
  std::uint32_t indexed(std::uint32_t a) const { return index_start_[a + 1] - index_start_[a]; }
  std::uint32_t* counters(std::uint32_t t) { return counters_.data() + starts_[t]; }
  std::uint8_t* flags(std::uint32_t t) {
    return flags_.data() + static_cast<std::size_t>(t) * static_cast<std::size_t>(n_loose_);
  }
  // The transactions indexed under item a, ascending, at [*first, *last); the
  // position of a in transaction first[j] is positions[j].
  void transactions_with(std::uint32_t a, const std::uint32_t** first, const std::uint32_t** last,
                         const T** positions) const {
    *first = by_item_.data() + index_start_[a];
    *last = by_item_.data() + index_start_[a + 1];
    *positions = position_.data() + index_start_[a];
  }

 private:
  // Transactions fetched ahead per item at most: where an item is in many,
  // its counting takes long enough for the hardware to fetch them in turn.
  static constexpr std::uint32_t kPrefetched = 16;
  int n_loose_;
  std::vector<T> items_;
  std::vector<std::uint32_t> starts_;  // transaction t at [starts_[t], starts_[t+1])
  std::vector<std::uint32_t> counters_;
  std::vector<std::uint8_t> flags_;
  std::vector<std::uint32_t> index_start_;  // item a's transactions at by_item_[a's range]
  std::vector<std::uint32_t> by_item_;
  std::vector<T> position_;  // beside by_item_ (a position fits T, as a length does)
};

template <class T, class T1>
class triples_by_first_item {
 public:
  // pairs_level: level 2 as stored; frequent: every frequent pair (also those a
  // loose constraint kept out of the store). Both must outlive the counter.
  triples_by_first_item(const frequent_level<T, T1>& pairs_level, const frequent_pairs<T>& frequent,
                        typed_constraints<T>& table, std::uint32_t n_items);

  // Bytes of working memory for the largest group of pairs_level (its triangle
  // and its candidates, were every join one), beside the block.
  static std::uint64_t planned_bytes(const frequent_level<T, T1>& pairs_level,
                                     std::uint32_t n_items, int n_loose);

  // Whether any first item has a candidate (nothing is counted).
  bool any_candidate();
  // Generates the candidates of the next first item that has some and counts
  // them in block (indexed for k = 3); false when no first item is left. The
  // candidates are then, in lexicographic order, (first(), seconds[i],
  // thirds[i]) with count counts[i] and loose flags flags(i), for i below
  // counts.size() (seconds and thirds may hold more).
  bool next_first_item(transaction_block<T>& block) {
    return next_first_item(block, block.counter_data(), block.flag_data());
  }
  // The same, crediting position counters and loose flags laid out as the
  // block's own but held elsewhere (a thread's, summed and OR-ed afterwards).
  bool next_first_item(const transaction_block<T>& block, std::uint32_t* counters,
                       std::uint8_t* flags);
  // Only groups [begin, end) of the pairs' level are left to generate.
  void restrict_groups(int begin, int end) {
    group_ = begin;
    end_group_ = end;
  }

  T first() const { return first_; }
  const std::uint8_t* flags(std::size_t i) const { return loose_flags_.data() + i * n_loose_; }
  std::vector<T> seconds, thirds;
  std::vector<std::uint32_t> counts;

 private:
  // Generates the candidates of group g and fills the triangle; false when none.
  bool generate(int g);
  // generate's candidates and triangle for the neighbours n_a[0..m) of the
  // first item, when there is no constraint to test or loose flag to set.
  void generate_unconstrained(const T* n_a, std::uint32_t m);
  // Appends the loose flags of the candidates (cand[0], cand[1], thirds[i]),
  // i from first on (cand[2] is scratch).
  void flag_thirds(T* cand, std::size_t first);
  void count(const transaction_block<T>& block, std::uint32_t* counters, std::uint8_t* flags);

  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  // Up to this many neighbours, a transaction's items are matched with N(a)
  // by a merge of the two ascending lists instead of through rank_: with many
  // items and few neighbours each rank_ read would miss the cache.
  static constexpr std::uint32_t kMergedNeighbours = 16;
  static constexpr int kAheadGroups = 4;
  // Neighbours of a group ahead whose rows generation fetches at most.
  static constexpr int kAheadNeighbours = 16;
  // The first item of group g (none past the last group).
  bool group_first_item(int g, T* a) const;
  const frequent_level<T, T1>& pairs_level_;
  const frequent_pairs<T>& frequent_;
  typed_constraints<T>& table_;
  std::size_t n_loose_;
  int group_ = 0;  // the next group of pairs_level_ to generate from
  int end_group_;  // and the group after the last one
  T first_ = 0;
  std::vector<std::uint8_t> loose_flags_;
  // The loose tests along the candidates: each (a, b) summarised once for
  // all its thirds, which flag_thirds tests at once.
  summary_path<T> loose_path_;
  std::vector<std::uint8_t> flag_scratch_;
  std::vector<std::uint32_t> rank_;      // per item: 1 + its rank in the group, 0 outside
  std::vector<std::uint32_t> triangle_;  // pair_index(rank b, rank c, m): candidate or kNone
  // Scratch of one transaction: ranks and positions of its items after a in N(a).
  std::vector<std::uint32_t> hit_rank_, hit_position_;
};
