#include "constraints/variance.h"

#include "util/widths.h"

// Removing the value x changes the population variance v of n values to
// (n*v - (x-m)²*n/(n-1)) / (n-1), which is <= v when (x-m)² >= v. The value
// farthest from the mean satisfies that, so without prefix values a subset one
// item shorter keeps "variance <= t" (and "std <= t"). The converse fails:
// values 2,2,3,3 have variance 1/4 while every 3-subset has 2/9, so "vargeq"
// and "stdgeq" never prune transactions.

template <class T>
bool variance_at_least_loose<T>::holds_summary(const Summary& s) const {
  return s.n >= 1 && compare_scaled(variance_numerator(s), this->p.threshold, squared(s.n)) >= 0;
}

template <class T>
bool variance_at_least_loose<T>::prunes_transactions() const {
  return false;
}

template <class T>
bool variance_at_most_loose<T>::holds_summary(const Summary& s) const {
  return s.n >= 1 && compare_scaled(variance_numerator(s), this->p.threshold, squared(s.n)) <= 0;
}

template <class T>
bool variance_at_most_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

template <class T>
bool std_dev_at_least_loose<T>::holds_summary(const Summary& s) const {
  if (s.n == 0) return false;
  const std::int64_t t = this->p.threshold;
  if (t <= 0) return true;  // a square root is never negative
  return compare_scaled(variance_numerator(s), t * t, squared(s.n)) >= 0;
}

template <class T>
bool std_dev_at_least_loose<T>::prunes_transactions() const {
  return false;
}

template <class T>
bool std_dev_at_most_loose<T>::holds_summary(const Summary& s) const {
  if (s.n == 0) return false;
  const std::int64_t t = this->p.threshold;
  if (t < 0) return false;
  return compare_scaled(variance_numerator(s), t * t, squared(s.n)) <= 0;
}

template <class T>
bool std_dev_at_most_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

KESTREL_SUMMARISED_TESTS(variance_at_least_loose)
KESTREL_SUMMARISED_TESTS(variance_at_most_loose)
KESTREL_SUMMARISED_TESTS(std_dev_at_least_loose)
KESTREL_SUMMARISED_TESTS(std_dev_at_most_loose)

#define KESTREL_INSTANTIATE(T)               \
  template class variance_at_least_loose<T>; \
  template class variance_at_most_loose<T>;  \
  template class std_dev_at_least_loose<T>;  \
  template class std_dev_at_most_loose<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
