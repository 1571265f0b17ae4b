// Succinct anti-monotone constraints: "subseteq", "asubseteq", "mingeq",
// "maxleq".
//
// Each decides item by item, so the first scan enforces it once and for all:
// preprocess_transaction keeps only the allowed items (input ids). Prefix items
// count too: if one of them is not allowed (prefix_ok false, set by fold_prefix)
// nothing can be written, every transaction is emptied and holds fails.
// holds is exact for P ∪ X; "subseteq" lists input ids, which the
// renumbered items no longer carry, so its test relies on the filtering and
// checks the prefix only. No clones: the engine never sees these classes.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

// Every item of P ∪ X is listed (list: sorted, distinct input ids).
template <class T>
class item_subset_succinct : public succinct_constraint<T> {
 public:
  static void parse(const char* keyword, const char* params, constraint_set& set);
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T*, int) override { return p.prefix_ok; }
  void preprocess_transaction(transaction_view<T>& t) override;
  ConstraintParams p;
};

// Every value of V is listed (list: sorted, distinct values).
template <class T>
class value_subset_succinct : public succinct_constraint<T> {
 public:
  static void parse(const char* keyword, const char* params, constraint_set& set);
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>& t) override;
  bool allowed(std::uint32_t v) const;
  ConstraintParams p;
};

// Every value of V is >= bound.
template <class T>
class min_at_least_succinct : public succinct_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>& t) override;
  bool allowed(std::uint32_t v) const { return v >= p.bound; }
  ConstraintParams p;
};

// Every value of V is <= bound.
template <class T>
class max_at_most_succinct : public succinct_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>& t) override;
  bool allowed(std::uint32_t v) const { return v <= p.bound; }
  ConstraintParams p;
};
