// The run's item table: the input ids' supports, then the dense numbering of
// the frequent items and its upkeep while mining.
//
// counts holds the support of every input id during the first scan and the
// Winnow passes. remap_items then drops the infrequent items and gives the
// frequent ones dense ids 0 .. n_items-1 in ascending support order (or in the
// order of the first convertible constraint's attribute), with a printable label
// per dense id. Global pruning may later shrink the numbering (compact).
//
// min_count is the effective support threshold max(sigma, 1): an itemset that no
// transaction contains is never frequent.
#pragma once

#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "dataset/item_counts.h"
#include "util/prefetch.h"

class attribute_table;

class item_table {
 public:
  static constexpr std::uint32_t kDenseIdLimit = item_counts::kDenseIdLimit;
  static constexpr std::uint32_t kDenseIdFloor = item_counts::kDenseIdFloor;
  static constexpr std::uint32_t kNotFrequent = 0xFFFFFFFFu;
  static constexpr std::size_t kLabelSlot = 12;  // "4294967295 " and its terminator

  explicit item_table(std::uint32_t sigma);

  // --- numbering and labels ---
  // Dense ids in ascending support; labels only when make_labels.
  void remap_items(bool make_labels);
  // Dense ids in the order of column (attribute values by input id), ascending
  // or descending; labels always.
  void remap_items(const std::vector<std::uint32_t>& column, bool ascending);
  // Dense id k becomes in_order[k] (its id and support); labels when make_labels.
  void number(const std::vector<item_entry>& in_order, bool make_labels);
  // Dense id of an input id, or kNotFrequent. Follows compact: a dropped item
  // maps to kNotFrequent, a kept one to its new dense id.
  std::uint32_t map_input(std::uint32_t input_id) const {
    assert(!input_map_released_);
    if (input_id < dense_map.size()) return dense_map[input_id];
    const std::uint32_t* dense = sparse_map.find(input_id);
    return dense == nullptr ? kNotFrequent : *dense;
  }
  // Fetches what map_input(input_id) reads.
  KESTREL_PREFETCHER void prefetch_input(std::uint32_t input_id) const {
    if (input_id < dense_map.size())
      __builtin_prefetch(dense_map.data() + input_id);
    else
      sparse_map.prefetch(input_id);
  }
  // Input id of dense id k.
  std::uint32_t input_id(std::uint32_t k) const { return unmap[k]; }
  // Support of dense id k.
  std::uint32_t support(std::uint32_t k) const { return item_support[k]; }
  // "<input id> " of dense id k, label_length(k) bytes (made by remap_items).
  const char* label(std::uint32_t k) const { return &item_label[k * kLabelSlot]; }
  std::size_t label_length(std::uint32_t k) const { return item_label_len[k]; }
  // The label slots and lengths of all dense ids, for loops that keep them in
  // registers, and the bytes of the slots.
  const char* label_slots() const { return item_label.data(); }
  const std::uint8_t* label_lengths() const { return item_label_len.data(); }
  std::size_t label_bytes() const { return item_label.size(); }
  // Fetches the label of dense id k and its length ahead of their reading.
  KESTREL_PREFETCHER void prefetch_label(std::uint32_t k) const {
    __builtin_prefetch(item_label.data() + std::size_t{k} * kLabelSlot);
    __builtin_prefetch(item_label_len.data() + k);
  }

  // Frees the map from input ids to dense ids once no pass reads input ids
  // any more (level 2 has mapped every transaction): with a million large ids
  // it takes 16 MiB. map_input must not be called after.
  void release_input_map();

  // Keeps only the dense ids in keep (ascending), which become 0 .. keep.size()-1
  // in that order, with their input ids, supports and labels; the input ids of
  // the others map to kNotFrequent from then on.
  void compact(const std::vector<std::uint32_t>& keep);

  item_counts counts;      // first scan and Winnow passes
  std::uint32_t min_count;  // max(sigma, 1)
  std::uint32_t sigma;
  std::uint32_t n_items = 0;
  std::uint32_t n_transactions = 0;  // in "dataset.tmp"; with several ranks, in all their files
  // This rank's share of n_transactions: the records of its own file (all of
  // them with one rank). What the rank's in-memory data is sized for.
  std::uint32_t own_transactions = 0;
  std::uint32_t max_support = 0;
  // Mean support, in percent of the transactions, of the items above 10 %.
  double dense_support_pct = 0.0;

 private:
  std::vector<std::uint32_t> unmap;  // dense id -> input id
  std::vector<char> item_label;      // kLabelSlot bytes per dense id: "%u " and NUL
  std::vector<std::uint8_t> item_label_len;
  std::vector<std::uint32_t> item_support;  // support per dense id
  // input id -> dense id: the ids below the size of dense_map there (those of
  // the count table's direct part, and every id below kDenseIdFloor), the
  // others in sparse_map (kNotFrequent once dropped).
  std::vector<std::uint32_t> dense_map;
  id_map sparse_map;
  bool input_map_released_ = false;
};
