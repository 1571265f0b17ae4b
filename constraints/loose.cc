#include "constraints/loose.h"

#include <algorithm>

#include "constraints/filing.h"
#include "constraints/front_end.h"

namespace cp = constraint_params;

// ---- AVGGEQLAM ----

template <class T>
Constraint<std::uint32_t>* AVGGEQLAM<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<AVGGEQLAM<std::uint32_t>>("avggeq", params, set.lam_table);
}

template <class T>
bool AVGGEQLAM<T>::holds(const T* items, int n) {
  return mean_at_least(this->summary(items, n), this->p.threshold);
}

// Without prefix values, dropping the smallest value never lowers the mean.
// With them it may (prefix {0}, items {10, 10}, t = 6): no pruning then.
template <class T>
bool AVGGEQLAM<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- AVGLEQLAM ----

template <class T>
Constraint<std::uint32_t>* AVGLEQLAM<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<AVGLEQLAM<std::uint32_t>>("avgleq", params, set.lam_table);
}

template <class T>
bool AVGLEQLAM<T>::holds(const T* items, int n) {
  return mean_at_most(this->summary(items, n), this->p.threshold, false);
}

// Without prefix values, dropping the largest value never raises the mean.
template <class T>
bool AVGLEQLAM<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- MEDGEQLAM ----

template <class T>
Constraint<std::uint32_t>* MEDGEQLAM<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<MEDGEQLAM<std::uint32_t>>("medgeq", params, set.lam_table);
}

template <class T>
bool MEDGEQLAM<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, +1);
}

// Without prefix values, dropping the smallest value never lowers the median.
template <class T>
bool MEDGEQLAM<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- MEDLEQLAM ----

template <class T>
Constraint<std::uint32_t>* MEDLEQLAM<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<MEDLEQLAM<std::uint32_t>>("medleq", params, set.lam_table);
}

template <class T>
bool MEDLEQLAM<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, -1);
}

// Without prefix values, dropping the largest value never raises the median.
template <class T>
bool MEDLEQLAM<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// ---- MINLEQLAMLAM ----

template <class T>
Constraint<std::uint32_t>* MINLEQLAMLAM<T>::parse_parameters(const char* params,
                                                             constraint_set& set) {
  return MINLEQLAM<std::uint32_t>().parse_parameters(params, set);
}

template <class T>
bool MINLEQLAMLAM<T>::holds(const T* items, int n) {
  return min_at_most(this->summary(items, n), this->p.bound);
}

// Dropping any item but one holding the minimum keeps the minimum.
template <class T>
bool MINLEQLAMLAM<T>::prunes_transactions() const {
  return true;
}

// ---- RANGEGEQLAMLAM ----

template <class T>
Constraint<std::uint32_t>* RANGEGEQLAMLAM<T>::parse_parameters(const char* params,
                                                               constraint_set& set) {
  return RANGEGEQLAM<std::uint32_t>().parse_parameters(params, set);
}

template <class T>
bool RANGEGEQLAMLAM<T>::holds(const T* items, int n) {
  return range_at_least(this->summary(items, n), this->p.bound);
}

// Of 3 or more items, one holds neither the chosen minimum nor the chosen
// maximum: dropping it keeps the range.
template <class T>
bool RANGEGEQLAMLAM<T>::prunes_transactions() const {
  return true;
}

// ---- MAXGEQLAM ----

template <class T>
Constraint<std::uint32_t>* MAXGEQLAM<T>::parse_parameters(const char* params, constraint_set& set) {
  cp::AttrThreshold f = cp::attr_threshold("maxgeq", params);
  std::uint32_t bound = cp::wrapping_threshold("maxgeq", params, f.threshold);
  auto* mon = new MAXGEQLAM<std::uint32_t>;
  auto* lam = new MAXGEQLAM<std::uint32_t>;
  mon->attribute = lam->attribute = f.attribute;
  mon->p.bound = lam->p.bound = bound;
  set.m_table.push_back(mon);
  set.lam_table.push_back(lam);
  return static_cast<Monotone<std::uint32_t>*>(mon);
}

template <class T>
void MAXGEQLAM<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool MAXGEQLAM<T>::satisfied(const T* items, int n) const {
  return max_at_least(extremes(p.prefix, *this->attribute_values, items, n), p.bound, false);
}

// Dropping any item but one holding the maximum keeps the maximum.
template <class T>
bool MAXGEQLAM<T>::prunes_transactions() const {
  return true;
}

template class LooseBase<std::uint8_t>;
template class LooseBase<std::uint16_t>;
template class LooseBase<std::uint32_t>;
template class AVGGEQLAM<std::uint8_t>;
template class AVGGEQLAM<std::uint16_t>;
template class AVGGEQLAM<std::uint32_t>;
template class AVGLEQLAM<std::uint8_t>;
template class AVGLEQLAM<std::uint16_t>;
template class AVGLEQLAM<std::uint32_t>;
template class MEDGEQLAM<std::uint8_t>;
template class MEDGEQLAM<std::uint16_t>;
template class MEDGEQLAM<std::uint32_t>;
template class MEDLEQLAM<std::uint8_t>;
template class MEDLEQLAM<std::uint16_t>;
template class MEDLEQLAM<std::uint32_t>;
template class MINLEQLAMLAM<std::uint8_t>;
template class MINLEQLAMLAM<std::uint16_t>;
template class MINLEQLAMLAM<std::uint32_t>;
template class RANGEGEQLAMLAM<std::uint8_t>;
template class RANGEGEQLAMLAM<std::uint16_t>;
template class RANGEGEQLAMLAM<std::uint32_t>;
template class MAXGEQLAM<std::uint8_t>;
template class MAXGEQLAM<std::uint16_t>;
template class MAXGEQLAM<std::uint32_t>;
