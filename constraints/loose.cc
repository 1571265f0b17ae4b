#include "constraints/loose.h"

#include <algorithm>

#include "constraints/constraint_set.h"
#include "constraints/params.h"
#include "util/widths.h"

namespace cp = constraint_params;

// ---- mean_at_least_loose ----

template <class T>
bool mean_at_least_loose<T>::holds_summary(const Summary& s) const {
  return mean_at_least(s, this->p.threshold);
}

// Without prefix values, dropping the smallest value never lowers the mean.
// With them it may (prefix {0}, items {10, 10}, t = 6): no pruning then.
template <class T>
bool mean_at_least_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- mean_at_most_loose ----

template <class T>
bool mean_at_most_loose<T>::holds_summary(const Summary& s) const {
  return mean_at_most(s, this->p.threshold, false);
}

// Without prefix values, dropping the largest value never raises the mean.
template <class T>
bool mean_at_most_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- median_at_least_loose ----

template <class T>
bool median_at_least_loose<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, +1);
}

// Without prefix values, dropping the smallest value never lowers the median.
template <class T>
bool median_at_least_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- median_at_most_loose ----

template <class T>
bool median_at_most_loose<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, -1);
}

// Without prefix values, dropping the largest value never raises the median.
template <class T>
bool median_at_most_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- min_at_most_loose ----

template <class T>
bool min_at_most_loose<T>::holds_summary(const Summary& s) const {
  return min_at_most(s, this->p.bound);
}

// Dropping any item but one holding the minimum keeps the minimum.
template <class T>
bool min_at_most_loose<T>::prunes_transactions() const {
  return true;
}

// ---- range_at_least_loose ----

template <class T>
bool range_at_least_loose<T>::holds_summary(const Summary& s) const {
  return range_at_least(s, this->p.bound);
}

// Of 3 or more items, one holds neither the chosen minimum nor the chosen
// maximum: dropping it keeps the range.
template <class T>
bool range_at_least_loose<T>::prunes_transactions() const {
  return true;
}

// ---- max_at_least_monotone_loose ----

template <class T>
void max_at_least_monotone_loose<T>::parse(const char* keyword, const char* params,
                                           constraint_set& set) {
  cp::AttrThreshold f = cp::attr_threshold(keyword, params);
  std::uint32_t bound = cp::wrapping_threshold(keyword, params, f.threshold);
  auto* mon = new max_at_least_monotone_loose<std::uint32_t>;
  auto* lam = new max_at_least_monotone_loose<std::uint32_t>;
  mon->attribute = lam->attribute = f.attribute;
  mon->p.bound = lam->p.bound = bound;
  set.monotone_table.push_back(mon);
  set.loose_table.push_back(lam);
}

template <class T>
void max_at_least_monotone_loose<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool max_at_least_monotone_loose<T>::satisfied(const T* items, int n) const {
  return max_at_least(extremes(p.prefix, *this->attribute_values, items, n), p.bound, false);
}

template <class T>
bool max_at_least_monotone_loose<T>::holds_summary(const Summary& s) const {
  return max_at_least(s, p.bound, false);
}

// Dropping any item but one holding the maximum keeps the maximum.
template <class T>
bool max_at_least_monotone_loose<T>::prunes_transactions() const {
  return true;
}

KESTREL_SUMMARISED_TESTS(mean_at_least_loose)
KESTREL_SUMMARISED_TESTS(mean_at_most_loose)
KESTREL_SUMMARISED_TESTS(min_at_most_loose)
KESTREL_SUMMARISED_TESTS(range_at_least_loose)
KESTREL_SUMMARISED_TESTS(max_at_least_monotone_loose)

#define KESTREL_INSTANTIATE(T)             \
  template class loose_base<T>;            \
  template class mean_at_least_loose<T>;   \
  template class mean_at_most_loose<T>;    \
  template class median_at_least_loose<T>; \
  template class median_at_most_loose<T>;  \
  template class min_at_most_loose<T>;     \
  template class range_at_least_loose<T>;  \
  template class max_at_least_monotone_loose<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
