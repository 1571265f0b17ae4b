// Loose anti-monotone constraints on the mean, the median, the minimum, the
// range and the maximum: "avggeq", "avgleq", "medgeq", "medleq", "maxgeq" and
// the loose halves of "minleq" and "rangegeq". (Variance and spread classes
// live in variance.h and spread.h and share loose_base.)
//
// The engine stores one flag per itemset and constraint, writes an itemset only
// when every flag is set, and never drops an itemset from a store on their
// account. holds is exact for P ∪ X. prunes_transactions() says whether
// the engine may drop a transaction that contains no satisfying candidate of
// the current level: true only when every satisfying itemset of 4 or more
// items has a satisfying subset one item shorter, which each class argues at
// its definition. T is the item type (uint8/16/32).
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/monotone.h"
#include "constraints/values.h"

template <class T>
class loose_base : public loose_constraint<T> {
 public:
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override {
    p.prefix.fold(this->attribute_values, prefix_items);
  }
  Summary summary(const T* items, int k) const {
    return summarize(p.prefix, *this->attribute_values, items, k);
  }
  ConstraintParams p;
  std::vector<std::uint32_t> scratch;  // median work space
};

// A loose class whose test reads V's Summary only (n, sum and Fields): holds
// summarises the itemset and asks holds_summary, which the class defines.
#define KESTREL_LOOSE_CLASS(Class, Fields)                  \
  template <class T>                                        \
  class Class : public loose_base<T> {                      \
   public:                                                  \
    bool holds(const T* items, int n) override {            \
      return Class::holds_summary(this->summary(items, n)); \
    }                                                       \
    bool prunes_transactions() const override;              \
    KESTREL_SUMMARISED(Class, Fields)                       \
    KESTREL_CLONES(Class, loose_constraint, clone_loose)    \
  };
// A loose class whose test reads the values themselves: it defines holds;
// Summarised is KESTREL_MEDIAN_SUMMARISED(dir) for a median, else empty.
#define KESTREL_LOOSE_WHOLE_CLASS(Class, Summarised)                  \
  template <class T>                                                  \
  class Class : public loose_base<T> {                                \
   public:                                                            \
    bool holds(const T* items, int n) override;                       \
    bool prunes_transactions() const override;                        \
    Summarised KESTREL_CLONES(Class, loose_constraint, clone_loose)   \
  };

// n >= 1 and mean(V) >= threshold.
KESTREL_LOOSE_CLASS(mean_at_least_loose, 0)
// n >= 1 and mean(V) <= threshold.
KESTREL_LOOSE_CLASS(mean_at_most_loose, 0)
// n >= 1 and median(V) >= threshold.
KESTREL_LOOSE_WHOLE_CLASS(median_at_least_loose, KESTREL_MEDIAN_SUMMARISED(+1))
// n >= 1 and median(V) <= threshold.
KESTREL_LOOSE_WHOLE_CLASS(median_at_most_loose, KESTREL_MEDIAN_SUMMARISED(-1))
// Loose half of "minleq": n = 0, or min(V) <= bound. Filed with its monotone half by the registry.
KESTREL_LOOSE_CLASS(min_at_most_loose, kExtremes)
// Loose half of "rangegeq": n >= 1 and max(V) - min(V) >= bound.
KESTREL_LOOSE_CLASS(range_at_least_loose, kExtremes)

// "maxgeq": n >= 1 and max(V) >= bound. Monotone and loose at once: one
// occurrence files two instances, one in the set's monotone_table (transaction filter)
// and one in its loose_table (per-itemset flag).
template <class T>
class max_at_least_monotone_loose : public monotone_base<T>, public loose_constraint<T> {
 public:
  static void parse(const char* keyword, const char* params, constraint_set& set);
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool satisfied(const T* items, int n) const override;
  bool prunes_transactions() const override;
  KESTREL_SUMMARISED(max_at_least_monotone_loose, kExtremes)
  KESTREL_CLONES(max_at_least_monotone_loose, monotone_constraint, clone_m)
  KESTREL_CLONES(max_at_least_monotone_loose, loose_constraint, clone_loose)
  ConstraintParams p;
};
