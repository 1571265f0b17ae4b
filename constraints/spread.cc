#include "constraints/spread.h"

#include "constraints/filing.h"

namespace {

inline u128 pairs(std::uint64_t n) { return static_cast<u128>(n) * (n - 1); }

}  // namespace

// Removing the value x, at distance d from the mean, from n values of
// population variance v leaves the sample variance (n*v - d²*n/(n-1)) / (n-2),
// which is <= the old n*v/(n-1) exactly when d² >= v and >= it exactly when
// d² <= v.
// The value farthest from the mean (for "spvleq") and the one closest to it
// (for "spvgeq") always qualify, so without prefix values both prune soundly.

template <class T>
Constraint<std::uint32_t>* SPVGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<SPVGEQ<std::uint32_t>>("spvgeq", params, set.lam_table);
}

template <class T>
bool SPVGEQ<T>::holds(const T* items, int n) {
  Summary s = this->summary(items, n);
  return s.n >= 2 && compare_scaled(variance_numerator(s), this->p.threshold, pairs(s.n)) >= 0;
}

template <class T>
bool SPVGEQ<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

template <class T>
Constraint<std::uint32_t>* SPVLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<SPVLEQ<std::uint32_t>>("spvleq", params, set.lam_table);
}

template <class T>
bool SPVLEQ<T>::holds(const T* items, int n) {
  Summary s = this->summary(items, n);
  return s.n >= 2 && compare_scaled(variance_numerator(s), this->p.threshold, pairs(s.n)) <= 0;
}

template <class T>
bool SPVLEQ<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// The mean deviation has no such property: values 2,0,0,2 deviate by 1 on
// average while every 3-subset deviates by 8/9, and no proof covers "mdleq".
// Neither prunes transactions.

template <class T>
Constraint<std::uint32_t>* MDGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<MDGEQ<std::uint32_t>>("mdgeq", params, set.lam_table);
}

template <class T>
bool MDGEQ<T>::holds(const T* items, int n) {
  if (n < 1) return false;
  Summary s = this->summary(items, n);
  u128 dev = abs_deviation_sum(this->p.prefix, *this->attribute_values, items, n, s.n, s.sum);
  return compare_scaled(dev, this->p.threshold, squared(s.n)) >= 0;
}

template <class T>
bool MDGEQ<T>::prunes_transactions() const {
  return false;
}

template <class T>
Constraint<std::uint32_t>* MDLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<MDLEQ<std::uint32_t>>("mdleq", params, set.lam_table);
}

template <class T>
bool MDLEQ<T>::holds(const T* items, int n) {
  if (n < 1) return false;
  Summary s = this->summary(items, n);
  u128 dev = abs_deviation_sum(this->p.prefix, *this->attribute_values, items, n, s.n, s.sum);
  return compare_scaled(dev, this->p.threshold, squared(s.n)) <= 0;
}

template <class T>
bool MDLEQ<T>::prunes_transactions() const {
  return false;
}

template class SPVGEQ<std::uint8_t>;
template class SPVGEQ<std::uint16_t>;
template class SPVGEQ<std::uint32_t>;
template class SPVLEQ<std::uint8_t>;
template class SPVLEQ<std::uint16_t>;
template class SPVLEQ<std::uint32_t>;
template class MDGEQ<std::uint8_t>;
template class MDGEQ<std::uint16_t>;
template class MDGEQ<std::uint32_t>;
template class MDLEQ<std::uint8_t>;
template class MDLEQ<std::uint16_t>;
template class MDLEQ<std::uint32_t>;
