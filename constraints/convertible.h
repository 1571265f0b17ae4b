// Convertible anti-monotone constraints: "avggeq2", "avgleq2", "minleq2",
// "maxgeq2", "medgeq2", "medleq2", "rangeleq2".
//
// Each is anti-monotone over prefixes once the items are listed in the order of
// its attribute (ascending: ascending values). The first constraint of
// constraint_set::convertible_table sets the dense item order; only that one, told by
// order_holds, may use the order: before_counting empties and after_counting
// shortens a transaction only where no itemset of k or more items (k+1 or more
// for after_counting) satisfying the constraint with the prefix items loses a
// transaction or an item. holds is exact for P ∪ X in any order.
// T is the item type (uint8/16/32).
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

template <class T>
class convertible_base : public convertible_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override {
    p.prefix.fold(this->attribute_values, prefix_items);
  }
  void after_counting(transaction_view<T>&, int, bool) override {}
  Summary summary(const T* items, int k) const {
    return summarize(p.prefix, *this->attribute_values, items, k);
  }
  std::uint32_t value(T item) const { return (*this->attribute_values)[item]; }
  ConstraintParams p;
  std::vector<std::uint32_t> scratch;  // median work space
};

// A convertible class; Summarised is KESTREL_SUMMARISED(Class, fields) when
// its test reads V's Summary only (holds then summarises the itemset and asks holds_summary),
// empty when it reads the values themselves.
#define KESTREL_CONVERTIBLE_CLASS(Class, is_ascending, Summarised)                  \
  template <class T>                                                                \
  class Class : public convertible_base<T> {                                        \
   public:                                                                          \
    bool ascending() const override { return is_ascending; }                        \
    bool holds(const T* items, int n) override;                                     \
    void before_counting(transaction_view<T>& t, int k, bool order_holds) override; \
    bool closes_extensions(const T* items, int n) override;                         \
    Summarised KESTREL_CLONES(Class, convertible_constraint, clone_convertible)     \
  };

// n >= 1 and mean(V) >= threshold; descending order.
template <class T>
class mean_at_least_convertible : public convertible_base<T> {
 public:
  bool ascending() const override { return false; }
  bool holds(const T* items, int n) override;
  void before_counting(transaction_view<T>& t, int k, bool order_holds) override;
  void after_counting(transaction_view<T>& t, int k, bool order_holds) override;
  bool closes_extensions(const T* items, int n) override;
  KESTREL_SUMMARISED(mean_at_least_convertible, 0)
  KESTREL_CLONES(mean_at_least_convertible, convertible_constraint, clone_convertible)
};

// n = 0, or mean(V) <= threshold; ascending order.
template <class T>
class mean_at_most_convertible : public convertible_base<T> {
 public:
  bool ascending() const override { return true; }
  bool holds(const T* items, int n) override;
  void before_counting(transaction_view<T>& t, int k, bool order_holds) override;
  void after_counting(transaction_view<T>& t, int k, bool order_holds) override;
  bool closes_extensions(const T* items, int n) override;
  KESTREL_SUMMARISED(mean_at_most_convertible, 0)
  KESTREL_CLONES(mean_at_most_convertible, convertible_constraint, clone_convertible)
};

// n = 0, or min(V) <= bound.
KESTREL_CONVERTIBLE_CLASS(min_at_most_convertible, true,
                          KESTREL_SUMMARISED(min_at_most_convertible, kExtremes))
// (n = 0 and bound = 0), or n >= 1 and max(V) >= bound.
KESTREL_CONVERTIBLE_CLASS(max_at_least_convertible, false,
                          KESTREL_SUMMARISED(max_at_least_convertible, kExtremes))
// n >= 1 and median(V) >= threshold.
KESTREL_CONVERTIBLE_CLASS(median_at_least_convertible, false, KESTREL_MEDIAN_SUMMARISED(+1))
// n >= 1 and median(V) <= threshold.
KESTREL_CONVERTIBLE_CLASS(median_at_most_convertible, true, KESTREL_MEDIAN_SUMMARISED(-1))
// n <= 1, or max(V) - min(V) <= bound.
KESTREL_CONVERTIBLE_CLASS(range_at_most_convertible, true,
                          KESTREL_SUMMARISED(range_at_most_convertible, kExtremes))
