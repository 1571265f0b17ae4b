#include "constraints/monotone.h"

#include <algorithm>

#include "constraints/constraint_set.h"
#include "constraints/params.h"
#include "util/widths.h"

namespace cp = constraint_params;

namespace {

template <class T>
std::uint32_t value(const itemset_constraint<T>& c, T item) {
  return (*c.attribute_values)[item];
}

}  // namespace

// ---- item_superset_monotone ----

template <class T>
void item_superset_monotone<T>::parse(const char* keyword, const char* params,
                                      constraint_set& set) {
  std::vector<std::uint32_t> listed = cp::item_list(keyword, params);
  auto* c = new item_superset_monotone<std::uint32_t>;
  // The items form a set, shared by all occurrences: each item joins
  // prefix_items once, first-listed order, and is claimed (checked and
  // stripped) by the first occurrence that lists it. A later occurrence
  // checking an item an earlier one already stripped would empty everything.
  for (std::uint32_t item : listed) {
    if (std::find(set.prefix_items.begin(), set.prefix_items.end(), item) != set.prefix_items.end())
      continue;
    set.prefix_items.push_back(item);
    c->p.list.push_back(item);
  }
  std::sort(c->p.list.begin(), c->p.list.end());
  set.monotone_table.push_back(c);
}

template <class T>
void item_superset_monotone<T>::process_transaction(transaction_view<T>& t) {
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

// ---- value_superset_monotone ----

template <class T>
void value_superset_monotone<T>::parse(const char* keyword, const char* params,
                                       constraint_set& set) {
  cp::AttrValues f = cp::attr_values(keyword, params);
  auto* c = new value_superset_monotone<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.list = f.values;
  std::sort(c->p.list.begin(), c->p.list.end());
  c->p.list.erase(std::unique(c->p.list.begin(), c->p.list.end()), c->p.list.end());
  if (!c->p.list.empty() && c->p.list.size() <= 64 && c->p.list.back() < kValueSlots) {
    c->slot_of_value.assign(c->p.list.back() + 1, kNotListed);
    for (std::size_t i = 0; i < c->p.list.size(); ++i)
      c->slot_of_value[c->p.list[i]] = static_cast<std::uint8_t>(i);
  }
  set.monotone_table.push_back(c);
}

template <class T>
void value_superset_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool value_superset_monotone<T>::satisfied(const T* items, int n) const {
  // Values the prefix items carry count too: a transaction lacking them is not
  // emptied on their account. The writer asks once per itemset, so the listed
  // values found are the bits of one word (a list of up to 64 values) rather
  // than a vector allocated per test, and small values find their bit in
  // slot_of_value rather than by a search of the list.
  const std::vector<std::uint32_t>& req = p.list;
  if (req.size() > 64) return satisfied_by_long_list(items, n);
  const std::uint64_t all = req.size() == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << req.size()) - 1;
  std::uint64_t found = 0;
  auto search = [&](std::uint32_t v) {
    auto it = std::lower_bound(req.begin(), req.end(), v);
    if (it != req.end() && *it == v) found |= std::uint64_t{1} << (it - req.begin());
  };
  const std::uint32_t* column = this->attribute_values->data();
  if (slot_of_value.empty()) {
    for (std::uint32_t v : p.prefix.values) search(v);
    for (int i = 0; i < n && found != all; ++i) search(column[items[i]]);
    return found == all;
  }
  const std::uint8_t* slots = slot_of_value.data();
  const std::size_t n_slots = slot_of_value.size();
  auto mark = [&](std::uint32_t v) {
    const std::uint8_t slot = v < n_slots ? slots[v] : kNotListed;
    if (slot != kNotListed) found |= std::uint64_t{1} << slot;
  };
  for (std::uint32_t v : p.prefix.values) mark(v);
  for (int i = 0; i < n && found != all; ++i) mark(column[items[i]]);
  return found == all;
}

template <class T>
bool value_superset_monotone<T>::satisfied_by_long_list(const T* items, int n) const {
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

// ---- length_at_least_monotone ----

template <class T>
void length_at_least_monotone<T>::parse(const char* keyword, const char* params,
                                        constraint_set& set) {
  std::string f = cp::single_field(keyword, params);
  const std::uint32_t bound = cp::wrapping_threshold(keyword, params, f);
  auto* c = new length_at_least_monotone<std::uint32_t>;
  c->p.bound = bound;
  set.monotone_table.push_back(c);
}

template <class T>
void length_at_least_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(nullptr, prefix_items);
}

template <class T>
bool length_at_least_monotone<T>::satisfied(const T*, int n) const {
  return p.prefix.n + static_cast<std::uint64_t>(n) >= p.bound;
}

// ---- sum_at_least_monotone ----

template <class T>
void sum_at_least_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool sum_at_least_monotone<T>::satisfied(const T* items, int n) const {
  std::uint64_t s = p.prefix.sum;
  for (int i = 0; i < n; ++i) s += value(*this, items[i]);
  return compare_scaled(s, p.threshold, 1) >= 0;
}

template <class T>
bool sum_at_least_monotone<T>::holds_summary(const Summary& s) const {
  return compare_scaled(s.sum, p.threshold, 1) >= 0;
}

// ---- value_count_at_least_monotone ----

template <class T>
void value_count_at_least_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
  p.prefix_count = static_cast<std::uint64_t>(
      std::count(p.prefix.values.begin(), p.prefix.values.end(), p.counted_value));
}

template <class T>
bool value_count_at_least_monotone<T>::satisfied(const T* items, int n) const {
  std::uint64_t c = p.prefix_count;
  for (int i = 0; i < n; ++i) c += value(*this, items[i]) == p.counted_value;
  return c >= p.bound;
}

template <class T>
bool value_count_at_least_monotone<T>::holds_summary(const Summary& s) const {
  return s.counted >= p.bound;
}

// ---- min_at_most_monotone ----

template <class T>
void min_at_most_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool min_at_most_monotone<T>::satisfied(const T* items, int n) const {
  return min_at_most(extremes(p.prefix, *this->attribute_values, items, n), p.bound);
}

template <class T>
bool min_at_most_monotone<T>::holds_summary(const Summary& s) const {
  return min_at_most(s, p.bound);
}

// ---- range_at_least_monotone ----

template <class T>
void range_at_least_monotone<T>::fold_prefix(const std::vector<std::uint32_t>& prefix_items) {
  p.prefix.fold(this->attribute_values, prefix_items);
}

template <class T>
bool range_at_least_monotone<T>::satisfied(const T* items, int n) const {
  return range_at_least(extremes(p.prefix, *this->attribute_values, items, n), p.bound);
}

template <class T>
bool range_at_least_monotone<T>::holds_summary(const Summary& s) const {
  return range_at_least(s, p.bound);
}

KESTREL_SUMMARISED_TESTS(sum_at_least_monotone)
KESTREL_SUMMARISED_TESTS(value_count_at_least_monotone)
KESTREL_SUMMARISED_TESTS(min_at_most_monotone)
KESTREL_SUMMARISED_TESTS(range_at_least_monotone)

#define KESTREL_INSTANTIATE(T)                     \
  template class monotone_base<T>;                 \
  template class item_superset_monotone<T>;        \
  template class value_superset_monotone<T>;       \
  template class length_at_least_monotone<T>;      \
  template class sum_at_least_monotone<T>;         \
  template class value_count_at_least_monotone<T>; \
  template class min_at_most_monotone<T>;          \
  template class range_at_least_monotone<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
