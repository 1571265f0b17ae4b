// The constraint interface and its five kinds.
//
// A constraint object plays one of two roles, both of the same classes:
//   - active instance (T = unsigned int): made when the keyword registry
//     (constraints/registry.h) parses a command-line occurrence, filed in one
//     kind table of the run's constraint_set, works on input item ids during
//     the first scan and the Winnow passes;
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

#include "constraints/values.h"
#include "util/transaction.h"

class constraint_set;

template <class T>
class itemset_constraint {
 public:
  virtual ~itemset_constraint() = default;

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
  // Whether holds reads nothing but the Summary of V, so that a walk may
  // build the summary a value at a time (constraints/summary_path.h). If so,
  // sets root to the summary of the prefix values, counted_value to the value
  // Summary::counted counts (a median's split) and fields to the fields the
  // test reads besides n and sum (summary_fields).
  virtual bool summarises(Summary& /*root*/, std::uint32_t& /*counted_value*/,
                          unsigned& /*fields*/) const {
    return false;
  }
  // holds from V's summary s; asked only of a constraint that summarises.
  virtual bool holds_summary(const Summary& /*s*/) const { return false; }
  // The same for V = the values s summarises and one more value v (s keeps
  // the fields summarises named).
  virtual bool holds_after(const Summary& /*s*/, std::uint32_t /*v*/) const { return false; }
  // holds_after for each of count values, column[last[i]]: clears keep[i]
  // where it fails (a group's itemsets, one call for the group).
  virtual void keep_after_each(const Summary& s, const std::uint32_t* column, const T* last,
                               int count, std::uint8_t* keep) const {
    for (int i = 0; i < count; ++i)
      if (keep[i] != 0 && !holds_after(s, column[last[i]])) keep[i] = 0;
  }

  std::vector<std::uint32_t>* attribute_values = nullptr;
  int attribute = -1;
};

// Fails for every superset of a failing itemset: the engine drops failing
// candidates and never extends them.
template <class T>
class anti_monotone_constraint : public virtual itemset_constraint<T> {
 public:
  // First scan, input ids: may drop items that no satisfying itemset holds.
  virtual void preprocess_transaction(transaction_view<T>& t) = 0;
  virtual anti_monotone_constraint<std::uint8_t>* clone_am(std::uint8_t) const = 0;
  virtual anti_monotone_constraint<std::uint16_t>* clone_am(std::uint16_t) const = 0;
  virtual anti_monotone_constraint<std::uint32_t>* clone_am(std::uint32_t) const = 0;
  template <class U>
  anti_monotone_constraint<U>* clone() const {
    return clone_am(U{});
  }
};

// Holds for every superset of a satisfying itemset: prunes data, not candidates.
// process_transaction empties a transaction that, with the prefix items, cannot
// contain any satisfying itemset; it runs in the first scan and the Winnow
// passes (input ids) and in every counting pass of the engine (dense ids).
template <class T>
class monotone_constraint : public virtual itemset_constraint<T> {
 public:
  virtual void process_transaction(transaction_view<T>& t) = 0;
  // false when process_transaction must not run again on data that the first
  // scan already processed (the Winnow passes skip such a constraint).
  virtual bool reapplied_by_winnow() const { return true; }
  virtual monotone_constraint<std::uint8_t>* clone_m(std::uint8_t) const = 0;
  virtual monotone_constraint<std::uint16_t>* clone_m(std::uint16_t) const = 0;
  virtual monotone_constraint<std::uint32_t>* clone_m(std::uint32_t) const = 0;
  template <class U>
  monotone_constraint<U>* clone() const {
    return clone_m(U{});
  }
};

// Decided item by item: enforced once by deleting items in the first scan.
// holds is false only when the prefix items already violate it.
template <class T>
class succinct_constraint : public virtual itemset_constraint<T> {
 public:
  // First scan, input ids: drops every item the constraint refuses.
  virtual void preprocess_transaction(transaction_view<T>& t) = 0;
};

// Anti-monotone over prefixes once items are ordered by the constraint's
// attribute (ascending: ascending values). The first constraint of
// constraint_set::convertible_table sets the dense item order; holds is exact in any order.
// before_counting/after_counting may empty or shorten a transaction only when
// order_holds (this constraint set the order) and only where no itemset of
// length >= k that satisfies the constraint can be lost.
template <class T>
class convertible_constraint : public virtual itemset_constraint<T> {
 public:
  virtual bool ascending() const = 0;
  virtual void before_counting(transaction_view<T>& t, int k, bool order_holds) = 0;
  virtual void after_counting(transaction_view<T>& t, int k, bool order_holds) = 0;
  // Whether no itemset made of items[0..n) (n >= 1, ascending in the order
  // this constraint set) and items after items[n-1] satisfies the constraint
  // with the prefix items: a join generates nothing worth counting from a
  // first joined itemset that closes its extensions. A sufficient test (false
  // promises nothing), and monotone along a group: for n >= 2, when
  // items[0..n-1) + a closes, so does items[0..n-1) + b for every b after a.
  // Only the constraint that set the order may be asked.
  virtual bool closes_extensions(const T* items, int n) = 0;
  virtual convertible_constraint<std::uint8_t>* clone_convertible(std::uint8_t) const = 0;
  virtual convertible_constraint<std::uint16_t>* clone_convertible(std::uint16_t) const = 0;
  virtual convertible_constraint<std::uint32_t>* clone_convertible(std::uint32_t) const = 0;
  template <class U>
  convertible_constraint<U>* clone() const {
    return clone_convertible(U{});
  }
};

// Neither monotone nor anti-monotone; the engine stores one flag per itemset,
// writes only itemsets whose flags are all set, and (when prunes_transactions())
// drops transactions that contain no satisfying candidate of the current level.
template <class T>
class loose_constraint : public virtual itemset_constraint<T> {
 public:
  // true when every satisfying itemset of 4 or more items has a satisfying
  // subset one item shorter, given the current prefix state; only then may
  // out-of-core counting drop transactions on this constraint's account.
  virtual bool prunes_transactions() const = 0;
  virtual loose_constraint<std::uint8_t>* clone_loose(std::uint8_t) const = 0;
  virtual loose_constraint<std::uint16_t>* clone_loose(std::uint16_t) const = 0;
  virtual loose_constraint<std::uint32_t>* clone_loose(std::uint32_t) const = 0;
  template <class U>
  loose_constraint<U>* clone() const {
    return clone_loose(U{});
  }
};
