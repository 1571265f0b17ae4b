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
// changes: one search among the siblings of the last depth); the nodes above
// depth p are P's own, which the join's group walk holds. How far a search
// for p can reuse its nodes follows from where the rows' P + x changed since p
// was last searched: the cursor records, per position of P + x, the row serial
// of its last change, with the first changed position of each row given by the
// join walk, so no prefix is rebuilt or compared.
//
// When the joins skip the rows whose first joined itemset closes the
// extensions of the order's constraint (levels/candidate_cursor.h), a subset
// may be missing without being infrequent: it was never joined. The cursor
// given that constraint tells those apart (never_joined).
// T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/level_store.h"
#include "util/prefetch.h"

template <class T, class T1>
class subset_cursor {
 public:
  subset_cursor(const frequent_level<T, T1>& previous, int k,
                convertible_constraint<T>* closer = nullptr)
      : previous_(previous),
        closer_(closer),
        width_(k > 2 ? k - 2 : 0),
        closed_items_(width_),
        slots_(width_),
        path_(static_cast<std::size_t>(width_) * width_),
        path_end_(path_.size()),
        changed_(width_ + 1, 0) {}

  // The index in previous of the walk's candidate without its item at
  // position p < k-2, or -1 when that subset is not stored. Within a row the
  // candidate's last item ascends.
  // Inlined: most calls stay in the row of the last one for p and only walk
  // forward in its group; the search for a new row's group is a call.
  [[gnu::always_inline]] int find_without(candidate_cursor<T, T1>& walk, int p) {
    slot& s = slots_[static_cast<std::size_t>(p)];
    const T* cand = walk.candidate();
    const int row = walk.first_joined();
    if (s.row != row) enter_row(walk, row, p);
    return find_forward(s, cand[width_ + 1]);
  }

  // Whether every (k-1)-subset of the walk's candidate other than the two
  // joined itemsets is stored in previous, or never joined.
  bool others_stored(candidate_cursor<T, T1>& walk) {
    for (int p = width_ - 1; p >= 0; --p)
      if (find_without(walk, p) < 0 && !never_joined(walk, p)) return false;
    return true;
  }

  // Whether the walk's candidate without its item at p < k-2 was never joined:
  // its first joined itemset, the row's P + x without P[p], closes the
  // extensions of the cursor's constraint (none given: false). Such a subset,
  // when missing, says nothing of the candidate's support; when the test is
  // false, every prefix of the subset is open and the subset is missing only
  // when it is infrequent or fails an anti-monotone constraint. Asked once per
  // row and p.
  bool never_joined(candidate_cursor<T, T1>& walk, int p) {
    if (closer_ == nullptr) return false;
    slot& s = slots_[static_cast<std::size_t>(p)];
    const int row = walk.first_joined();
    if (s.closed_row != row) {
      const T* cand = walk.candidate();
      T* items = closed_items_.data();
      for (int i = 0, n = 0; i <= width_; ++i)
        if (i != p) items[n++] = cand[i];
      s.closed = closer_->closes_extensions(items, width_);
      s.closed_row = row;
    }
    return s.closed;
  }

 private:
  // The search state of one position p of P.
  struct slot {
    int row = -1;              // the row whose subset group is in group
    int reached = 0;           // the depth its search reached
    int group = -1;            // the group of (P - P[p]) + x, -1 when none
    int at = 0;                // the current position in that group
    int end = 0;               // the end of that group
    std::uint64_t serial = 0;  // the serial of row
    // At the last depth: the position the last search reached among the
    // siblings (the first whose item is not below last_x), their end, and the
    // item searched. last_x starts at the largest item value, which no x
    // exceeds: until p has searched the last depth, it descends.
    std::size_t sibling_at = 0;
    std::size_t sibling_end = 0;
    T last_x = std::numeric_limits<T>::max();
    int closed_row = -1;  // the row never_joined answered for last
    bool closed = false;  // its answer
  };

  // Finds the group of (P - P[p]) + x for the row of cand, new to p, and
  // places p's position at its start.
  [[gnu::noinline]] void enter_row(candidate_cursor<T, T1>& walk, int row, int p) {
    const std::size_t q = static_cast<std::size_t>(p);
    slot& s = slots_[q];
    const T* cand = walk.candidate();
    if (row != latest_row_) note_row(walk.take_row_change(), row);
    // P + x agrees with the row p was searched for on its first `same` items
    // (the changes since then are a suffix of the positions). Searched for
    // the row before: the changes are this row's.
    int same = latest_from_;
    if (s.serial + 1 != serial_now_) {
      same = width_ + 1;
      while (same > 0 && changed_[static_cast<std::size_t>(same - 1)] > s.serial) --same;
    }
    s.row = row;
    s.serial = serial_now_;
    // Without P[p] the searched prefix's item i is cand[i] below p and
    // cand[i+1] from p on, so a change at `same` moves left by one past p.
    const int changed = same > p ? same - 1 : same;
    const int from = std::min(changed, s.reached);
    int* path = path_.data() + q * width_;
    const int last_group = s.group;
    const T x = cand[width_];
    int g = -1;
    if (from == width_ - 1 && x > s.last_x) {
      // Only x grew (the next row of one walk group): the group of
      // (P - P[p]) + x is a later sibling of the last one searched.
      g = scan_siblings(s, x);
      s.reached = g >= 0 ? width_ : width_ - 1;
      if (g >= 0) path[width_ - 1] = g;
    } else {
      // The node at the first depth that changed is still on the path: its
      // siblings are where the search there may resume.
      s.reached = descend_without(cand, p, s, path, from, changed < s.reached, walk.walk());
      g = s.reached == width_ ? path[width_ - 1] : -1;
    }
    s.group = g;
    if (g >= 0) {
      // Consecutive groups: the next one starts where the last one ended.
      int last;
      if (last_group < 0 || g != last_group + 1) {
        previous_.group_span(g, s.at, last);
      } else {
        s.at = s.end;
        last = previous_.group_last[static_cast<std::size_t>(g)];
      }
      s.end = last + 1;
      fetch_group(static_cast<std::size_t>(s.at));
    }
  }

