#include "constraints/anti_monotone.h"

#include <algorithm>

#include "constraints/filing.h"

namespace cp = constraint_params;

// ---- SUMLEQ ----

template <class T>
Constraint<std::uint32_t>* SUMLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<SUMLEQ<std::uint32_t>>("sumleq", params, set.am_table);
}

template <class T>
void SUMLEQ<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
  p.prefix_ids = prefix_items;
  std::sort(p.prefix_ids.begin(), p.prefix_ids.end());
}

template <class T>
bool SUMLEQ<T>::holds(const T* items, int n) {
  std::uint64_t s = p.prefix.sum;
  for (int i = 0; i < n; ++i) s += (*this->attribute_values)[items[i]];
  return compare_scaled(s, p.threshold, 1) <= 0;
}

template <class T>
void SUMLEQ<T>::preprocess_transaction(transaction_view<T>& t) {
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

// ---- RANGELEQLAM ----

template <class T>
Constraint<std::uint32_t>* RANGELEQLAM<T>::parse_parameters(const char* params,
                                                            constraint_set& set) {
  return file_wrapping<RANGELEQLAM<std::uint32_t>>("rangeleq", params, set.am_table);
}

template <class T>
void RANGELEQLAM<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool RANGELEQLAM<T>::holds(const T* items, int n) {
  return range_at_most(extremes(p.prefix, *this->attribute_values, items, n), p.bound);
}

// ---- ACOUNTLEQ ----

template <class T>
Constraint<std::uint32_t>* ACOUNTLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  cp::AttrValueThreshold f = cp::attr_value_threshold("acountleq", params);
  auto* c = new ACOUNTLEQ<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.counted_value = f.value;
  c->p.bound = f.threshold;
  set.am_table.push_back(c);
  return c;
}

template <class T>
void ACOUNTLEQ<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  PrefixFold fold;
  fold.fold(this->attribute_values, prefix_items);
  p.prefix_count = std::count(fold.values.begin(), fold.values.end(), p.counted_value);
}

template <class T>
bool ACOUNTLEQ<T>::holds(const T* items, int n) {
  std::uint64_t c = p.prefix_count;
  for (int i = 0; i < n; ++i) c += (*this->attribute_values)[items[i]] == p.counted_value;
  return c <= p.bound;
}

template class SUMLEQ<std::uint8_t>;
template class SUMLEQ<std::uint16_t>;
template class SUMLEQ<std::uint32_t>;
template class RANGELEQLAM<std::uint8_t>;
template class RANGELEQLAM<std::uint16_t>;
template class RANGELEQLAM<std::uint32_t>;
template class ACOUNTLEQ<std::uint8_t>;
template class ACOUNTLEQ<std::uint16_t>;
template class ACOUNTLEQ<std::uint32_t>;
