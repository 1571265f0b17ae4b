#include "constraints/succinct.h"

#include <algorithm>

#include "constraints/constraint_set.h"
#include "constraints/params.h"

namespace cp = constraint_params;

namespace {

void sort_unique(std::vector<std::uint32_t>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// Keeps the items whose value the constraint allows (all of them dropped when
// a prefix item is not allowed).
template <class C, class T>
void keep_allowed(const C& c, transaction_view<T>& t) {
  if (!c.p.prefix_ok) {
    t.length = 0;
    return;
  }
  const std::vector<std::uint32_t>& col = *c.attribute_values;
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < t.length; ++i)
    if (c.allowed(col[t.items[i]])) t.items[kept++] = t.items[i];
  t.length = kept;
}

template <class C, class T>
bool all_allowed(const C& c, const T* items, int n) {
  if (!c.p.prefix_ok) return false;
  for (int i = 0; i < n; ++i)
    if (!c.allowed((*c.attribute_values)[items[i]])) return false;
  return true;
}

template <class C>
void fold_prefix_ok(C& c, const std::vector<std::uint32_t>& prefix_items) {
  c.p.prefix.fold(c.attribute_values, prefix_items);
  c.p.prefix_ok = true;
  for (std::uint32_t v : c.p.prefix.values)
    if (!c.allowed(v)) c.p.prefix_ok = false;
}

}  // namespace

// ---- item_subset_succinct ----

template <class T>
void item_subset_succinct<T>::parse(const char* keyword, const char* params, constraint_set& set) {
  std::vector<std::uint32_t> listed = cp::item_list(keyword, params);
  auto* c = new item_subset_succinct<std::uint32_t>;
  c->p.list = listed;
  sort_unique(c->p.list);
  set.succinct_table.push_back(c);
}

template <class T>
void item_subset_succinct<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix_ok = true;
  for (std::uint32_t item : prefix_items)
    if (!std::binary_search(p.list.begin(), p.list.end(), item)) p.prefix_ok = false;
}

template <class T>
void item_subset_succinct<T>::preprocess_transaction(transaction_view<T>& t) {
  if (!p.prefix_ok) {
    t.length = 0;
    return;
  }
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < t.length; ++i)
    if (std::binary_search(p.list.begin(), p.list.end(), static_cast<std::uint32_t>(t.items[i])))
      t.items[kept++] = t.items[i];
  t.length = kept;
}

// ---- value_subset_succinct ----

template <class T>
void value_subset_succinct<T>::parse(const char* keyword, const char* params, constraint_set& set) {
  cp::AttrValues f = cp::attr_values(keyword, params);
  auto* c = new value_subset_succinct<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.list = f.values;
  sort_unique(c->p.list);
  set.succinct_table.push_back(c);
}

template <class T>
bool value_subset_succinct<T>::allowed(std::uint32_t v) const {
  return std::binary_search(p.list.begin(), p.list.end(), v);
}

template <class T>
void value_subset_succinct<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  fold_prefix_ok(*this, prefix_items);
}

template <class T>
bool value_subset_succinct<T>::holds(const T* items, int n) {
  return all_allowed(*this, items, n);
}

template <class T>
void value_subset_succinct<T>::preprocess_transaction(transaction_view<T>& t) {
  keep_allowed(*this, t);
}

// ---- min_at_least_succinct ----

template <class T>
void min_at_least_succinct<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  fold_prefix_ok(*this, prefix_items);
}

template <class T>
bool min_at_least_succinct<T>::holds(const T* items, int n) {
  return all_allowed(*this, items, n);
}

template <class T>
void min_at_least_succinct<T>::preprocess_transaction(transaction_view<T>& t) {
  keep_allowed(*this, t);
}

// ---- max_at_most_succinct ----

template <class T>
void max_at_most_succinct<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  fold_prefix_ok(*this, prefix_items);
}

template <class T>
bool max_at_most_succinct<T>::holds(const T* items, int n) {
  return all_allowed(*this, items, n);
}

template <class T>
void max_at_most_succinct<T>::preprocess_transaction(transaction_view<T>& t) {
  keep_allowed(*this, t);
}

template class item_subset_succinct<std::uint32_t>;
template class value_subset_succinct<std::uint32_t>;
template class min_at_least_succinct<std::uint32_t>;
template class max_at_most_succinct<std::uint32_t>;
