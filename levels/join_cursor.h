// The join cursor: walks the candidates of level k, each the prefix of a group
// of the previous level (k-1) plus the last items of two of its itemsets, in
// lexicographic order. Used by candidate generation and the vertical levels.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstdint>
#include <vector>

#include "levels/level_store.h"

// Walks every joined pair of the previous level: candidate = group prefix + the
// two last items. Also tracks the last candidate that was counted, so a counting
// routine can reuse the cached intersections of the prefix they share.
template <class T, class T1>
class candidate_cursor {
 public:
  // previous.start_join() must have returned true. with_keys: also fetch the
  // joined itemsets' key records and supports (previous.keys must be filled).
  candidate_cursor(frequent_level<T, T1>& previous, int k, std::uint32_t n_items, bool with_keys)
      : previous_(previous),
        k_(k),
        with_keys_(with_keys),
        cand_(k),
        counted_(k, static_cast<T>(n_items - 1)) {
    // n_items - 1 can be no first item of a candidate of k >= 3 items, so the first
    // candidate shares nothing with the counted one.
    previous_.get_prefix(cand_.data());
    fetch_suffix();
  }

  const T* candidate() const { return cand_.data(); }
  // Key records (T(-1) for a key) and supports of the two joined itemsets.
  T key_i() const { return keys_[0]; }
  T key_j() const { return keys_[1]; }
  T1 support_i() const { return supports_[0]; }
  T1 support_j() const { return supports_[1]; }

  // Moves to the next joined pair; false when none is left.
  bool advance() {
    const join_step step = previous_.next_join();
    if (step == join_step::none) return false;
    if (step == join_step::new_prefix) previous_.get_prefix(cand_.data());
    fetch_suffix();
    return true;
  }

  // Marks the current candidate as the one counted next and returns how many
  // leading items it shares with the previously counted one (at most k-1).
  int share_with_counted() {
    int s = 0;
    while (s < k_ - 1 && cand_[s] == counted_[s]) ++s;
    for (int q = s; q < k_; ++q) counted_[q] = cand_[q];
    return s;
  }

 private:
  void fetch_suffix() {
    if (with_keys_)
      previous_.get_suffix(cand_.data() + k_ - 2, keys_, supports_);
    else
      previous_.get_suffix(cand_.data() + k_ - 2);
  }

  frequent_level<T, T1>& previous_;
  int k_;
  bool with_keys_;
  std::vector<T> cand_;
  std::vector<T> counted_;
  T keys_[2] = {0, 0};
  T1 supports_[2] = {0, 0};
};
