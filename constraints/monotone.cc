#include "constraints/monotone.h"

#include <algorithm>

#include "constraints/front_end.h"
#include "constraints/filing.h"

namespace cp = constraint_params;

namespace {

template <class T>
std::uint32_t value(const Constraint<T>& c, T item) {
  return (*c.attribute_values)[item];
}

}  // namespace

// ---- SUPSETEQMON ----

template <class T>
Constraint<std::uint32_t>* SUPSETEQMON<T>::parse_parameters(const char* params, constraint_set& set) {
  std::vector<std::uint32_t> listed = cp::item_list("supseteq", params);
  auto* c = new SUPSETEQMON<std::uint32_t>;
  // The items form a set, shared by all occurrences: each item joins
  // prefix_items once, first-listed order, and is claimed (checked and
  // stripped) by the first occurrence that lists it. A later occurrence
  // checking an item an earlier one already stripped would empty everything.
  for (std::uint32_t item : listed) {
    if (std::find(set.prefix_items.begin(), set.prefix_items.end(), item) !=
        set.prefix_items.end())
      continue;
    set.prefix_items.push_back(item);
    c->p.list.push_back(item);
  }
  std::sort(c->p.list.begin(), c->p.list.end());
  set.m_table.push_back(c);
  return c;
}

template <class T>
void SUPSETEQMON<T>::process_transaction(transaction_view<T>& t) {
  const std::vector<std::uint32_t>& req = p.list;
  if (req.empty()) return;
  std::vector<char> found(req.size(), 0);
  std::uint32_t kept = 0;
  std::size_t n_found = 0;
  for (std::uint32_t i = 0; i < t.length; ++i) {
    const T item = t.items[i];
    auto it = std::lower_bound(req.begin(), req.end(), static_cast<std::uint32_t>(item));
    if (it != req.end() && *it == item) {
      char& f = found[static_cast<std::size_t>(it - req.begin())];
      if (!f) {
        f = 1;
        ++n_found;
      }
    } else {
      t.items[kept++] = item;
    }
  }
  t.length = n_found < req.size() ? 0 : kept;
}

// ---- ASUPSETEQ ----

template <class T>
Constraint<std::uint32_t>* ASUPSETEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  cp::AttrValues f = cp::attr_values("asupseteq", params);
  auto* c = new ASUPSETEQ<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.list = f.values;
  std::sort(c->p.list.begin(), c->p.list.end());
  c->p.list.erase(std::unique(c->p.list.begin(), c->p.list.end()), c->p.list.end());
  set.m_table.push_back(c);
  return c;
}

template <class T>
void ASUPSETEQ<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool ASUPSETEQ<T>::satisfied(const T* items, int n) const {
  // Values the prefix items carry count too: a transaction lacking them is not
  // emptied on their account.
  const std::vector<std::uint32_t>& req = p.list;
  std::vector<char> found(req.size(), 0);
  std::size_t n_found = 0;
  auto mark = [&](std::uint32_t v) {
    auto it = std::lower_bound(req.begin(), req.end(), v);
    if (it != req.end() && *it == v && !found[static_cast<std::size_t>(it - req.begin())]) {
      found[static_cast<std::size_t>(it - req.begin())] = 1;
      ++n_found;
    }
  };
  for (std::uint32_t v : p.prefix.values) mark(v);
  for (int i = 0; i < n && n_found < req.size(); ++i) mark(value(*this, items[i]));
  return n_found == req.size();
}

// ---- LENGEQ ----

template <class T>
Constraint<std::uint32_t>* LENGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  std::string f = cp::single_field("lengeq", params);
  const std::uint32_t bound = cp::wrapping_threshold("lengeq", params, f);
  auto* c = new LENGEQ<std::uint32_t>;
  c->p.bound = bound;
  set.m_table.push_back(c);
  return c;
}

template <class T>
void LENGEQ<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(nullptr, prefix_items);
}

