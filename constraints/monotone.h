// Monotone constraints: "supseteq", "asupseteq", "lengeq", "sumgeq",
// "acountgeq" and the monotone halves of "minleq" and "rangegeq".
//
// A monotone constraint that holds for P ∪ X holds for every superset, so it
// prunes data, not candidates: process_transaction (first scan and Winnow
// passes on input ids, engine passes on dense ids) empties a transaction t
// exactly when P ∪ t already fails, since then no P ∪ X with X ⊆ t can hold. holds is exact for P ∪
// X (P = prefix items, folded by fold_prefix). T is the item type (uint8/16/32).
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

// Shared shape: holds and process_transaction forward to two hooks of the
// concrete class, satisfied() and transaction_can_hold().
template <class T>
class monotone_base : public monotone_constraint<T> {
 public:
  using itemset_constraint<T>::holds;
  bool holds(const T* items, int n) override { return satisfied(items, n); }
  void process_transaction(transaction_view<T>& t) override {
    if (t.length != 0 && !transaction_can_hold(t.items, static_cast<int>(t.length))) t.length = 0;
  }
  // Exact test of P ∪ items.
  virtual bool satisfied(const T* items, int n) const = 0;
  // false when P ∪ items (the whole transaction) fails, so every subset fails.
  virtual bool transaction_can_hold(const T* items, int n) const { return satisfied(items, n); }
};

// "supseteq": the listed items become prefix items. The first scan keeps a
// transaction only if it holds every item this occurrence claimed, and strips
// them; mining then runs on the other items and X never holds a prefix item.
// The typed clones claim nothing: the engine's data hold no prefix item.
template <class T>
class item_superset_monotone : public monotone_base<T> {
 public:
  static void parse(const char* keyword, const char* params, constraint_set& set);
  bool satisfied(const T*, int) const override { return true; }
  // Stripping is done once, by the first scan: the Winnow passes read the
  // already stripped data and must not look for the items again.
  bool reapplied_by_winnow() const override { return false; }
  void process_transaction(transaction_view<T>& t) override;
  monotone_constraint<std::uint8_t>* clone_m(std::uint8_t) const override {
    return typed<std::uint8_t>();
  }
  monotone_constraint<std::uint16_t>* clone_m(std::uint16_t) const override {
    return typed<std::uint16_t>();
  }
  monotone_constraint<std::uint32_t>* clone_m(std::uint32_t) const override {
    return typed<std::uint32_t>();
  }
  template <class U>
  item_superset_monotone<U>* typed() const {
    return new item_superset_monotone<U>;
  }
  ConstraintParams p;  // list: the items this occurrence claimed, sorted
};

// "asupseteq": every listed value occurs among the values of P ∪ X.
template <class T>
class value_superset_monotone : public monotone_base<T> {
 public:
  static void parse(const char* keyword, const char* params, constraint_set& set);
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  monotone_constraint<std::uint8_t>* clone_m(std::uint8_t) const override {
    return copy<std::uint8_t>();
  }
  monotone_constraint<std::uint16_t>* clone_m(std::uint16_t) const override {
    return copy<std::uint16_t>();
  }
  monotone_constraint<std::uint32_t>* clone_m(std::uint32_t) const override {
    return copy<std::uint32_t>();
  }
  ConstraintParams p;  // list: the required values, sorted and distinct
  // For a list of up to 64 values all below kValueSlots: each value's bit in
  // the word of values found (kNotListed for a value not listed), so that a
  // test reads one entry per item instead of searching the list; empty
  // otherwise. Made by parse from the list alone, copied by the clones.
  static constexpr std::uint32_t kValueSlots = 65536;
  static constexpr std::uint8_t kNotListed = 0xff;
  std::vector<std::uint8_t> slot_of_value;

 private:
  template <class U>
  value_superset_monotone<U>* copy() const {
    auto* c = retyped_copy<value_superset_monotone<U>>(*this);
    c->slot_of_value = slot_of_value;
    return c;
  }
  bool satisfied_by_long_list(const T* items, int n) const;  // more than 64 values
};

// "lengeq": |P ∪ X| >= bound (unsigned).
template <class T>
class length_at_least_monotone : public monotone_base<T> {
 public:
  static void parse(const char* keyword, const char* params, constraint_set& set);
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  KESTREL_CLONES(length_at_least_monotone, monotone_constraint, clone_m)
  ConstraintParams p;
};

// "sumgeq": sum(V) >= threshold (signed).
template <class T>
class sum_at_least_monotone : public monotone_base<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  KESTREL_SUMMARISED(sum_at_least_monotone, 0)
  KESTREL_CLONES(sum_at_least_monotone, monotone_constraint, clone_m)
  ConstraintParams p;
};

// "acountgeq": at least bound values of V equal counted_value.
template <class T>
class value_count_at_least_monotone : public monotone_base<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  KESTREL_SUMMARISED(value_count_at_least_monotone, kCounted)
  KESTREL_CLONES(value_count_at_least_monotone, monotone_constraint, clone_m)
  ConstraintParams p;
};

// Monotone half of "minleq": n = 0, or min(V) <= bound. Filed with its monotone half by the
// registry.
template <class T>
class min_at_most_monotone : public monotone_base<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  KESTREL_SUMMARISED(min_at_most_monotone, kExtremes)
  KESTREL_CLONES(min_at_most_monotone, monotone_constraint, clone_m)
  ConstraintParams p;
};

// Monotone half of "rangegeq": n >= 1 and max(V) - min(V) >= bound.
template <class T>
class range_at_least_monotone : public monotone_base<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  KESTREL_SUMMARISED(range_at_least_monotone, kExtremes)
  KESTREL_CLONES(range_at_least_monotone, monotone_constraint, clone_m)
  ConstraintParams p;
};
