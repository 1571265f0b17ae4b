// Global pruning: between levels, the items that can no longer take part in a
// frequent itemset leave the transactions and, before the in-memory levels, the
// dense numbering.
//
// While level k is stored, every stored itemset counts its items (count). An
// item of a candidate of level k+1 belongs to k of that candidate's k-subsets,
// each stored at level k, so an item counted fewer than k times is in no
// candidate: mark(k) marks it dropped. The next out-of-core pass leaves the
// dropped items out of every transaction (kept). When that pass fills the bit
// matrix instead, the matrix is sized for the kept items only: renumbering()
// gives each current dense id its next one, and compact() then renumbers the
// item table (ids, labels, supports) and the attribute columns alike.
//
// Counts and marks are per dense id of the item table's current numbering. The
// state belongs to one run and travels in its run context.
#pragma once

#include <cstdint>
#include <vector>

#include "util/prefetch.h"

class attribute_table;
class item_table;

class global_pruning {
 public:
  // Starts the counts of a level over dense ids 0 .. n_items-1, all zero. The
  // marks of the previous level stay readable until the next mark().
  void start(std::uint32_t n_items) { counts_.assign(n_items, 0); }
  // One stored itemset contains dense id k.
  void count(std::uint32_t k) { ++counts_[k]; }
  // Fetches k's counter ahead of a count.
  KESTREL_PREFETCHER void prefetch(std::uint32_t k) const { __builtin_prefetch(counts_.data() + k, 1); }
  // Marks every item counted fewer than threshold times as dropped.
  void mark(std::uint32_t threshold);
  // After mark: whether dense id k stays, and how many stay.
  bool kept(std::uint32_t k) const { return kept_[k] != 0; }
  std::uint32_t n_kept() const { return n_kept_; }
  // The next dense id of every kept item (indexed by current dense id), or null
  // when the last mark dropped nothing.
  const std::uint32_t* renumbering();
  // Gives the kept items dense ids 0 .. n_kept()-1 in their current order, in
  // the item table and in every attribute column; false (and nothing changed)
  // when the last mark dropped nothing.
  bool compact(item_table& items, attribute_table& attributes);

 private:
  bool dropped_any() const { return n_kept_ != kept_.size(); }

  std::vector<std::uint32_t> counts_;
  std::vector<std::uint8_t> kept_;  // per dense id, by the last mark
  std::uint32_t n_kept_ = 0;
  std::vector<std::uint32_t> next_id_;  // filled by renumbering()
};
