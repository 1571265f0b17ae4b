#include "constraints/variance.h"

#include "constraints/filing.h"

// Removing the value x changes the population variance v of n values to
// (n*v - (x-m)²*n/(n-1)) / (n-1), which is <= v when (x-m)² >= v. The value
// farthest from the mean satisfies that, so without prefix values a subset one
// item shorter keeps "variance <= t" (and "std <= t"). The converse fails:
// values 2,2,3,3 have variance 1/4 while every 3-subset has 2/9, so "vargeq"
// and "stdgeq" never prune transactions.

template <class T>
Constraint<std::uint32_t>* VARGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<VARGEQ<std::uint32_t>>("vargeq", params, set.lam_table);
}

template <class T>
bool VARGEQ<T>::holds(const T* items, int n) {
  Summary s = this->summary(items, n);
  return s.n >= 1 && compare_scaled(variance_numerator(s), this->p.threshold, squared(s.n)) >= 0;
}

template <class T>
bool VARGEQ<T>::prunes_transactions() const {
  return false;
}

template <class T>
Constraint<std::uint32_t>* VARLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<VARLEQ<std::uint32_t>>("varleq", params, set.lam_table);
}

template <class T>
bool VARLEQ<T>::holds(const T* items, int n) {
  Summary s = this->summary(items, n);
  return s.n >= 1 && compare_scaled(variance_numerator(s), this->p.threshold, squared(s.n)) <= 0;
}

template <class T>
bool VARLEQ<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

template <class T>
Constraint<std::uint32_t>* STDGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<STDGEQ<std::uint32_t>>("stdgeq", params, set.lam_table);
}

template <class T>
bool STDGEQ<T>::holds(const T* items, int n) {
  Summary s = this->summary(items, n);
  if (s.n == 0) return false;
  const std::int64_t t = this->p.threshold;
  if (t <= 0) return true;  // a square root is never negative
  return compare_scaled(variance_numerator(s), t * t, squared(s.n)) >= 0;
}

template <class T>
bool STDGEQ<T>::prunes_transactions() const {
  return false;
}

template <class T>
Constraint<std::uint32_t>* STDLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<STDLEQ<std::uint32_t>>("stdleq", params, set.lam_table);
}

template <class T>
bool STDLEQ<T>::holds(const T* items, int n) {
  Summary s = this->summary(items, n);
  if (s.n == 0) return false;
  const std::int64_t t = this->p.threshold;
  if (t < 0) return false;
  return compare_scaled(variance_numerator(s), t * t, squared(s.n)) <= 0;
}

template <class T>
bool STDLEQ<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

template class VARGEQ<std::uint8_t>;
template class VARGEQ<std::uint16_t>;
template class VARGEQ<std::uint32_t>;
template class VARLEQ<std::uint8_t>;
template class VARLEQ<std::uint16_t>;
template class VARLEQ<std::uint32_t>;
template class STDGEQ<std::uint8_t>;
template class STDGEQ<std::uint16_t>;
template class STDGEQ<std::uint32_t>;
template class STDLEQ<std::uint8_t>;
template class STDLEQ<std::uint16_t>;
template class STDLEQ<std::uint32_t>;
