// Helpers for the engine's unit tests: an item table with labels, and
// constraints whose answers a test chooses with a predicate.
#pragma once

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/items.h"

// An item table of n dense items whose input id is input_ids[k] (default k).
inline void set_up_items(zax_items& items, std::uint32_t n,
                         std::vector<std::uint32_t> input_ids = {}) {
  if (input_ids.empty())
    for (std::uint32_t k = 0; k < n; ++k) input_ids.push_back(k);
  items.n_items = items.n_kept = n;
  items.unmap = input_ids;
  items.map.assign(n, 0);
  items.item_label.assign(static_cast<std::size_t>(n) * zax_items::kLabelSlot, 0);
  items.item_label_len.assign(n, 0);
  for (std::uint32_t k = 0; k < n; ++k) {
    int len = std::snprintf(&items.item_label[k * zax_items::kLabelSlot], zax_items::kLabelSlot,
                            "%u ", input_ids[k]);
    items.item_label_len[k] = static_cast<std::uint8_t>(len);
  }
}

template <class T>
using itemset_predicate = std::function<bool(const std::vector<T>&)>;

// A monotone constraint that accepts the itemsets the predicate accepts and
// leaves transactions alone.
template <class T>
class fake_monotone : public CMonotone<T> {
 public:
  explicit fake_monotone(itemset_predicate<T> p) : p_(std::move(p)) {}
  Constraint<std::uint32_t>* parseParameters(const char*) override { return nullptr; }
  bool testItemset(const std::vector<T>& s) override { return p_(s); }
  void PreProcessTransaction(std::vector<T>&) override {}
  void ProcessTransaction(Transaction<T>&) override {}
  void ProcessTransaction(zax_transaction<T>&) override {}
  CMonotone<std::uint8_t>* clone_m(std::uint8_t) const override { return nullptr; }
  CMonotone<std::uint16_t>* clone_m(std::uint16_t) const override { return nullptr; }
  CMonotone<std::uint32_t>* clone_m(std::uint32_t) const override { return nullptr; }

 private:
  itemset_predicate<T> p_;
};

// A loose anti-monotone constraint answering with the predicate.
template <class T>
class fake_loose : public CLooseAntiMonotone<T> {
 public:
  fake_loose(itemset_predicate<T> p, bool prunes) : p_(std::move(p)), prunes_(prunes) {}
  Constraint<std::uint32_t>* parseParameters(const char*) override { return nullptr; }
  bool testItemset(const std::vector<T>& s) override { return p_(s); }
  bool testItemset(const T* items, int n) override { return p_(std::vector<T>(items, items + n)); }
  bool prunes_transactions() const override { return prunes_; }
  CLooseAntiMonotone<std::uint8_t>* clone_lam(std::uint8_t) const override { return nullptr; }
  CLooseAntiMonotone<std::uint16_t>* clone_lam(std::uint16_t) const override { return nullptr; }
  CLooseAntiMonotone<std::uint32_t>* clone_lam(std::uint32_t) const override { return nullptr; }

 private:
  itemset_predicate<T> p_;
  bool prunes_;
};

// An anti-monotone constraint answering with the predicate.
template <class T>
class fake_anti_monotone : public CAntiMonotone<T> {
 public:
  explicit fake_anti_monotone(itemset_predicate<T> p) : p_(std::move(p)) {}
  Constraint<std::uint32_t>* parseParameters(const char*) override { return nullptr; }
  bool testItemset(const std::vector<T>& s) override { return p_(s); }
  bool testItemset(const T* items, int n) override { return p_(std::vector<T>(items, items + n)); }
  void PreProcessTransaction(std::vector<T>&) override {}
  CAntiMonotone<std::uint8_t>* clone_am(std::uint8_t) const override { return nullptr; }
  CAntiMonotone<std::uint16_t>* clone_am(std::uint16_t) const override { return nullptr; }
  CAntiMonotone<std::uint32_t>* clone_am(std::uint32_t) const override { return nullptr; }

 private:
  itemset_predicate<T> p_;
};

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "dataset/first_scan.h"
#include "util/output_file.h"

// Itemsets (input ids, ascending) with their supports.
using itemset_counts = std::map<std::vector<std::uint32_t>, std::uint32_t>;

// Every itemset contained in at least max(sigma, 1) transactions, the empty one
// included: each transaction's subsets are enumerated, so keep transactions short.
inline itemset_counts brute_force(const std::vector<std::vector<std::uint32_t>>& trans,
                                  std::uint32_t sigma) {
  itemset_counts all;
  for (const auto& t : trans) {
    const std::set<std::uint32_t> distinct(t.begin(), t.end());
    const std::vector<std::uint32_t> s(distinct.begin(), distinct.end());
    for (std::uint64_t mask = 0; mask < (std::uint64_t{1} << s.size()); ++mask) {
      std::vector<std::uint32_t> sub;
      for (std::size_t i = 0; i < s.size(); ++i)
        if (mask >> i & 1) sub.push_back(s[i]);
      ++all[sub];
    }
  }
  itemset_counts out;
  for (const auto& [k, v] : all)
    if (v >= std::max<std::uint32_t>(sigma, 1)) out[k] = v;
  return out;
}

// Parses an output file; a repeated itemset is reported as support 0xFFFFFFFF.
inline itemset_counts parse_output(const std::string& text) {
  itemset_counts out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t open = line.rfind('(');
    std::istringstream items(line.substr(0, open));
    std::vector<std::uint32_t> v;
    for (std::uint32_t x; items >> x;) v.push_back(x);
    std::sort(v.begin(), v.end());
    const std::uint32_t support = static_cast<std::uint32_t>(std::stoul(line.substr(open + 1)));
    out[v] = out.count(v) ? 0xFFFFFFFFu : support;
  }
  return out;
}

inline std::string fimi_text(const std::vector<std::vector<std::uint32_t>>& trans) {
  std::string text;
  for (const auto& t : trans) {
    for (std::uint32_t x : t) text += std::to_string(x) + " ";
    text += "\n";
  }
  return text;
}
