// How one command-line occurrence of a keyword becomes active instances
// (T = unsigned int) in a constraint_set, for the keywords that share a
// parameter layout. Keywords with a layout of their own parse in a static
// parse() of their class.
//
// file() puts an instance in the table of its kind. The common layout is
// "[<attr>,<threshold>]": signed keywords keep the threshold in p.threshold,
// wrapping keywords (negative thresholds wrap to large unsigned bounds) in
// p.bound. Malformed text throws the keyword's one-line run_error.
#pragma once

#include <cstdint>

#include "constraints/constraint_set.h"
#include "constraints/params.h"

using constraint_parser = void (*)(const char* keyword, const char* params, constraint_set& set);

inline void file(constraint_set& set, anti_monotone_constraint<std::uint32_t>* c) {
  set.anti_monotone_table.push_back(c);
}
inline void file(constraint_set& set, monotone_constraint<std::uint32_t>* c) {
  set.monotone_table.push_back(c);
}
inline void file(constraint_set& set, succinct_constraint<std::uint32_t>* c) {
  set.succinct_table.push_back(c);
}
inline void file(constraint_set& set, convertible_constraint<std::uint32_t>* c) {
  set.convertible_table.push_back(c);
}
inline void file(constraint_set& set, loose_constraint<std::uint32_t>* c) {
  set.loose_table.push_back(c);
}

// "[<attr>,<threshold>]" with a signed 32-bit threshold.
template <template <class> class C>
void parse_signed(const char* keyword, const char* params, constraint_set& set) {
  constraint_params::AttrThreshold f = constraint_params::attr_threshold(keyword, params);
  const std::int64_t t = constraint_params::signed_threshold(keyword, params, f.threshold);
  auto* c = new C<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.threshold = t;
  file(set, c);
}

// "[<attr>,<threshold>]" with a wrapping threshold.
template <template <class> class C>
void parse_wrapping(const char* keyword, const char* params, constraint_set& set) {
  constraint_params::AttrThreshold f = constraint_params::attr_threshold(keyword, params);
  const std::uint32_t bound = constraint_params::wrapping_threshold(keyword, params, f.threshold);
  auto* c = new C<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.bound = bound;
  file(set, c);
}

// "[<attr>,<val>,<threshold>]": how many values of the itemset equal val.
template <template <class> class C>
void parse_value_count(const char* keyword, const char* params, constraint_set& set) {
  const constraint_params::AttrValueThreshold f =
      constraint_params::attr_value_threshold(keyword, params);
  auto* c = new C<std::uint32_t>;
  c->attribute = f.attribute;
  c->p.counted_value = f.value;
  c->p.bound = f.threshold;
  file(set, c);
}

// A keyword that is neither monotone nor anti-monotone but splits into a
// monotone half (a transaction filter) and a loose half (a per-itemset flag)
// with the same attribute and wrapping threshold: both are filed.
template <template <class> class Monotone, template <class> class Loose>
void parse_halves(const char* keyword, const char* params, constraint_set& set) {
  parse_wrapping<Monotone>(keyword, params, set);
  parse_wrapping<Loose>(keyword, params, set);
}

// The class's own parser, for a layout of its own.
template <template <class> class C>
void parse_own(const char* keyword, const char* params, constraint_set& set) {
  C<std::uint32_t>::parse(keyword, params, set);
}
