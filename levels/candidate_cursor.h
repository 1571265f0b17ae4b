// The candidate cursor: walks the candidates of level k, each the prefix of a group
// of the previous level (k-1) plus the last items of two of its itemsets, in
// lexicographic order. Used by candidate generation and the vertical levels.
// T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "levels/level_store.h"

// Walks every joined pair of the groups [first_group, end_group) of the previous
// level (all of them by default): candidate = group prefix + the two last items.
// The first group may be walked from its member first_member on, and up to
// end_member (offsets in the group; end -1: all): only the pairs whose first
// joined itemset lies there, so a group too big to join at once can be joined
// in ranges of its members that follow each other in the same order.
// With closer (the constraint that set the item order), a row whose first
// joined itemset closes its extensions is not walked, nor are the rows after
// it in its group (they close too): no candidate of theirs could be written,
// nor could any itemset grown from one.
// The walk's state is the cursor's own, so several cursors may walk disjoint
// group ranges of one level at the same time. Also tracks the last candidate
// that was counted, so a counting routine can reuse the cached intersections of
// the prefix they share.
template <class T, class T1>
class candidate_cursor {
 public:
  // with_keys: also fetch the joined itemsets' key records and supports
  // (previous.keys must be filled). end_group -1: the level's last group.
  candidate_cursor(const frequent_level<T, T1>& previous, int k, bool with_keys,
                   int first_group = 0, int end_group = -1, int first_member = 0,
                   int end_member = -1, convertible_constraint<T>* closer = nullptr)
      : previous_(previous),
        walk_(previous),
        k_(k),
        with_keys_(with_keys),
        cand_(k),
        group_(first_group - 1),
        end_group_(end_group < 0 ? previous.number_of_groups() : end_group),
        last_(first_group < end_group_ ? previous.group_first(first_group) - 1 : 0),
        group_ends_(previous.group_last, static_cast<std::size_t>(std::max(first_group, 0))),
        first_group_(first_group),
        first_member_(first_member),
        end_member_(end_member),
        closer_(closer) {
    valid_ = enter_next_group();
  }

  // False when the range holds no group of two or more itemsets: there is no
  // candidate at all.
  bool valid() const { return valid_; }
  const T* candidate() const { return cand_.data(); }
  // The previous level's group whose prefix the candidate extends.
  int group() const { return group_; }
  // The walk over the previous level's groups, at group(): its nodes are the
  // tree path of the candidate's first k-2 items.
  const group_walk<T, T1>& walk() const { return walk_; }
  // The index in the previous level of the first joined itemset: the candidates
  // of one (k-1)-prefix are those of one group and one first_joined().
  int first_joined() const { return pair_i_; }
  // Key records (levels/key_column.h) and supports of the two joined itemsets.
  std::uint8_t key_i() const { return keys_[0]; }
  std::uint8_t key_j() const { return keys_[1]; }
  T1 support_i() const { return supports_[0]; }
  T1 support_j() const { return supports_[1]; }

  // Moves to the next joined pair; false when none is left.
  [[gnu::always_inline]] bool advance() {
    if (pair_j_ < last_) {
      ++pair_j_;
      changed_at(k_ - 1, false);
      // Only the second joined itemset changed.
      fetch_second();
      return true;
    } else if (pair_i_ + 1 < end_i_) {
      ++pair_i_;
      pair_j_ = pair_i_ + 1;
      changed_at(k_ - 2, true);
      if (closer_ != nullptr && row_closes()) return valid_ = enter_next_group();
    } else {
      return valid_ = enter_next_group();
    }
    fetch_suffix();
    return true;
  }

  // Marks the current candidate as the one counted next and returns how many
  // leading items it shares with the previously counted one (at most k-1).
  // The walk records the first position it changed since that candidate: the
  // item there grew (the candidates ascend), every item before it is the same.
  int share_with_counted() {
    const int s = unchanged_;
    unchanged_ = k_ - 1;
    return s;
  }

