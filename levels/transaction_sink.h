// Where a counting pass over "dataset.tmp" sends each transaction it keeps.
//
// Pair counting and the out-of-core passes read "dataset.tmp", prune every
// transaction and hand the survivors, in order, to one sink: either the
// rewriter of "dataset.tmp" (engine/dataset_rewriter.h), whose output the next
// pass reads, or the filler of the in-memory database (vertical/vertical_filler.h),
// which ends the passes over the file. The level driver creates the sink, so
// the counting passes never see the in-memory database. T is the dense item type.
#pragma once

#include <cstdint>

template <class T>
class transaction_sink {
 public:
  virtual ~transaction_sink() = default;
  // Takes the next kept transaction: n >= 1 ascending dense ids. The sink may
  // renumber them in place (see renumbering()).
  virtual void add(T* items, std::uint32_t n) = 0;
  // Ends the pass; throws run_error when the transactions could not be kept.
  virtual void finish() = 0;
  // True when the kept transactions are the data of the next pass: the pass then
  // counts for global pruning and sets the transaction count.
  virtual bool rewrites_dataset() const = 0;
  // The numbering the sink keeps the items under: null when unchanged, else the
  // new id of dense id x at [x]. A pass stores its level under the same numbering.
  virtual const std::uint32_t* renumbering() const { return nullptr; }
};
