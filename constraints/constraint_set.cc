#include "constraints/constraint_set.h"

#include <algorithm>
#include <climits>

#include "constraints/registry.h"
#include "util/error.h"
#include "util/widths.h"

constraint_set::~constraint_set() { free_instances(); }

constraint_set::constraint_set(constraint_set&& other) noexcept { *this = std::move(other); }

constraint_set& constraint_set::operator=(constraint_set&& other) noexcept {
  if (this == &other) return *this;
  free_instances();
  anti_monotone_table = std::move(other.anti_monotone_table);
  monotone_table = std::move(other.monotone_table);
  succinct_table = std::move(other.succinct_table);
  loose_table = std::move(other.loose_table);
  convertible_table = std::move(other.convertible_table);
  prefix_items = std::move(other.prefix_items);
  lenleq_bound = other.lenleq_bound;
  bound_ = other.bound_;
  other.anti_monotone_table.clear();
  other.monotone_table.clear();
  other.succinct_table.clear();
  other.loose_table.clear();
  other.convertible_table.clear();
  return *this;
}

void constraint_set::free_instances() {
  for (auto* c : all()) delete c;
  anti_monotone_table.clear();
  monotone_table.clear();
  succinct_table.clear();
  loose_table.clear();
  convertible_table.clear();
}

void constraint_set::add(const std::string& keyword, const std::string& params) {
  const keyword_row* row = find_keyword(keyword);
  if (row == nullptr) throw run_error(" ... Error in constraints!");
  row->parse(row->keyword, params.c_str(), *this);
  settle_length_bound();
}

std::vector<itemset_constraint<std::uint32_t>*> constraint_set::all() const {
  std::vector<itemset_constraint<std::uint32_t>*> all;
  auto add = [&all](itemset_constraint<std::uint32_t>* c) {
    if (std::find(all.begin(), all.end(), c) == all.end()) all.push_back(c);
  };
  for (auto* c : convertible_table) add(c);
  for (auto* c : loose_table) add(c);
  for (auto* c : anti_monotone_table) add(c);
  for (auto* c : succinct_table) add(c);
  for (auto* c : monotone_table) add(c);
  return all;
}

std::vector<int> constraint_set::needed_attribute_rows() const {
  std::vector<int> rows;
  for (auto* c : all())
    if (c->attribute_row() != -1) rows.push_back(c->attribute_row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool constraint_set::holds_all(const std::vector<std::uint32_t>& itemset) const {
  for (auto* c : anti_monotone_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : succinct_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : monotone_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : loose_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : convertible_table)
    if (!c->holds(itemset)) return false;
  return true;
}

std::optional<int> constraint_set::length_bound() const { return bound_; }

void constraint_set::settle_length_bound() {
  if (!lenleq_bound.has_value()) {
    bound_.reset();
    return;
  }
  const std::int64_t rest = *lenleq_bound - static_cast<std::int64_t>(prefix_items.size());
  bound_ = static_cast<int>(std::max<std::int64_t>(std::min<std::int64_t>(rest, INT_MAX), -1));
}

template <class T>
typed_constraints<T>::typed_constraints(const constraint_set& set) {
  for (auto* c : set.anti_monotone_table) anti_monotone_table.push_back(c->template clone<T>());
  for (auto* c : set.monotone_table) monotone_table.push_back(c->template clone<T>());
  for (auto* c : set.loose_table) loose_table.push_back(c->template clone<T>());
  for (auto* c : set.convertible_table) convertible_table.push_back(c->template clone<T>());
  // Succinct constraints did their work on the data in the first scan: no
  // clone; only their verdict on the prefix items stays.
  for (auto* c : set.succinct_table)
    if (!c->holds(std::vector<std::uint32_t>())) prefix_passes_succinct = false;
  settle_loose_flags();
}

template <class T>
void typed_constraints<T>::settle_loose_flags() {
  stores_loose_flags_ = false;
  for (auto* c : loose_table) {
    Summary root{};
    std::uint32_t counted_value = 0;
    unsigned fields = 0;
    if (!c->summarises(root, counted_value, fields)) stores_loose_flags_ = true;
  }
}

template <class T>
std::unique_ptr<typed_constraints<T>> typed_constraints<T>::copy() const {
  auto c = std::make_unique<typed_constraints<T>>();
  for (auto* x : anti_monotone_table) c->anti_monotone_table.push_back(x->template clone<T>());
  for (auto* x : monotone_table) c->monotone_table.push_back(x->template clone<T>());
  for (auto* x : loose_table) c->loose_table.push_back(x->template clone<T>());
  for (auto* x : convertible_table) c->convertible_table.push_back(x->template clone<T>());
  c->prefix_passes_succinct = prefix_passes_succinct;
  c->settle_loose_flags();
  return c;
}

template <class T>
typed_constraints<T>::~typed_constraints() {
  for (auto* c : anti_monotone_table) delete c;
  for (auto* c : monotone_table) delete c;
  for (auto* c : loose_table) delete c;
  for (auto* c : convertible_table) delete c;
}

#define KESTREL_INSTANTIATE(T) template class typed_constraints<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
