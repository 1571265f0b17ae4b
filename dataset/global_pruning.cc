#include "dataset/global_pruning.h"

#include "dataset/attributes.h"
#include "dataset/items.h"

void global_pruning::mark(std::uint32_t threshold) {
  // A flag per id, not a marker value in the numbering: every 32-bit value,
  // 4294967295 included, is a valid input id.
  kept_.assign(counts_.size(), 0);
  n_kept_ = 0;
  for (std::size_t i = 0; i < counts_.size(); ++i) {
    if (counts_[i] < threshold) continue;
    kept_[i] = 1;
    ++n_kept_;
  }
}

const std::uint32_t* global_pruning::renumbering() {
  if (!dropped_any()) return nullptr;
  next_id_.assign(kept_.size(), 0);
  std::uint32_t next = 0;
  for (std::size_t i = 0; i < kept_.size(); ++i)
    if (kept_[i]) next_id_[i] = next++;
  return next_id_.data();
}

bool global_pruning::compact(item_table& items, attribute_table& attributes) {
  if (!dropped_any()) return false;
  std::vector<std::uint32_t> keep;
  keep.reserve(n_kept_);
  for (std::uint32_t i = 0; i < kept_.size(); ++i)
    if (kept_[i]) keep.push_back(i);
  items.compact(keep);
  attributes.compact(keep);
  // The marks now describe the new numbering: every item is kept.
  kept_.assign(n_kept_, 1);
  counts_.clear();
  return true;
}
