// Front-end constraints: "lenleq", "rangegeq", "minleq".
//
// They belong to no kind and are never tested; their prototypes only parse.
// "lenleq" lowers the set's lenleq_bound (every occurrence must hold, so the
// smallest bound wins; constraint_set::level_allowed reads it). "rangegeq" and
// "minleq" file a monotone half (m_table) and a loose half (lam_table) of the
// constraint set with the same attribute and threshold.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"

template <class T>
class LENLEQ : public Constraint<T> {
 public:
  // Returns this object: there is no instance to file.
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  bool holds(const T*, int) override { return true; }
  const char* usage() const override { return "lenleq [<threshold>]"; }
};

template <class T>
class RANGEGEQLAM : public Constraint<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  bool holds(const T*, int) override { return true; }
  const char* usage() const override { return "rangegeq [<attr>,<threshold>]"; }
};

template <class T>
class MINLEQLAM : public Constraint<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  bool holds(const T*, int) override { return true; }
  const char* usage() const override { return "minleq [<attr>,<threshold>]"; }
};
