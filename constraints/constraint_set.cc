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
  am_table = std::move(other.am_table);
  m_table = std::move(other.m_table);
  sam_table = std::move(other.sam_table);
  lam_table = std::move(other.lam_table);
  cam_table = std::move(other.cam_table);
  prefix_items = std::move(other.prefix_items);
  lenleq_bound = other.lenleq_bound;
  bound_ = other.bound_;
  other.am_table.clear();
  other.m_table.clear();
  other.sam_table.clear();
  other.lam_table.clear();
  other.cam_table.clear();
  return *this;
}

void constraint_set::free_instances() {
  for (auto* c : all()) delete c;
  am_table.clear();
  m_table.clear();
  sam_table.clear();
  lam_table.clear();
  cam_table.clear();
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
  for (auto* c : cam_table) add(c);
  for (auto* c : lam_table) add(c);
  for (auto* c : am_table) add(c);
  for (auto* c : sam_table) add(c);
  for (auto* c : m_table) add(c);
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
  for (auto* c : am_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : sam_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : m_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : lam_table)
    if (!c->holds(itemset)) return false;
  for (auto* c : cam_table)
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
  for (auto* c : set.am_table) am_table.push_back(c->template clone<T>());
  for (auto* c : set.m_table) m_table.push_back(c->template clone<T>());
  for (auto* c : set.lam_table) lam_table.push_back(c->template clone<T>());
  for (auto* c : set.cam_table) cam_table.push_back(c->template clone<T>());
  // Succinct constraints did their work on the data in the first scan: no
  // clone; only their verdict on the prefix items stays.
  for (auto* c : set.sam_table)
    if (!c->holds(std::vector<std::uint32_t>())) prefix_passes_succinct = false;
}

template <class T>
std::unique_ptr<typed_constraints<T>> typed_constraints<T>::copy() const {
  auto c = std::make_unique<typed_constraints<T>>();
  for (auto* x : am_table) c->am_table.push_back(x->template clone<T>());
  for (auto* x : m_table) c->m_table.push_back(x->template clone<T>());
  for (auto* x : lam_table) c->lam_table.push_back(x->template clone<T>());
  for (auto* x : cam_table) c->cam_table.push_back(x->template clone<T>());
  c->prefix_passes_succinct = prefix_passes_succinct;
  return c;
}

template <class T>
typed_constraints<T>::~typed_constraints() {
  for (auto* c : am_table) delete c;
  for (auto* c : m_table) delete c;
  for (auto* c : lam_table) delete c;
  for (auto* c : cam_table) delete c;
}

#define KESTREL_INSTANTIATE(T) template class typed_constraints<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