  // The same for the candidates a caller stores: marks the current one as
  // stored and returns how many leading items it shares with the one stored
  // before (at most k-1, so k-1 means the same (k-1)-prefix). Before the
  // first mark it is 0, whatever the caller's store already holds.
  int share_with_stored() {
    const int s = unchanged_stored_;
    unchanged_stored_ = k_ - 1;
    return s;
  }

  // The same for rows: returns the first position of the row's first k-1
  // items (P + x) that changed since the last call (0 at the first call, k-1
  // when the row is the same), and marks the row as taken. The subset search
  // (levels/subset_cursor.h) takes it at each row it searches for.
  int take_row_change() {
    const int c = row_unchanged_;
    row_unchanged_ = k_ - 1;
    return c;
  }

 private:
  // Moves to the next group of the range with two or more itemsets: its prefix
  // and first pair. False when there is none.
  bool enter_next_group() {
    while (++group_ < end_group_) {
      // Groups are consecutive: this one starts after the last one's end.
      const int first = last_ + 1;
      last_ = group_ends_.next();
      // The first joined itemset runs over [from, end_i_); the last itemset
      // joins none after it.
      int from = first;
      end_i_ = last_;
      if (group_ == first_group_) {
        from = first + first_member_;
        if (end_member_ >= 0) end_i_ = std::min(last_, first + end_member_);
      }
      if (from >= end_i_) continue;
      const T* p = walk_.prefix();
      const int changed = walk_.move_to(group_);
      for (int q = changed; q < k_ - 2; ++q) cand_[q] = p[q];
      changed_at(std::min(changed, k_ - 2), true);
      pair_i_ = from;
      pair_j_ = from + 1;
      if (closer_ != nullptr && row_closes()) continue;
      fetch_suffix();
      return true;
    }
    return false;
  }

  // Whether the row's first joined itemset (the group prefix plus its item)
  // closes the extensions of the order's constraint.
  [[gnu::noinline]] bool row_closes() {
    cand_[k_ - 2] = previous_.suffixes[pair_i_];
    return closer_->closes_extensions(cand_.data(), k_ - 1);
  }

  // The candidate changed from position q on: each mark keeps the first
  // change since it was taken. row: the row (P + x) changed too; a change of
  // only the last item (q = k-1) leaves the row mark as it is, and the caller
  // says so instead of paying for a compare per candidate.
  [[gnu::always_inline]] void changed_at(int q, bool row) {
    unchanged_ = std::min(unchanged_, q);
    unchanged_stored_ = std::min(unchanged_stored_, q);
    if (row) row_unchanged_ = std::min(row_unchanged_, q);
  }

  [[gnu::always_inline]] void fetch_suffix() {
    cand_[k_ - 2] = previous_.suffixes[pair_i_];
    if (with_keys_)
      previous_.key_and_support(static_cast<std::size_t>(pair_i_), keys_[0], supports_[0]);
    fetch_second();
  }
  [[gnu::always_inline]] void fetch_second() {
    cand_[k_ - 1] = previous_.suffixes[pair_j_];
    if (with_keys_)
      previous_.key_and_support(static_cast<std::size_t>(pair_j_), keys_[1], supports_[1]);
  }

  const frequent_level<T, T1>& previous_;
  group_walk<T, T1> walk_;
  int k_;
  bool with_keys_;
  std::vector<T> cand_;
  // The leading items of the candidate that are those of the last one
  // counted (at most k-1); none before the first.
  int unchanged_ = 0;
  int unchanged_stored_ = 0;  // the same since the last stored candidate
  int row_unchanged_ = 0;     // the same for rows (P + x), since the last taken
  int group_;
  int end_group_;
  int last_;       // the current group's last itemset
  int end_i_ = 0;  // the current group's first joined itemsets end before this
  offset_column<int>::cursor group_ends_;  // at the last itemset of the group after group_
  int first_group_;
  int first_member_;
  int end_member_;
  convertible_constraint<T>* closer_;
  int pair_i_ = 0;
  int pair_j_ = 0;
  bool valid_ = false;
  std::uint8_t keys_[2] = {0, 0};
  T1 supports_[2] = {0, 0};
};
