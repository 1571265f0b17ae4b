// Anti-monotone constraints: "sumleq", "rangeleq", "acountleq".
//
// Each reads one attribute column (values by item id) and tests its keyword
// on the values of P ∪ X, every item of the output line, P being the prefix
// items folded once by fold_prefix. A failing itemset fails for every superset, so the
// engine drops failing candidates. T is the item type (uint8/16/32).
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

// sum(V) <= threshold (signed).
template <class T>
class sum_at_most_anti_monotone : public anti_monotone_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  // Drops the items whose value alone takes the sum over the bound; prefix
  // items stay (the "supseteq" step removes them later).
  void preprocess_transaction(transaction_view<T>& t) override;
  KESTREL_SUMMARISED(sum_at_most_anti_monotone, 0)
  KESTREL_CLONES(sum_at_most_anti_monotone, anti_monotone_constraint, clone_am)
  ConstraintParams p;
};

// n <= 1 or max(V) - min(V) <= threshold (unsigned).
template <class T>
class range_at_most_anti_monotone : public anti_monotone_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>&) override {}
  KESTREL_SUMMARISED(range_at_most_anti_monotone, kExtremes)
  KESTREL_CLONES(range_at_most_anti_monotone, anti_monotone_constraint, clone_am)
  ConstraintParams p;
};

// The number of values in V equal to counted_value is <= threshold (unsigned).
template <class T>
class value_count_at_most_anti_monotone : public anti_monotone_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>&) override {}
  KESTREL_SUMMARISED(value_count_at_most_anti_monotone, kCounted)
  KESTREL_CLONES(value_count_at_most_anti_monotone, anti_monotone_constraint, clone_am)
  ConstraintParams p;
};
