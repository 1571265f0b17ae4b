// Constraint tests along a walk of itemsets in lexicographic order.
//
// Itemsets met in order (a level's stored itemsets, its candidates, the lines
// of a group) share leading items with the one met before: within a group all
// but the last. For every constraint whose test reads only the Summary of the
// values of P ∪ X (count, sum, sum of squares, extremes, occurrences of one
// value, the values either side of a median's bound:
// itemset_constraint::summarises), the path keeps the summary of the
// prefix values with each leading run items[0..i), i < k, of the itemset
// tested last (only the fields the test reads). A test adds the values of the
// items that changed since, then the constraint adds the last item's
// (holds_after): along a group, one value per itemset instead of k. The
// summaries are exact integers, so every answer is holds()'s; a constraint
// that does not summarise (mean deviation, value lists) is asked
// holds() on the whole itemset.
//
// The path holds data only: the summaries and, per constraint, its column and
// counted value, taken when the walk starts. Each test is passed the
// constraint object itself, entry u of the list the walk started with (or its
// clone for another thread: clones share columns and prefix state).
// T is the dense item type.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "constraints/values.h"

template <class T>
class summary_path {
 public:
  // Starts a walk over the constraints of list, for itemsets of up to k items;
  // nothing is shared with any itemset before. Kept out of line: the stores
  // flatten their per-itemset path, which this rare step would crowd.
  template <class C>
  [[gnu::noinline]] void start(const std::vector<C*>& list, int k) {
    k_ = std::max(k, 1);
    entries_.assign(list.size(), entry{});
    summaries_.assign(list.size() * static_cast<std::size_t>(k_), Summary{});
    for (std::size_t u = 0; u < list.size(); ++u) {
      entry& e = entries_[u];
      Summary root{};
      e.summarised =
          list[u]->summarises(root, e.counted_value, e.fields) && list[u]->attribute_values;
      if (e.summarised) e.column = list[u]->attribute_values->data();
      summaries_[u * static_cast<std::size_t>(k_)] = root;
    }
    started_ = true;
  }
  // Continues the walk: the next itemset tested shares its first `shared`
  // items with the one tested last. Starts it (nothing shared) when it has
  // not started, or started for another list length or another k.
  template <class C>
  void resume(const std::vector<C*>& list, int k, int shared) {
    if (!started_ || k != k_ || list.size() != entries_.size())
      start(list, k);
    else
      moved(shared);
  }
  // The next itemset tested shares its first `shared` items with the last.
  void moved(int shared) {
    for (entry& e : entries_) e.valid = std::min(e.valid, shared);
  }
  // Forgets the walk: the next resume starts it again.
  void stop() { started_ = false; }

  // Whether c, entry u of the walk's list, holds for items[0..n), n <= k.
  template <class C>
  bool holds(C* c, std::size_t u, const T* items, int n) {
    const Summary* s = summary_before_last(u, items, n);
    if (s == nullptr) return c->holds(items, n);
    return c->holds_after(*s, entries_[u].column[items[n - 1]]);
  }
  // The summary of P ∪ items[0..n-1) for entry u, 0 < n <= k, to which a test
  // adds the last item's value (column(u)); null when the constraint does not
  // summarise.
  const Summary* summary_before_last(std::size_t u, const T* items, int n) {
    entry& e = entries_[u];
    if (!e.summarised || n <= 0) return nullptr;
    assert(n <= k_);
    Summary* s = summaries_.data() + u * static_cast<std::size_t>(k_);
    // s[i] summarises P ∪ items[0..i) for i <= e.valid.
    for (int i = e.valid; i + 1 < n; ++i)
      fold_value(s[i + 1], s[i], e.column[items[i]], e.fields, e.counted_value);
    if (e.valid < n - 1) e.valid = n - 1;
    return s + (n - 1);
  }
  // Entry u's values by dense id (a summarising constraint's).
  const std::uint32_t* column(std::size_t u) const { return entries_[u].column; }

 private:
  struct entry {
    const std::uint32_t* column = nullptr;  // values by dense id
    std::uint32_t counted_value = 0;
    unsigned fields = 0;  // the summary's fields the test reads besides n and sum
    int valid = 0;        // the deepest summary that holds for the last itemset
    bool summarised = false;
  };
  std::vector<entry> entries_;
  std::vector<Summary> summaries_;  // k_ per entry
  int k_ = 1;
  bool started_ = false;
};
