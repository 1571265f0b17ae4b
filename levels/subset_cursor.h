// The subset test of a join walk, row by row.
//
// A candidate of level k is C = P + x + y, the join of P + x and P + y of one
// group of level k-1 (P has k-2 items). Its other (k-1)-subsets drop an item
// P[p] of P: C - P[p] is the itemset of the group (P - P[p]) + x whose last
// item is y. Along one row of the walk (P + x fixed, y ascending) these groups
// stay the same and y only grows: the cursor finds each group once per row, by
// bisection, and then only walks forward in it (galloping), instead of a
// bisection over the groups and one inside a group for every subset of every
// candidate.
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
        walk_start_(width_),
        row_(width_, -1),
        hint_(width_, kNoHint),
        group_(width_, -1),
        at_(width_, 0) {}

  // The index in previous of cand without the item at position p < k-2, or -1
  // when that subset is not stored. group and row are the join cursor's group()
  // and first_joined() for cand (its row): within a row cand[k-1] must ascend, and rows of one
  // group must come in the walk's order.
  int find_without(const T* cand, int group, int row, int p) {
    const std::size_t q = static_cast<std::size_t>(p);
    if (group != walk_group_) start_group(cand, group);
    if (row_[q] != row) {
      row_[q] = row;
      for (int i = 0, w = 0; i <= width_; ++i)
        if (i != p) prefix_[static_cast<std::size_t>(w++)] = cand[i];
      // Rows of one group give ascending prefixes for each p: search on from
      // the group found for the row before.
      const int g =
          hint_[q] == kNoHint ? previous_.find_group(prefix_.data()) : find_group_from(hint_[q]);
      group_[q] = g;
      if (g >= 0) {
        at_[q] = previous_.group_first(g);
        hint_[q] = g + 1;
      }
    }
    return find_forward(q, cand[width_ + 1]);
  }

  // Whether every (k-1)-subset of cand other than the two joined itemsets is
  // stored in previous.
  bool others_stored(const T* cand, int group, int row) {
    for (int p = width_ - 1; p >= 0; --p)
      if (find_without(cand, group, row, p) < 0) return false;
    return true;
  }

 private:
  static constexpr int kNoHint = -1;  // search all groups, by bisection

  // A new group of the walk, whose prefix P is cand[0 .. k-3]. Without P's last
  // item the subsets' groups (P - P[k-3]) + x lie after the walk's group (their
  // item at k-3 is x, above P's last): the search starts there. Dropping an
  // earlier item, the subsets of the groups that share P[0 .. k-4] with the one
  // walked before ascend from group to group (the prefixes differ first in P's
  // last item, which grows): the hints stay when the walk moves forward;
  // otherwise the search starts over.
  void start_group(const T* cand, int group) {
    const bool same_start = walk_group_ >= 0 && group > walk_group_ && width_ > 0 &&
                            std::equal(cand, cand + width_ - 1, walk_start_.begin());
    walk_group_ = group;
    std::copy(cand, cand + width_, walk_start_.begin());
    std::fill(row_.begin(), row_.end(), -1);
    if (!same_start) std::fill(hint_.begin(), hint_.end(), kNoHint);
    if (width_ > 0) hint_[static_cast<std::size_t>(width_ - 1)] = group + 1;
  }

  // -1, 0 or 1 as group g's prefix is below, equal to or above prefix_.
  int compare_group(int g) const {
    const T* p = previous_.prefixes.data() + static_cast<std::size_t>(g) * width_;
    for (int i = 0; i < width_; ++i)
      if (p[i] != prefix_[static_cast<std::size_t>(i)])
        return p[i] < prefix_[static_cast<std::size_t>(i)] ? -1 : 1;
    return 0;
  }

  // The group whose prefix is prefix_, among the groups from `from` on (every
  // group before from is below it); -1 when there is none. Gallops from `from`,
  // then bisects.
  int find_group_from(int from) const {
    const int n = previous_.number_of_groups();
    if (from >= n) return -1;
    int c = compare_group(from);
    if (c >= 0) return c == 0 ? from : -1;
    int lo = from, step = 1;  // group lo is below prefix_
    int hi = n;               // every group from hi on is at or above it
    while (lo + step < n) {
      c = compare_group(lo + step);
      if (c == 0) return lo + step;
      if (c > 0) {
        hi = lo + step;
        break;
      }
      lo += step;
      step *= 2;
    }
    // The prefix lies strictly between groups lo and hi.
    int a = lo + 1, b = hi - 1;
    while (a <= b) {
      const int mid = a + (b - a) / 2;
      c = compare_group(mid);
      if (c == 0) return mid;
      if (c < 0)
        a = mid + 1;
      else
        b = mid - 1;
    }
    return -1;
  }

  // Index of the itemset with last item y in the group of p, from the current
  // position on; -1 when absent. Moves the position to the first suffix >= y.
  int find_forward(std::size_t p, T y) {
    const int g = group_[p];
    if (g < 0) return -1;
    const T* suffixes = previous_.suffixes.data();
    const int end = previous_.group_last[static_cast<std::size_t>(g)] + 1;
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
  int width_;               // k-2: the items of a group prefix of the previous level
  std::vector<T> prefix_;   // the prefix searched for
  int walk_group_ = -1;     // the join cursor's group the hints belong to
  std::vector<T> walk_start_;  // that group's prefix
  std::vector<int> row_;    // per p: the row whose subset group is in group_
  std::vector<int> hint_;   // per p: where the next row's search starts
  std::vector<int> group_;  // per p: the group of (P - P[p]) + x, -1 when none
  std::vector<int> at_;     // per p: the current position in that group
};
