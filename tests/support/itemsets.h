// Helpers for the unit tests of the level stores, the engine and the vertical
// levels: an item table with labels, a brute-force count, the output file parsed
// back and transactions as FIMI text.
#pragma once

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/first_scan.h"
#include "dataset/items.h"
#include "util/output_file.h"

// An item table of n dense items whose input id is input_ids[k] (default k).
inline void set_up_items(item_table& items, std::uint32_t n,
                         std::vector<std::uint32_t> input_ids = {}) {
  if (input_ids.empty())
    for (std::uint32_t k = 0; k < n; ++k) input_ids.push_back(k);
  std::vector<item_entry> in_order;
  for (std::uint32_t id : input_ids) in_order.push_back({id, 0, 0});
  items.number(in_order, true);
}

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

// Every k-subset of {0 .. n-1}, each ascending, in lexicographic order.
template <class T>
std::vector<std::vector<T>> subsets_of(int n, int k) {
  std::vector<std::vector<T>> out;
  if (k > n) return out;
  std::vector<T> s(static_cast<std::size_t>(k));
  for (int i = 0; i < k; ++i) s[i] = static_cast<T>(i);
  while (true) {
    out.push_back(s);
    int i = k - 1;
    while (i >= 0 && s[i] == n - k + i) --i;
    if (i < 0) return out;
    ++s[i];
    for (int j = i + 1; j < k; ++j) s[j] = static_cast<T>(s[j - 1] + 1);
  }
}
