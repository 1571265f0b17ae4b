#include "dataset/items.h"

#include <algorithm>

#include "util/decimal.h"

item_table::item_table(std::uint32_t sigma) : min_count(sigma > 0 ? sigma : 1), sigma(sigma) {}

namespace {

// Mean support, in percent of the n transactions, of the items whose support
// exceeds 10 % of them: the dense part that the vertical engine's choice of
// variant looks at. It depends on the supports alone, not on the item order.
double dense_support_pct_of(const std::vector<item_entry>& frequent, std::uint32_t n) {
  const double d = static_cast<double>(static_cast<std::uint64_t>(n) * 10 / 100);
  double sum = 0;
  std::uint64_t dense = 0;
  for (const item_entry& e : frequent) {
    if (static_cast<double>(e.count) > d) {
      sum += e.count;
      ++dense;
    }
  }
  return dense > 0 ? (sum * 100 / static_cast<double>(dense)) / n : 0.0;
}

}  // namespace

void item_table::remap_items(bool make_labels) {
  std::vector<item_entry> frequent = counts.frequent(min_count);
  dense_support_pct = dense_support_pct_of(frequent, n_transactions);
  // Ties are broken by input id so that a run is reproducible: the list is in
  // ascending id, and the sort by support is stable.
  sort_entries_by(frequent, [](const item_entry& e) { return e.count; });
  number(frequent, make_labels);
}

void item_table::remap_items(const std::vector<std::uint32_t>& column, bool ascending) {
  std::vector<item_entry> frequent = counts.frequent(min_count);
  dense_support_pct = dense_support_pct_of(frequent, n_transactions);
  for (item_entry& e : frequent) e.attr = column.at(e.id);
  // Infrequent entries are not in the list at all, so no frequent item can be
  // mistaken for one, whatever its attribute value.
  // Ties are broken by input id: the list is in ascending id, and the sort is stable.
  if (ascending)
    sort_entries_by(frequent, [](const item_entry& e) { return e.attr; });
  else
    sort_entries_by(frequent, [](const item_entry& e) { return ~e.attr; });
  number(frequent, true);
}

void item_table::number(const std::vector<item_entry>& in_order, bool make_labels) {
  n_items = static_cast<std::uint32_t>(in_order.size());
  max_support = 0;
  unmap.assign(n_items, 0);
  item_support.assign(n_items, 0);
  // The ids the count table held directly, and any below kDenseIdFloor (a list
  // given by the caller may hold ids never counted), are mapped by a table.
  std::size_t direct = counts.dense_table_size();
  for (const item_entry& e : in_order)
    if (e.id < kDenseIdFloor) direct = std::max<std::size_t>(direct, e.id + std::size_t{1});
  dense_map.assign(direct, kNotFrequent);
  sparse_map.release();
  input_map_released_ = false;
  std::size_t n_large = 0;
  for (const item_entry& e : in_order) n_large += e.id >= direct ? 1 : 0;
  sparse_map.reserve(n_large);
  item_label.clear();
  item_label_len.clear();
  if (make_labels) {
    item_label.assign(static_cast<std::size_t>(n_items) * kLabelSlot, 0);
    item_label_len.assign(n_items, 0);
  }
  constexpr std::uint32_t kAhead = 16;  // the map is read at random: fetch ahead
  for (std::uint32_t k = 0; k < n_items; ++k) {
    if (k + kAhead < n_items && in_order[k + kAhead].id >= direct)
      sparse_map.prefetch(in_order[k + kAhead].id);
    const item_entry& e = in_order[k];
    unmap[k] = e.id;
    item_support[k] = e.count;
    max_support = std::max(max_support, e.count);
    if (e.id < direct) {
      dense_map[e.id] = k;
    } else {
      sparse_map[e.id] = k;
    }
    if (make_labels) {
      // At most ten digits and the blank: the slot's last byte stays 0.
      item_label_len[k] = static_cast<std::uint8_t>(format_decimal(&item_label[k * kLabelSlot], e.id, ' '));
    }
  }
}

void item_table::release_input_map() {
  std::vector<std::uint32_t>().swap(dense_map);
  sparse_map.release();
  input_map_released_ = true;
}

void item_table::compact(const std::vector<std::uint32_t>& keep) {
  // Input ids of the dropped items no longer map to anything.
  for (std::uint32_t i = 0, next = 0; i < n_items; ++i) {
    if (input_map_released_) break;
    if (next < keep.size() && keep[next] == i) {
      ++next;
    } else if (unmap[i] < dense_map.size()) {
      dense_map[unmap[i]] = kNotFrequent;
    } else {
      sparse_map[unmap[i]] = kNotFrequent;
    }
  }
  const std::uint32_t n_kept = static_cast<std::uint32_t>(keep.size());
  for (std::uint32_t j = 0; j < n_kept; ++j) {
    const std::uint32_t i = keep[j];
    if (i != j) {
      unmap[j] = unmap[i];
      item_support[j] = item_support[i];
      if (!item_label.empty()) {
        std::copy_n(&item_label[i * kLabelSlot], kLabelSlot, &item_label[j * kLabelSlot]);
        item_label_len[j] = item_label_len[i];
      }
    }
    const std::uint32_t input = unmap[j];
    if (input_map_released_) continue;
    if (input < dense_map.size())
      dense_map[input] = j;
    else
      sparse_map[input] = j;
  }
  unmap.resize(n_kept);
  item_support.resize(n_kept);
  if (!item_label.empty()) {
    item_label.resize(static_cast<std::size_t>(n_kept) * kLabelSlot);
    item_label_len.resize(n_kept);
  }
  n_items = n_kept;
}
