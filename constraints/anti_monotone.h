// Anti-monotone constraints: "sumleq", "rangeleq", "acountleq".
//
// Each reads one attribute column (values by item id) and holds for P ∪ X
// exactly as the output contract defines its keyword, P being the prefix items
// folded once by setPrefix. A failing itemset fails for every superset, so the
// engine drops failing candidates. T is the item type (uint8/16/32).
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

// sum(V) <= threshold (signed).
template <class T>
class SUMLEQ : public CAntiMonotone<T> {
 public:
  Constraint<std::uint32_t>* parseParameters(const char* params) override;
  void setPrefix() override;
  bool testItemset(const std::vector<T>& itemset) override;
  bool testItemset(const T* items, int n) override;
  // Drops the items whose value alone takes the sum over the bound; prefix
  // items stay (the "supseteq" step removes them later).
  void PreProcessTransaction(std::vector<T>& t) override;
  const char* usage() const override { return "sumleq [<attr>,<threshold>]"; }
  KESTREL_CLONES(SUMLEQ, CAntiMonotone, clone_am)
  ConstraintParams p;
};

// n <= 1 or max(V) - min(V) <= threshold (unsigned).
template <class T>
class RANGELEQLAM : public CAntiMonotone<T> {
 public:
  Constraint<std::uint32_t>* parseParameters(const char* params) override;
  void setPrefix() override;
  bool testItemset(const std::vector<T>& itemset) override;
  bool testItemset(const T* items, int n) override;
  void PreProcessTransaction(std::vector<T>&) override {}
  const char* usage() const override { return "rangeleq [<attr>,<threshold>]"; }
  KESTREL_CLONES(RANGELEQLAM, CAntiMonotone, clone_am)
  ConstraintParams p;
};

// The number of values in V equal to counted_value is <= threshold (unsigned).
template <class T>
class ACOUNTLEQ : public CAntiMonotone<T> {
 public:
  Constraint<std::uint32_t>* parseParameters(const char* params) override;
  void setPrefix() override;
  bool testItemset(const std::vector<T>& itemset) override;
  bool testItemset(const T* items, int n) override;
  void PreProcessTransaction(std::vector<T>&) override {}
  const char* usage() const override { return "acountleq [<attr,val,threshold>]"; }
  KESTREL_CLONES(ACOUNTLEQ, CAntiMonotone, clone_am)
  ConstraintParams p;
};
