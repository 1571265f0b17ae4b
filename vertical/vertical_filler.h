// The sink of the last counting pass over "dataset.tmp": each kept transaction
// goes into the in-memory database (bit matrix or tid-lists), at the next
// transaction position, instead of being written back. T is the dense item type.
#pragma once

#include <cstdint>

#include "levels/transaction_sink.h"
#include "vertical/vertical_dataset.h"

template <class T>
class vertical_filler : public transaction_sink<T> {
 public:
  // renumbering: null, or the new id of every dense id when global pruning has
  // compacted the numbering the dataset was sized for (global_pruning::renumbering).
  vertical_filler(vertical_dataset<T>& data, const std::uint32_t* renumbering)
      : data_(data), map_(renumbering) {}
  void add(T* items, std::uint32_t n) override {
    if (map_ != nullptr)
      for (std::uint32_t i = 0; i < n; ++i) items[i] = static_cast<T>(map_[items[i]]);
    data_.add_transaction(items, n, next_position_++);
  }
  void finish() override {
    data_.filled = next_position_;
    data_.finish_filling();
  }
  bool rewrites_dataset() const override { return false; }
  const std::uint32_t* renumbering() const override { return map_; }

 private:
  vertical_dataset<T>& data_;
  const std::uint32_t* map_;
  std::uint32_t next_position_ = 0;
};
