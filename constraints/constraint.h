// The constraint interface, its five kinds and the keyword registry.
//
// A constraint object plays one of three roles, all of the same classes:
//   - prototype: one per keyword in GLOBAL_TABLE (T = unsigned int), used only to
//     parse a command-line occurrence of its keyword;
//   - active instance: made by parse_parameters, filed in one kind table of the
//     run's constraint_set, works on input item ids during the first scan and the
//     Winnow passes;
//   - typed clone: made for the engine's item type T when mining starts, filed in
//     typed_constraints<T> (constraints/constraint_set.h), works on dense item ids.
// T is the item type (uint8_t, uint16_t or uint32_t). Attribute columns are owned
// by the attribute table (dataset/attributes.h); constraints only point to them.
//
// Every holds answers for the whole written itemset: the keyword's test on
// the values of every item of the output line, the tested items together with
// the prefix items (the "supseteq" items; see the README's "Output" section), in
// exact integer arithmetic. Only the first
// convertible constraint may rely on the item order; every other test reads all
// items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/transaction.h"

class constraint_set;

template <class T>
class Constraint {
 public:
  virtual ~Constraint() = default;

  // Parses one command-line parameter text, creates and files the active
  // instance(s) in set and returns the one the driver inspects. Malformed text throws
  // run_error with a one-line message. Only prototypes (T = unsigned int) parse.
  virtual Constraint<std::uint32_t>* parse_parameters(const char* params,
                                                      constraint_set& set) = 0;
  const char* keyword() const { return label; }
  int attribute_row() const { return attribute; }
  void bind_column(std::vector<std::uint32_t>* column) { attribute_values = column; }
  // Folds the prefix items (input ids) into the constraint's state; runs once,
  // after the column is bound (with the column still indexed by input id).
  virtual void fold_prefix(const std::vector<std::uint32_t>& /*prefix_items*/) {}
  // Whether the itemset of n items, together with the prefix items, satisfies
  // the constraint.
  virtual bool holds(const T* items, int n) = 0;
  bool holds(const std::vector<T>& itemset) {
    return holds(itemset.data(), static_cast<int>(itemset.size()));
  }
  virtual const char* usage() const { return "usage...."; }

  std::vector<std::uint32_t>* attribute_values = nullptr;
  const char* label = nullptr;
  int attribute = -1;
};

// Fails for every superset of a failing itemset: the engine drops failing
// candidates and never extends them.
template <class T>
class AntiMonotone : public virtual Constraint<T> {
 public:
  // First scan, input ids: may drop items that no satisfying itemset holds.
  virtual void preprocess_transaction(transaction_view<T>& t) = 0;
  virtual AntiMonotone<std::uint8_t>* clone_am(std::uint8_t) const = 0;
  virtual AntiMonotone<std::uint16_t>* clone_am(std::uint16_t) const = 0;
  virtual AntiMonotone<std::uint32_t>* clone_am(std::uint32_t) const = 0;
  template <class U>
  AntiMonotone<U>* clone() const { return clone_am(U{}); }
};

// Holds for every superset of a satisfying itemset: prunes data, not candidates.
// process_transaction empties a transaction that, with the prefix items, cannot
// contain any satisfying itemset; it runs in the first scan and the Winnow
// passes (input ids) and in every counting pass of the engine (dense ids).
template <class T>
class Monotone : public virtual Constraint<T> {
 public:
  virtual void process_transaction(transaction_view<T>& t) = 0;
  // false when process_transaction must not run again on data that the first
  // scan already processed (the Winnow passes skip such a constraint).
  virtual bool reapplied_by_winnow() const { return true; }
  virtual Monotone<std::uint8_t>* clone_m(std::uint8_t) const = 0;
  virtual Monotone<std::uint16_t>* clone_m(std::uint16_t) const = 0;
  virtual Monotone<std::uint32_t>* clone_m(std::uint32_t) const = 0;
  template <class U>
  Monotone<U>* clone() const { return clone_m(U{}); }
};

// Decided item by item: enforced once by deleting items in the first scan.
// holds is false only when the prefix items already violate it.
template <class T>
class Succinct : public virtual Constraint<T> {
 public:
  // First scan, input ids: drops every item the constraint refuses.
  virtual void preprocess_transaction(transaction_view<T>& t) = 0;
};

// Anti-monotone over prefixes once items are ordered by the constraint's
// attribute (ascending: ascending values). The first constraint of
// constraint_set::cam_table sets the dense item order; holds is exact in any order.
// before_counting/after_counting may empty or shorten a transaction only when
// order_holds (this constraint set the order) and only where no itemset of
// length >= k that satisfies the constraint can be lost.
template <class T>
class Convertible : public virtual Constraint<T> {
 public:
  virtual bool ascending() const = 0;
  virtual void before_counting(transaction_view<T>& t, int k, bool order_holds) = 0;
  virtual void after_counting(transaction_view<T>& t, int k, bool order_holds) = 0;
  virtual Convertible<std::uint8_t>* clone_cam(std::uint8_t) const = 0;
  virtual Convertible<std::uint16_t>* clone_cam(std::uint16_t) const = 0;
  virtual Convertible<std::uint32_t>* clone_cam(std::uint32_t) const = 0;
  template <class U>
  Convertible<U>* clone() const { return clone_cam(U{}); }
};

// Neither monotone nor anti-monotone; the engine stores one flag per itemset,
// writes only itemsets whose flags are all set, and (when prunes_transactions())
// drops transactions that contain no satisfying candidate of the current level.
template <class T>
class Loose : public virtual Constraint<T> {
 public:
  // true when every satisfying itemset of 4 or more items has a satisfying
  // subset one item shorter, given the current prefix state; only then may
  // out-of-core counting drop transactions on this constraint's account.
  virtual bool prunes_transactions() const = 0;
  virtual Loose<std::uint8_t>* clone_lam(std::uint8_t) const = 0;
  virtual Loose<std::uint16_t>* clone_lam(std::uint16_t) const = 0;
  virtual Loose<std::uint32_t>* clone_lam(std::uint32_t) const = 0;
  template <class U>
  Loose<U>* clone() const { return clone_lam(U{}); }
};

// The keyword registry: one prototype per keyword, in the usage screen's row
// order. Built before main and never changed or destroyed.
extern const std::vector<Constraint<std::uint32_t>*>& GLOBAL_TABLE;
