// The subset test of a join walk, row by row.
//
// A candidate of level k is C = P + x + y, the join of P + x and P + y of one
// group of level k-1 (P has k-2 items). Its other (k-1)-subsets drop an item
// P[p] of P: C - P[p] is the itemset of the group (P - P[p]) + x whose last
// item is y. Along one row of the walk (P + x fixed, y ascending) these groups
// stay the same and y only grows: the cursor finds each group once per row and
// then only walks forward in it (galloping). The group is found by descending
// the previous level's prefix tree from the deepest node the prefix shares with
// the one searched for the row before (for the next row of a group only x
// changes: one search among the siblings of the last depth).
// T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "levels/level_store.h"

template <class T, class T1>
class subset_cursor {
 public:
  subset_cursor(const frequent_level<T, T1>& previous, int k)
      : previous_(previous),
        width_(k > 2 ? k - 2 : 0),
        prefix_(width_),
        row_(width_, -1),
        searched_(static_cast<std::size_t>(width_) * width_),
        path_(static_cast<std::size_t>(width_) * width_),
        reached_(width_, 0),
        group_(width_, -1),
        at_(width_, 0),
        end_(width_, 0) {}

  // The index in previous of cand without the item at position p < k-2, or -1
  // when that subset is not stored. row is the join cursor's first_joined() for
  // cand: within a row cand[k-1] must ascend.
  int find_without(const T* cand, int row, int p) {
    const std::size_t q = static_cast<std::size_t>(p);
    if (row_[q] != row) {
      row_[q] = row;
      for (int i = 0, w = 0; i <= width_; ++i)
        if (i != p) prefix_[static_cast<std::size_t>(w++)] = cand[i];
      T* searched = searched_.data() + q * width_;
      int* path = path_.data() + q * width_;
      // The nodes found for the row before hold as far as both prefixes agree.
      const int from = static_cast<int>(
          std::mismatch(prefix_.begin(), prefix_.begin() + reached_[q], searched).first -
          prefix_.begin());
      std::copy(prefix_.begin(), prefix_.end(), searched);
      reached_[q] = previous_.descend(searched, path, from);
      const int g = reached_[q] == width_ ? path[width_ - 1] : -1;
      group_[q] = g;
      if (g >= 0) {
        at_[q] = previous_.group_first(g);
        end_[q] = previous_.group_last[static_cast<std::size_t>(g)] + 1;
      }
    }
    return find_forward(q, cand[width_ + 1]);
  }

  // Whether every (k-1)-subset of cand other than the two joined itemsets is
  // stored in previous.
  bool others_stored(const T* cand, int row) {
    for (int p = width_ - 1; p >= 0; --p)
      if (find_without(cand, row, p) < 0) return false;
    return true;
  }

 private:
  // Index of the itemset with last item y in the group of p, from the current
  // position on; -1 when absent. Moves the position to the first suffix >= y.
  int find_forward(std::size_t p, T y) {
    if (group_[p] < 0) return -1;
    const T* suffixes = previous_.suffixes.data();
    const int end = end_[p];
    int at = at_[p];
    // Gallop: double the step while the suffix there is still below y.
    int step = 1;
    while (at + step < end && suffixes[at + step] < y) {
      at += step;
      step *= 2;
    }
    if (at < end && suffixes[at] < y)
      at = static_cast<int>(
          std::lower_bound(suffixes + at + 1, suffixes + std::min(end, at + step + 1), y) -
          suffixes);
    at_[p] = at;
    return at < end && suffixes[at] == y ? at : -1;
  }

  const frequent_level<T, T1>& previous_;
  int width_;                 // k-2: the items of a group prefix of the previous level
  std::vector<T> prefix_;     // the prefix searched for
  std::vector<int> row_;      // per p: the row whose subset group is in group_
  std::vector<T> searched_;   // per p: the prefix searched for that row
  std::vector<int> path_;     // per p: its nodes in the tree, valid above reached_
  std::vector<int> reached_;  // per p: the depth its search reached
  std::vector<int> group_;    // per p: the group of (P - P[p]) + x, -1 when none
  std::vector<int> at_;       // per p: the current position in that group
  std::vector<int> end_;      // per p: the end of that group
};
