// When the key-pattern join looks up the other (k-1)-subsets of a
// candidate whose two joined itemsets are both keys.
//
// Those look-ups pay where they settle the candidate without a count: a subset
// that is no key gives the candidate's support, a missing one drops the
// candidate, and the records a settled candidate leaves let later levels infer
// more. Where nearly every such candidate needs its count all the same (chess:
// 2-4 % of them settled per level, against 30-45 % on mushroom and 35 % on
// retail's first in-memory level), the look-ups cost more than the counts they
// save. So each walker examines the first candidates of a level, and after
// them only while at least an eighth of those it examined were settled; below
// that it examines one in 32, which keeps the rate current.
//
// The output is the same either way: a candidate not examined is counted and
// stored as a key unless its count equals a joined itemset's support, and a key
// record on an itemset that is no key only forgoes inference.
#pragma once

#include <cstdint>

#include "dataset/run_context.h"

class subset_examination {
 public:
  static constexpr std::uint64_t kFirst = 512;  // examined in any case, per walker and level
  static constexpr std::uint64_t kShare = 8;    // the least settled share: one in kShare
  static constexpr std::uint64_t kSample = 32;  // below it, one candidate in kSample

  explicit subset_examination(key_subsets rule = key_subsets::by_rate) : rule_(rule) {}

  // Whether to examine the next candidate whose joined itemsets are both keys.
  bool wanted() {
    if (rule_ == key_subsets::all) return true;
    if (rule_ == key_subsets::by_rate && (examined_ < kFirst || settled_ * kShare >= examined_))
      return true;
    return ++passed_ % kSample == 0;
  }

  // The outcome of an examination: settled, or the candidate needs its count.
  void note(bool settled) {
    ++examined_;
    settled_ += settled ? 1 : 0;
  }

 private:
  key_subsets rule_;
  std::uint64_t examined_ = 0;
  std::uint64_t settled_ = 0;
  std::uint64_t passed_ = 0;
};
