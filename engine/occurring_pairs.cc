#include "engine/occurring_pairs.h"

#include <algorithm>
#include <cassert>

#include "util/widths.h"

std::uint64_t occurring_pairs_bytes(std::uint64_t n, std::uint64_t occurrences,
                                    std::uint64_t transactions, std::uint64_t item_bytes) {
  if (occurrences + transactions > UINT32_MAX) return UINT64_MAX;
  // Kept items and sentinels, one position per occurrence, and per item a row
  // end, a counter and a touched slot.
  return (occurrences + transactions) * item_bytes + occurrences * 4 + n * (4 + 4 + item_bytes);
}

template <class T>
occurring_pairs<T>::occurring_pairs(std::uint32_t n, std::uint32_t first, std::uint32_t end,
                                    std::uint64_t reserve_items)
    : n_(n), first_(first), end_(end) {
  assert(first <= end && end <= n);
  items_.reserve(reserve_items);
}

template <class T>
void occurring_pairs<T>::add(const T* t, std::uint32_t len) {
  assert(len >= 2);
  std::uint32_t i = 0;
  if (first_ > 0) i = static_cast<std::uint32_t>(std::lower_bound(t, t + len, first_) - t);
  if (i + 1 >= len || t[i] >= end_) return;
  items_.insert(items_.end(), t + i, t + len);
  items_.push_back(static_cast<T>(n_));
}

template <class T>
void occurring_pairs<T>::index_rows() {
  // Count the occurrences with a successor per row of the block (sentinels lie
  // beyond it), turn the counts into run ends, then place each position at the
  // front of its item's run.
  const T sentinel = static_cast<T>(n_);
  auto starts_row = [&](std::size_t p) { return items_[p] < end_ && items_[p + 1] != sentinel; };
  row_end_.assign(n_, 0);
  // With a million items row_end_ outgrows the caches and every count misses:
  // the items kIndexAhead positions on are fetched first (a sentinel fetches
  // the end of the array, which is harmless).
  const std::size_t size = items_.size();
  const std::uint32_t* ends = row_end_.data();
  std::uint64_t with_successor = 0;
  for (std::size_t p = 0; p + 1 < size; ++p) {
    if (p + kIndexAhead < size) __builtin_prefetch(ends + items_[p + kIndexAhead], 1);
    if (starts_row(p)) {
      ++row_end_[items_[p]];
      ++with_successor;
    }
  }
  starts_.resize(with_successor);
  std::uint32_t sum = 0;
  for (std::uint32_t a = 0; a < n_; ++a) {
    sum += row_end_[a];
    row_end_[a] = sum;
  }
  // Filled back to front, so each run ends up ascending and row_end_ ends up
  // holding the run starts; a second sweep restores the ends.
  // Two stages ahead: the run end of the item 2 * kIndexAhead positions back,
  // then the slot in starts_ that the item kIndexAhead back will likely fill (a
  // repeat of that item in between moves it by one: only a hint).
  const std::uint32_t* placed = starts_.data();
  for (std::size_t p = size; p-- > 1;) {
    const std::size_t q = p - 1;
    if (q >= 2 * kIndexAhead) __builtin_prefetch(ends + items_[q - 2 * kIndexAhead], 1);
    if (q >= kIndexAhead) {
      const T ahead = items_[q - kIndexAhead];
      if (ahead < end_ && ends[ahead] > 0) __builtin_prefetch(placed + ends[ahead] - 1, 1);
    }
    if (starts_row(q)) starts_[--row_end_[items_[q]]] = static_cast<std::uint32_t>(q);
  }
  for (std::uint32_t a = 0; a + 1 < n_; ++a) row_end_[a] = row_end_[a + 1];
  if (n_ > 0) row_end_[n_ - 1] = static_cast<std::uint32_t>(with_successor);
}

#define KESTREL_INSTANTIATE(T) template class occurring_pairs<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
