// The sink of the last counting pass over "dataset.tmp": each kept transaction
// sets its bits in the bit matrix, at the next transaction position, instead of
// being written back. T is the dense item type.
#pragma once

#include <cstdint>

#include "levels/transaction_sink.h"
#include "vertical/bit_matrix.h"

template <class T>
class bit_matrix_filler : public transaction_sink<T> {
 public:
  // renumbering: null, or the new id of every dense id when global pruning has
  // compacted the numbering the matrix was sized for (global_pruning::renumbering).
  bit_matrix_filler(bit_matrix<T>& matrix, const std::uint32_t* renumbering)
      : matrix_(matrix), map_(renumbering) {}
  void add(T* items, std::uint32_t n) override {
    if (map_ != nullptr)
      for (std::uint32_t i = 0; i < n; ++i) items[i] = static_cast<T>(map_[items[i]]);
    matrix_.add_transaction(items, n, next_position_++);
  }
  void finish() override {}
  bool rewrites_dataset() const override { return false; }
  const std::uint32_t* renumbering() const override { return map_; }

 private:
  bit_matrix<T>& matrix_;
  const std::uint32_t* map_;
  std::uint32_t next_position_ = 0;
};
