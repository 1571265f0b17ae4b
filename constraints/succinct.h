// Succinct anti-monotone constraints: "subseteq", "asubseteq", "mingeq",
// "maxleq".
//
// Each decides item by item, so the first scan enforces it once and for all:
// preprocess_transaction keeps only the allowed items (input ids). Prefix items
// count too: if one of them is not allowed (prefix_ok false, set by fold_prefix)
// nothing can be written, every transaction is emptied and holds fails.
// holds is exact for P ∪ X; "subseteq" lists input ids, which the
// renumbered items no longer carry, so its test relies on the filtering and
// checks the prefix only. No clones: the engine never sees these classes.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

// Every item of P ∪ X is listed (list: sorted, distinct input ids).
template <class T>
class SUBSETEQ : public Succinct<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T*, int) override { return p.prefix_ok; }
  void preprocess_transaction(transaction_view<T>& t) override;
  const char* usage() const override { return "subseteq [<i0>,<i1>,...,<in>]"; }
  ConstraintParams p;
};

// Every value of V is listed (list: sorted, distinct values).
template <class T>
class ASUBSETEQ : public Succinct<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>& t) override;
  const char* usage() const override { return "asubseteq [<attr>,<i0,i1,...in>]"; }
  bool allowed(std::uint32_t v) const;
  ConstraintParams p;
};

// Every value of V is >= bound.
template <class T>
class MINGEQ : public Succinct<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>& t) override;
  const char* usage() const override { return "mingeq [<attr>,<threshold>]"; }
  bool allowed(std::uint32_t v) const { return v >= p.bound; }
  ConstraintParams p;
};

// Every value of V is <= bound.
template <class T>
class MAXLEQ : public Succinct<T> {
 public:
  Constraint<std::uint32_t>* parse_parameters(const char* params, constraint_set& set) override;
  void fold_prefix(const std::vector<std::uint32_t>& prefix_items) override;
  bool holds(const T* items, int n) override;
  void preprocess_transaction(transaction_view<T>& t) override;
  const char* usage() const override { return "maxleq [<attr>,<threshold>]"; }
  bool allowed(std::uint32_t v) const { return v <= p.bound; }
  ConstraintParams p;
};
