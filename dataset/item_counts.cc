#include "dataset/item_counts.h"

#include <algorithm>

void item_counts::add_small_beyond_table(std::uint32_t input_id) {
  const std::uint64_t allowed =
      std::max<std::uint64_t>(kDenseIdFloor, kEntriesPerId * (distinct_dense_ + small_in_sparse_ + 1));
  if (input_id >= allowed) {
    const std::size_t before = sparse_.size();
    ++sparse_[input_id];
    small_in_sparse_ += sparse_.size() - before;
    return;
  }
  // Doubling keeps counting amortised O(1) even when ids arrive in ascending order.
  const std::size_t size = std::min<std::uint64_t>(
      {std::max<std::uint64_t>(input_id + 1ULL, 2 * dense_.size()), allowed, kDenseIdLimit});
  dense_.resize(size, 0);
  if (small_in_sparse_ > 0) {
    // The hash table's ids below the new size move into the table.
    id_map kept;
    kept.reserve(sparse_.size());
    sparse_.for_each([&](std::uint32_t id, std::uint32_t count) {
      if (id < size)
        dense_[id] += count;
      else
        kept[id] = count;
    });
    sparse_ = std::move(kept);
    recount_distinct();
  }
  distinct_dense_ += dense_[input_id] == 0 ? 1 : 0;
  ++dense_[input_id];
}

void item_counts::recount_distinct() {
  distinct_dense_ = 0;
  for (std::uint32_t count : dense_) distinct_dense_ += count != 0 ? 1 : 0;
  small_in_sparse_ = 0;
  sparse_.for_each([&](std::uint32_t id, std::uint32_t) {
    small_in_sparse_ += id < kDenseIdLimit ? 1 : 0;
  });
}

std::uint32_t item_counts::support_of(std::uint32_t input_id) const {
  if (input_id < dense_.size()) return dense_[input_id];
  const std::uint32_t* count = sparse_.find(input_id);
  return count == nullptr ? 0 : *count;
}

std::vector<item_entry> item_counts::frequent(std::uint32_t min_count) const {
  // Ids that never occur have support 0 and min_count is at least 1, so they
  // are never listed.
  std::vector<item_entry> out;
  for (std::size_t id = 0; id < dense_.size(); ++id)
    if (dense_[id] >= min_count) out.push_back({static_cast<std::uint32_t>(id), dense_[id], 0});
  // Every id of the hash table lies past the table.
  std::size_t first_sparse = out.size();
  sparse_.for_each([&](std::uint32_t id, std::uint32_t count) {
    if (count >= min_count) out.push_back({id, count, 0});
  });
  if (out.size() > first_sparse) {
    std::vector<item_entry> sparse(out.begin() + static_cast<std::ptrdiff_t>(first_sparse), out.end());
    sort_entries_by(sparse, [](const item_entry& e) { return e.id; });
    std::copy(sparse.begin(), sparse.end(), out.begin() + static_cast<std::ptrdiff_t>(first_sparse));
  }
  return out;
}

void item_counts::clear() {
  std::fill(dense_.begin(), dense_.end(), 0);
  distinct_dense_ = 0;
  // The large ids keep their slots: the recount meets the same ones again.
  sparse_.zero_values();
}

void item_counts::release() {
  std::vector<std::uint32_t>().swap(dense_);
  sparse_.release();
  distinct_dense_ = 0;
  small_in_sparse_ = 0;
}

void item_counts::add_up(cluster& peers) {
  dense_.resize(static_cast<std::size_t>(peers.max(dense_.size())), 0);
  peers.sum(dense_.data(), dense_.size());
  // The large ids differ from rank to rank: each sends its (id, count) pairs.
  std::vector<std::uint64_t> mine;
  mine.reserve(sparse_.size());
  sparse_.for_each([&](std::uint32_t id, std::uint32_t count) {
    if (count != 0) mine.push_back(std::uint64_t{id} << 32 | count);
  });
  const std::vector<std::uint64_t> all = peers.gather_all(mine);
  sparse_.clear();
  // A rank's table may reach past another's hash table ids: they go to the table.
  for (std::uint64_t v : all) {
    const std::uint32_t id = static_cast<std::uint32_t>(v >> 32);
    if (id < dense_.size())
      dense_[id] += static_cast<std::uint32_t>(v);
    else
      sparse_[id] += static_cast<std::uint32_t>(v);
  }
  recount_distinct();
  id_bound_ = peers.max(id_bound_);
  peers.exchanged_bytes +=
      dense_.size() * sizeof(std::uint32_t) + all.size() * sizeof(std::uint64_t);
}
