// Front-end constraints: "lenleq", "rangegeq", "minleq".
//
// They belong to no kind and are never tested; their prototypes only parse.
// "lenleq" lowers LENLEQ_BOUND (every occurrence must hold, so the smallest
// bound wins; the driver turns it into GLOBAL_MAXIMUM_LENGTH). "rangegeq" and
// "minleq" file a monotone half (GLOBAL_M_TABLE) and a loose half
// (GLOBAL_LAM_TABLE) with the same attribute and threshold.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"

template <class T>
class LENLEQ : public Constraint<T> {
 public:
  // Returns this object: there is no instance to file.
  Constraint<std::uint32_t>* parse_parameters(const char* params) override;
  bool holds(const T*, int) override { return true; }
  const char* usage() const override { return "lenleq [<threshold>]"; }
};

template <class T>
class RANGEGEQLAM : public Constraint<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params) override;
  bool holds(const T*, int) override { return true; }
  const char* usage() const override { return "rangegeq [<attr>,<threshold>]"; }
};

template <class T>
class MINLEQLAM : public Constraint<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params) override;
  bool holds(const T*, int) override { return true; }
  const char* usage() const override { return "minleq [<attr>,<threshold>]"; }
};
