// Creation of an active instance from the common "[<attr>,<threshold>]" layout:
// the prototype parses, a new object of class C (item type unsigned int) gets
// the attribute and the threshold, and is filed in its kind table. The
// threshold lands in p.threshold (signed keywords) or p.bound (keywords whose
// negative thresholds wrap to large unsigned bounds).
#pragma once

#include <cstdint>

#include "constraints/constraint_set.h"
#include "constraints/params.h"

template <class C, class Table>
Constraint<std::uint32_t>* file_signed(const char* keyword, const char* params, Table& table) {
  constraint_params::AttrThreshold f = constraint_params::attr_threshold(keyword, params);
  const std::int64_t t = constraint_params::signed_threshold(keyword, params, f.threshold);
  auto* c = new C;
  c->attribute = f.attribute;
  c->p.threshold = t;
  table.push_back(c);
  return c;
}

template <class C, class Table>
Constraint<std::uint32_t>* file_wrapping(const char* keyword, const char* params, Table& table) {
  constraint_params::AttrThreshold f = constraint_params::attr_threshold(keyword, params);
  const std::uint32_t bound = constraint_params::wrapping_threshold(keyword, params, f.threshold);
  auto* c = new C;
  c->attribute = f.attribute;
  c->p.bound = bound;
  table.push_back(c);
  return c;
}
