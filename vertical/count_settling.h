// How the counts of an in-memory level become supports: the counts policy of
// a level job (vertical/level_job.h). The join policies generate the
// candidates and count each on this process's in-memory data; the counts
// policy decides when a count is settled and the candidate stored.
//
//   local_counts   One process holds every transaction: a count is the
//                  candidate's support. The kernel that counts it compares it
//                  with min_count (and stops early below it), and a frequent
//                  candidate is stored at once, in walk order.
//   summed_counts  Several ranks each hold their own transactions (every rank
//                  walks the same candidates, from the same previous level). A
//                  rank counts each candidate exactly (threshold 0), and the
//                  candidate waits with what the join knows of it (its
//                  payload); the waiting counts are summed over the ranks in
//                  batches, and the candidates are then stored in walk order,
//                  those counted only when their sum reaches min_count. Every
//                  rank stores the same itemsets in the same order.
//
// Both take the same calls, so a join is written once for both:
//   threshold()                        the least count the kernels must settle
//   counted(cand, count, payload, store)
//   inferred(cand, payload, store)     a candidate whose support the join knows
//   settle(store)                      at the end of the join's chunk
// where store(cand, count, payload, was_counted) adds one itemset to the
// level being built. local_counts calls store from counted and inferred;
// summed_counts calls it from a sum (the candidate it passes is its own
// copy). A join that stores with the walk's position (what the candidate
// shares with the one stored before) reads kAtOnce.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/cluster.h"

// A payload for joins that carry nothing beside the candidate.
struct no_payload {};

// Each sum covers up to kSummedCandidates counted candidates, and up to
// kSummedItems items of candidates waiting for it (16 MB at most): a sum is
// two collectives, and with more ranks than cores each can cost a time slice
// (chess at sigma 1000, two ranks on two busy cores, level 10: 5.6 s with a
// sum per 65,536 candidates counted or inferred, 4.8 s now).
constexpr std::size_t kSummedCandidates = std::size_t{1} << 18;
constexpr std::size_t kSummedItems = std::size_t{1} << 22;

template <class T, class T1, class Payload>
class local_counts {
 public:
  static constexpr bool kAtOnce = true;
  static constexpr bool kOneThread = false;

  local_counts(cluster& /*peers*/, std::uint32_t min_count, int /*k*/) : min_count_(min_count) {}

  std::uint32_t threshold() const { return min_count_; }
  // count reached threshold(): the kernels say so before the call.
  template <class Store>
  [[gnu::always_inline]] void counted(const T* cand, std::uint32_t count, const Payload& payload,
                                      Store& store) {
    store(cand, count, payload, true);
  }
  template <class Store>
  [[gnu::always_inline]] void inferred(const T* cand, const Payload& payload, Store& store) {
    store(cand, 0, payload, false);
  }
  template <class Store>
  void settle(Store& /*store*/) {}

 private:
  std::uint32_t min_count_;
};

template <class T, class T1, class Payload>
class summed_counts {
 public:
  static constexpr bool kAtOnce = false;
  // The ranks meet at every sum in the same order: one thread per rank walks.
  static constexpr bool kOneThread = true;

  summed_counts(cluster& peers, std::uint32_t min_count, int k)
      : peers_(peers), min_count_(min_count), k_(static_cast<std::size_t>(k)) {}

  // Exactly: only the sum over the ranks is compared with min_count.
  std::uint32_t threshold() const { return 0; }
  template <class Store>
  void counted(const T* cand, std::uint32_t count, const Payload& payload, Store& store) {
    wait(cand, payload, true);
    counts_.push_back(static_cast<T1>(count));
    if (counts_.size() == kSummedCandidates || items_.size() >= kSummedItems) settle(store);
  }
  template <class Store>
  void inferred(const T* cand, const Payload& payload, Store& store) {
    wait(cand, payload, false);
    if (items_.size() >= kSummedItems) settle(store);
  }
  // Collective: sums the waiting counts and stores the candidates in order.
  template <class Store>
  void settle(Store& store) {
    peers_.sum_counts(counts_.data(), counts_.size());
    std::size_t next_count = 0;
    for (std::size_t c = 0; c < payloads_.size(); ++c) {
      const T* cand = items_.data() + c * k_;
      if (!was_counted_[c]) {
        store(cand, 0, payloads_[c], false);
        continue;
      }
      const T1 sum = counts_[next_count++];
      if (sum >= min_count_) store(cand, sum, payloads_[c], true);
    }
    items_.clear();
    payloads_.clear();
    was_counted_.clear();
    counts_.clear();
  }

 private:
  void wait(const T* cand, const Payload& payload, bool counted) {
    items_.insert(items_.end(), cand, cand + k_);
    payloads_.push_back(payload);
    was_counted_.push_back(counted ? 1 : 0);
  }

  cluster& peers_;
  std::uint32_t min_count_;
  std::size_t k_;
  // The candidates since the last sum, in walk order: their items, payloads,
  // whether each was counted, and this rank's counts of those counted.
  std::vector<T> items_;
  std::vector<Payload> payloads_;
  std::vector<std::uint8_t> was_counted_;
  std::vector<T1> counts_;
};
