#include "constraints/anti_monotone.h"

#include <algorithm>

#include "constraints/constraint_set.h"
#include "constraints/params.h"
#include "util/widths.h"

namespace cp = constraint_params;

// ---- sum_at_most_anti_monotone ----

template <class T>
void sum_at_most_anti_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
  p.prefix_ids = prefix_items;
  std::sort(p.prefix_ids.begin(), p.prefix_ids.end());
}

template <class T>
bool sum_at_most_anti_monotone<T>::holds(const T* items, int n) {
  std::uint64_t s = p.prefix.sum;
  for (int i = 0; i < n; ++i) s += (*this->attribute_values)[items[i]];
  return compare_scaled(s, p.threshold, 1) <= 0;
}

template <class T>
bool sum_at_most_anti_monotone<T>::holds_summary(const Summary& s) const {
  return compare_scaled(s.sum, p.threshold, 1) <= 0;
}

template <class T>
void sum_at_most_anti_monotone<T>::preprocess_transaction(transaction_view<T>& t) {
  // Values are never negative: an item whose value plus the prefix sum already
  // exceeds the bound belongs to no satisfying itemset.
  const std::vector<std::uint32_t>& col = *this->attribute_values;
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < t.length; ++i) {
    const T item = t.items[i];
    bool is_prefix = std::binary_search(p.prefix_ids.begin(), p.prefix_ids.end(),
                                        static_cast<std::uint32_t>(item));
    if (is_prefix || compare_scaled(p.prefix.sum + col[item], p.threshold, 1) <= 0)
      t.items[kept++] = item;
  }
  t.length = kept;
}

// ---- range_at_most_anti_monotone ----

template <class T>
void range_at_most_anti_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool range_at_most_anti_monotone<T>::holds(const T* items, int n) {
  return range_at_most(extremes(p.prefix, *this->attribute_values, items, n), p.bound);
}

template <class T>
bool range_at_most_anti_monotone<T>::holds_summary(const Summary& s) const {
  return range_at_most(s, p.bound);
}

// ---- value_count_at_most_anti_monotone ----

template <class T>
void value_count_at_most_anti_monotone<T>::fold_prefix(
    const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
  p.prefix_count = static_cast<std::uint64_t>(
      std::count(p.prefix.values.begin(), p.prefix.values.end(), p.counted_value));
}

template <class T>
bool value_count_at_most_anti_monotone<T>::holds(const T* items, int n) {
  std::uint64_t c = p.prefix_count;
  for (int i = 0; i < n; ++i) c += (*this->attribute_values)[items[i]] == p.counted_value;
  return c <= p.bound;
}

template <class T>
bool value_count_at_most_anti_monotone<T>::holds_summary(const Summary& s) const {
  return s.counted <= p.bound;
}

KESTREL_SUMMARISED_TESTS(sum_at_most_anti_monotone)
KESTREL_SUMMARISED_TESTS(range_at_most_anti_monotone)
KESTREL_SUMMARISED_TESTS(value_count_at_most_anti_monotone)

#define KESTREL_INSTANTIATE(T)                   \
  template class sum_at_most_anti_monotone<T>;   \
  template class range_at_most_anti_monotone<T>; \
  template class value_count_at_most_anti_monotone<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