template <class T>
bool LENGEQ<T>::satisfied(const T*, int n) const {
  return p.prefix.n + static_cast<std::uint64_t>(n) >= p.bound;
}

// ---- SUMGEQ ----

template <class T>
Constraint<std::uint32_t>* SUMGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<SUMGEQ<std::uint32_t>>("sumgeq", params, set.m_table);
}

template <class T>
void SUMGEQ<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool SUMGEQ<T>::satisfied(const T* items, int n) const {
  std::uint64_t s = p.prefix.sum;
  for (int i = 0; i < n; ++i) s += value(*this, items[i]);
  return compare_scaled(s, p.threshold, 1) >= 0;
}

// ---- ACOUNTGEQ ----

template <class T>
Constraint<std::uint32_t>* ACOUNTGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  cp::AttrValueThreshold f = cp::attr_value_threshold("acountgeq", params);
  auto* c = new ACOUNTGEQ<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.counted_value = f.value;
  c->p.bound = f.threshold;
  set.m_table.push_back(c);
  return c;
}

template <class T>
void ACOUNTGEQ<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
  p.prefix_count = static_cast<std::uint64_t>(
      std::count(p.prefix.values.begin(), p.prefix.values.end(), p.counted_value));
}

template <class T>
bool ACOUNTGEQ<T>::satisfied(const T* items, int n) const {
  std::uint64_t c = p.prefix_count;
  for (int i = 0; i < n; ++i) c += value(*this, items[i]) == p.counted_value;
  return c >= p.bound;
}

// ---- MINLEQLAMMON ----

template <class T>
Constraint<std::uint32_t>* MINLEQLAMMON<T>::parse_parameters(const char* params, constraint_set& set) {
  return MINLEQLAM<std::uint32_t>().parse_parameters(params, set);
}

template <class T>
void MINLEQLAMMON<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool MINLEQLAMMON<T>::satisfied(const T* items, int n) const {
  return min_at_most(extremes(p.prefix, *this->attribute_values, items, n), p.bound);
}

// ---- RANGEGEQLAMMON ----

template <class T>
Constraint<std::uint32_t>* RANGEGEQLAMMON<T>::parse_parameters(const char* params, constraint_set& set) {
  return RANGEGEQLAM<std::uint32_t>().parse_parameters(params, set);
}

template <class T>
void RANGEGEQLAMMON<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool RANGEGEQLAMMON<T>::satisfied(const T* items, int n) const {
  return range_at_least(extremes(p.prefix, *this->attribute_values, items, n), p.bound);
}

template class MonotoneBase<std::uint8_t>;
template class MonotoneBase<std::uint16_t>;
template class MonotoneBase<std::uint32_t>;
template class SUPSETEQMON<std::uint8_t>;
template class SUPSETEQMON<std::uint16_t>;
template class SUPSETEQMON<std::uint32_t>;
template class ASUPSETEQ<std::uint8_t>;
template class ASUPSETEQ<std::uint16_t>;
template class ASUPSETEQ<std::uint32_t>;
template class LENGEQ<std::uint8_t>;
template class LENGEQ<std::uint16_t>;
template class LENGEQ<std::uint32_t>;
template class SUMGEQ<std::uint8_t>;
template class SUMGEQ<std::uint16_t>;
template class SUMGEQ<std::uint32_t>;
template class ACOUNTGEQ<std::uint8_t>;
template class ACOUNTGEQ<std::uint16_t>;
template class ACOUNTGEQ<std::uint32_t>;
template class MINLEQLAMMON<std::uint8_t>;
template class MINLEQLAMMON<std::uint16_t>;
template class MINLEQLAMMON<std::uint32_t>;
template class RANGEGEQLAMMON<std::uint8_t>;
template class RANGEGEQLAMMON<std::uint16_t>;
template class RANGEGEQLAMMON<std::uint32_t>;
