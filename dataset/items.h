// The run's item table.
//
// During the first scan it counts the support of every item under its input id
// (the id written in the transaction file). Ids below kDenseIdLimit are counted
// in a table indexed directly by id; larger ids, which are rare and sparse
// (click-stream ids near 4e9), go to a hash table, so memory follows the number
// of distinct items, not the largest id.
// remap_items then drops the infrequent items and gives the frequent ones dense
// ids 0 .. n_items-1 in ascending support order (or in the order of the first
// convertible constraint's attribute), with a printable label per dense id.
// During mining the engine shrinks the table by global pruning.
//
// min_count is the effective support threshold max(sigma, 1): an itemset that no
// transaction contains is never frequent.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class attribute_table;

struct item_entry {
  std::uint32_t id;
  std::uint32_t count;
  std::uint32_t attr;
};

class item_table {
 public:
  static constexpr std::uint32_t kDenseIdLimit = 1u << 22;
  static constexpr std::uint32_t kNotFrequent = 0xFFFFFFFFu;
  static constexpr std::size_t kLabelSlot = 12;  // "4294967295 " and its terminator

  explicit item_table(std::uint32_t sigma);

  // --- counting (first scan, Winnow passes) ---
  void count_item(std::uint32_t input_id) {
    if (input_id < kDenseIdLimit) {
      if (input_id >= dense_counts.size()) grow_dense(input_id);
      ++dense_counts[input_id];
    } else {
      ++sparse_counts[input_id];
    }
    if (static_cast<std::uint64_t>(input_id) + 1 > n_counted) n_counted = input_id + 1ULL;
  }
  std::uint32_t support_of_input(std::uint32_t input_id) const;
  // Empties the counts (a Winnow pass recounts); n_counted is kept.
  void clear_counts();

  // --- renumbering ---
  // Dense ids in ascending support; labels only when make_labels.
  std::uint32_t remap_items(bool make_labels);
  // Dense ids in the order of column (attribute values by input id), ascending
  // or descending; labels always.
  std::uint32_t remap_items(const std::vector<std::uint32_t>& column, bool ascending);
  void delete_counts();
  // Dense id of an input id, or kNotFrequent. Follows global pruning: after
  // update_unmap it gives the compacted dense id, kNotFrequent for a dropped item.
  std::uint32_t map_input(std::uint32_t input_id) const {
    if (input_id < dense_map.size()) return dense_map[input_id];
    if (input_id < kDenseIdLimit) return kNotFrequent;
    auto it = sparse_map.find(input_id);
    return it == sparse_map.end() ? kNotFrequent : it->second;
  }
  // Support of dense id k (valid until global pruning changes the numbering).
  std::uint32_t support(std::uint32_t k) const { return item_support[k]; }
  const char* label(std::uint32_t k) const { return &item_label[k * kLabelSlot]; }

  // --- global pruning (engine) ---
  void init_global_pruning();
  // Marks the items whose global count is below threshold: pruned(k) becomes
  // true. unmap[k] keeps the input id (no marker value is free: 4294967295 is a
  // valid id), so callers test pruned(k).
  void end_global_pruning(std::uint32_t threshold);
  bool pruned(std::uint32_t k) const { return k < pruned_.size() && pruned_[k] != 0; }
  bool update_map();
  // Compacts the numbering after global pruning, with the labels and the
  // attribute columns; false when nothing was dropped.
  bool update_unmap(attribute_table& attributes);

  // --- vertical engine flags ---
  void init_flag_item();
  void init_first_item_counts();
  std::uint32_t get_active_items() const;

  std::vector<std::uint32_t> map;    // after update_map: current dense id -> next dense id
  std::vector<std::uint32_t> unmap;  // dense id -> input id
  std::vector<char> item_label;      // kLabelSlot bytes per dense id: "%u " and NUL
  std::vector<std::uint8_t> item_label_len;
  std::vector<std::uint32_t> item_support;  // support per dense id
  std::uint32_t min_count;                  // max(sigma, 1)
  std::uint32_t sigma;
  std::vector<std::uint8_t> flag_item;
  std::vector<std::uint32_t> first_item_counts;
  std::uint64_t first_frequent = 0;  // n_counted - n_items
  std::vector<std::uint32_t> global_count;
  std::uint64_t n_counted = 0;  // largest input id seen + 1
  std::uint32_t n_items = 0;
  std::uint32_t n_kept = 0;
  std::uint32_t n_transactions = 0;
  std::uint32_t max_support = 0;
  double dense_support_pct = 0.0;

  // Count tables, indexed by input id (dense part) or keyed by it (sparse part).
  std::vector<std::uint32_t> dense_counts;
  std::unordered_map<std::uint32_t, std::uint32_t> sparse_counts;

 private:
  void grow_dense(std::uint32_t input_id);
  void assign_dense_ids(std::vector<item_entry>& frequent, bool make_labels);
  std::vector<std::uint32_t> dense_map;  // input id -> dense id, for ids < kDenseIdLimit
  std::unordered_map<std::uint32_t, std::uint32_t> sparse_map;
  // Input ids dropped by the last end_global_pruning; update_unmap unmaps them.
  std::vector<std::uint32_t> pruned_inputs_;
  std::vector<std::uint8_t> pruned_;  // per dense id: dropped by the last end_global_pruning
};