  // A row not seen before, whose P + x differs from the last row's from
  // position from on (the walk tracks it): renumbers those positions.
  void note_row(int from, int row) {
    if (latest_row_ < 0) from = 0;
    ++serial_now_;
    for (int i = from; i <= width_; ++i) changed_[static_cast<std::size_t>(i)] = serial_now_;
    latest_row_ = row;
    latest_from_ = from;
  }

  // Fetches the supports and key records of a group just found, from its
  // first itemset on: the caller reads them for the itemset the search below
  // finds in the suffixes. Three arrays of a level too big for the cache: asked
  // for together, their misses overlap instead of following one another.
  KESTREL_PREFETCHER void fetch_group(std::size_t at) const {
    previous_.supports.prefetch(at);
    if (!previous_.supports.packed() && at < previous_.keys.size())
      __builtin_prefetch(previous_.keys.data() + at / 2);
  }

  // The first of items[begin, end) (ascending) not below x. Sibling ranges are
  // short on deep levels: a scan beats a bisection there.
  static std::size_t lower_node(const T* items, std::size_t begin, std::size_t end, T x) {
    if (end - begin <= 8) {
      while (begin < end && items[begin] < x) ++begin;
      return begin;
    }
    return static_cast<std::size_t>(std::lower_bound(items + begin, items + end, x) - items);
  }

  // Descends previous's prefix tree along cand without its item at p, from
  // depth `from` on (path[0..from) hold the nodes above). Returns the depth
  // reached: width_ when path[width_-1] is the group.
  // At the last depth the siblings' end, x and the position reached are kept
  // for scan_siblings (also when x is not there).
  // With onward set, path[from] still holds the node of the last search at that
  // depth, under the same parent; when the item searched there now is not below
  // that node's, the search resumes from it, within the siblings' end kept then
  // (a group's successor in the walk mostly moves one sibling on, and the
  // tree's offsets are read only below the node that changed).
  // Above depth p the searched prefix is P's own, whose nodes and sibling ends
  // the join's group walk holds: they are copied, not searched. At depth p the
  // item (the one after P[p]) is a later sibling of P's node there.
  int descend_without(const T* cand, int p, slot& s, int* path, int from, bool onward,
                      const group_walk<T, T1>& walk) {
    std::size_t* ends = path_end_.data() + static_cast<std::size_t>(p) * width_;
    for (int d = from; d < p; ++d) {
      path[d] = static_cast<int>(walk.node(d));
      ends[d] = walk.siblings_end(d);
    }
    for (int d = std::max(from, p); d < width_; ++d) {
      const T* items = previous_.node_items[static_cast<std::size_t>(d)].data();
      const T item = cand[d + 1];
      std::size_t begin, end;
      if (onward && d == from && items[path[d]] <= item) {
        begin = static_cast<std::size_t>(path[d]);
        end = ends[d];
      } else if (d == p) {
        begin = walk.node(d) + 1;
        end = walk.siblings_end(d);
        ends[d] = end;
      } else {
        const std::size_t parent = d > 0 ? static_cast<std::size_t>(path[d - 1]) : 0;
        previous_.children(d - 1, parent, begin, end);
        ends[d] = end;
      }
      const std::size_t at = lower_node(items, begin, end, item);
      if (d == width_ - 1) {
        s.sibling_at = at;
        s.sibling_end = end;
        s.last_x = item;
      }
      if (at == end || items[at] != item) return d;
      path[d] = static_cast<int>(at);
    }
    return width_;
  }

  // The group among the siblings of the last depth whose item is x, from the
  // position the last search there reached on (x above the item searched then);
  // -1 when absent.
  int scan_siblings(slot& s, T x) {
    const T* items = previous_.node_items[static_cast<std::size_t>(width_ - 1)].data();
    const std::size_t end = s.sibling_end;
    const std::size_t at = lower_node(items, s.sibling_at, end, x);
    s.sibling_at = at;
    s.last_x = x;
    return at < end && items[at] == x ? static_cast<int>(at) : -1;
  }

  // Index of the itemset with last item y in the group of p, from the current
  // position on; -1 when absent. Moves the position to the first suffix >= y.
  [[gnu::always_inline]] int find_forward(slot& s, T y) {
    if (s.group < 0) return -1;
    const T* suffixes = previous_.suffixes.data();
    const int end = s.end;
    int at = s.at;
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
    s.at = at;
    return at < end && suffixes[at] == y ? at : -1;
  }

  const frequent_level<T, T1>& previous_;
  convertible_constraint<T>* closer_;  // the order's constraint, or null
  int width_;                          // k-2: the items of a group prefix of the previous level
  std::vector<T> closed_items_;        // never_joined's P + x without P[p]
  std::vector<slot> slots_;            // per p
  std::vector<int> path_;              // per p: its nodes in the tree, valid above its reached
  std::vector<std::size_t> path_end_;  // per p: the end of each of those nodes' siblings
  // The last row seen (any p); rows seen are numbered from 1.
  int latest_row_ = -1;
  int latest_from_ = 0;  // the first position of P + x that changed at that row
  std::uint64_t serial_now_ = 0;
  // Per position of P + x: the serial of the row at which it last changed.
  // Nondecreasing along the positions, since a change renumbers all after it.
  std::vector<std::uint64_t> changed_;
};
