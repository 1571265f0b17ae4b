#include "constraints/spread.h"

#include "util/widths.h"

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
bool sample_variance_at_least_loose<T>::holds_summary(const Summary& s) const {
  return s.n >= 2 && compare_scaled(variance_numerator(s), this->p.threshold, pairs(s.n)) >= 0;
}

template <class T>
bool sample_variance_at_least_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

template <class T>
bool sample_variance_at_most_loose<T>::holds_summary(const Summary& s) const {
  return s.n >= 2 && compare_scaled(variance_numerator(s), this->p.threshold, pairs(s.n)) <= 0;
}

template <class T>
bool sample_variance_at_most_loose<T>::prunes_transactions() const {
  return this->p.prefix.n == 0;
}

// The mean deviation has no such property: values 2,0,0,2 deviate by 1 on
// average while every 3-subset deviates by 8/9, and no proof covers "mdleq".
// Neither prunes transactions.

namespace {

// The count and sum of the values of P ∪ X, all that abs_deviation_sum reads
// besides the values (a whole Summary, squares and extremes included, was
// half the cost of a mean deviation test).
template <class T>
void count_and_sum(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                   const T* items, int k, std::uint64_t& n, std::uint64_t& sum) {
  n = prefix.n + static_cast<std::uint64_t>(k);
  sum = prefix.sum;
  for (int i = 0; i < k; ++i) sum += column[items[i]];
}

}  // namespace

template <class T>
bool mean_deviation_at_least_loose<T>::holds(const T* items, int n) {
  if (n < 1) return false;
  std::uint64_t count, sum;
  count_and_sum(this->p.prefix, *this->attribute_values, items, n, count, sum);
  u128 dev = abs_deviation_sum(this->p.prefix, *this->attribute_values, items, n, count, sum);
  return compare_scaled(dev, this->p.threshold, squared(count)) >= 0;
}

template <class T>
bool mean_deviation_at_least_loose<T>::prunes_transactions() const {
  return false;
}

template <class T>
bool mean_deviation_at_most_loose<T>::holds(const T* items, int n) {
  if (n < 1) return false;
  std::uint64_t count, sum;
  count_and_sum(this->p.prefix, *this->attribute_values, items, n, count, sum);
  u128 dev = abs_deviation_sum(this->p.prefix, *this->attribute_values, items, n, count, sum);
  return compare_scaled(dev, this->p.threshold, squared(count)) <= 0;
}

template <class T>
bool mean_deviation_at_most_loose<T>::prunes_transactions() const {
  return false;
}

KESTREL_SUMMARISED_TESTS(sample_variance_at_least_loose)
KESTREL_SUMMARISED_TESTS(sample_variance_at_most_loose)

#define KESTREL_INSTANTIATE(T)                      \
  template class sample_variance_at_least_loose<T>; \
  template class sample_variance_at_most_loose<T>;  \
  template class mean_deviation_at_least_loose<T>;  \
  template class mean_deviation_at_most_loose<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
