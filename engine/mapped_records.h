// Reads the 32-bit records of "dataset.tmp" (input ids, as the first scan wrote
// them) and hands them out mapped to dense ids: ascending, the items that are
// not frequent dropped (map_to_dense_sorted).
//
// It reads a few records ahead of the one it hands out and fetches their ids'
// map entries meanwhile: with a million items nearly every lookup misses the
// cache, and the five or so lookups of one record alone leave the memory idle
// most of the time. The records ahead sit in a ring of kLinesAhead slots of
// capacity items each. Long records are read one at a time: their own lookups
// overlap enough, and the ring would grow with them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/items.h"
#include "dataset/temp_dataset.h"
#include "engine/dense_ids.h"
#include "util/error.h"
#include "util/transaction.h"

template <class T>
class mapped_records {
 public:
  // capacity: the longest record's length (records longer throw run_error);
  // meter: follows the pass (null: none).
  mapped_records(const std::string& name, std::uint32_t capacity, const item_table& items,
                 pass_meter* meter = nullptr)
      : in_(name, meter),
        capacity_(capacity),
        lines_(capacity <= kShortRecord ? kLinesAhead : 1),
        items_(items),
        ring_(static_cast<std::size_t>(lines_) * capacity),
        lengths_(lines_) {
    if (!in_.is_open()) throw run_error(name + " could not be opened!");
  }

  // The next record, mapped, into out (room for capacity items); false at the end.
  bool next(transaction_view<T>& out) {
    while (!at_end_ && held_ < lines_) {
      const std::size_t slot = (first_ + held_) % lines_;
      transaction_view<std::uint32_t> t{ring_.data() + slot * capacity_, 0};
      if (!in_.read_next(t, static_cast<std::uint32_t>(capacity_))) {
        at_end_ = true;
        break;
      }
      lengths_[slot] = t.length;
      for (std::uint32_t i = 0; i < t.length; ++i) items_.prefetch_input(t.items[i]);
      ++held_;
    }
    if (held_ == 0) return false;
    const transaction_view<std::uint32_t> t{ring_.data() + first_ * capacity_, lengths_[first_]};
    map_to_dense_sorted(t, out, items_);
    first_ = (first_ + 1) % lines_;
    --held_;
    return true;
  }

  // Records in the ring at most (1 for long records).
  std::uint32_t lines_ahead() const { return lines_; }

 private:
  static constexpr std::uint32_t kShortRecord = 1024;  // items
  static constexpr std::uint32_t kLinesAhead = 8;
  temp_dataset_reader<std::uint32_t> in_;
  const std::size_t capacity_;
  const std::uint32_t lines_;
  const item_table& items_;
  std::vector<std::uint32_t> ring_;     // lines_ slots of capacity_ items
  std::vector<std::uint32_t> lengths_;  // per slot: its record's length
  std::size_t first_ = 0;               // slot of the next record handed out
  std::uint32_t held_ = 0;              // records read and not yet handed out
  bool at_end_ = false;
};
