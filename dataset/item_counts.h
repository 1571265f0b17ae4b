// The support of every input id (the id written in the transaction file),
// counted during the first scan and recounted by each Winnow pass.
//
// Small ids are counted in a table indexed directly by id; the others (click-
// stream ids near 4e9, or a few small ids spread thinly) go to a hash table
// (dataset/id_map.h), so memory follows the number of distinct items, not the
// largest id. The table covers the ids below its size, the hash table every
// other id: it grows to an id below kDenseIdLimit only while it stays dense (at
// most kEntriesPerId entries per distinct small id counted, or up to
// kDenseIdFloor), taking over the hash table's entries below its new size. On
// the million-item row about 1,000 ids below the limit had grown it to 16 MiB.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dataset/id_map.h"
#include "util/cluster.h"
#include "util/prefetch.h"

// One counted item: its input id, its support and (when the numbering follows
// an attribute) its attribute value.
struct item_entry {
  std::uint32_t id;
  std::uint32_t count;
  std::uint32_t attr;
};

// Sorts entries stably by key(e), a 32-bit unsigned value: three counting
// sorts by 11-bit digits, least significant first, through one scratch copy.
// A million items take a few milliseconds where a comparison sort took most of
// a tenth of a second.
template <class Key>
void sort_entries_by(std::vector<item_entry>& entries, Key key) {
  constexpr int kBits = 11;
  constexpr std::uint32_t kDigits = 1u << kBits;
  if (entries.size() < 256) {
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const item_entry& a, const item_entry& b) { return key(a) < key(b); });
    return;
  }
  std::vector<item_entry> scratch(entries.size());
  std::vector<std::size_t> start(kDigits);
  for (int shift = 0; shift < 32; shift += kBits) {
    std::fill(start.begin(), start.end(), 0);
    for (const item_entry& e : entries) ++start[(key(e) >> shift) & (kDigits - 1)];
    // A digit that every entry shares orders nothing.
    if (*std::max_element(start.begin(), start.end()) == entries.size()) continue;
    std::size_t sum = 0;
    for (std::size_t& s : start) {
      const std::size_t count = s;
      s = sum;
      sum += count;
    }
    for (const item_entry& e : entries) scratch[start[(key(e) >> shift) & (kDigits - 1)]++] = e;
    entries.swap(scratch);
  }
}

class item_counts {
 public:
  static constexpr std::uint32_t kDenseIdLimit = 1u << 22;
  static constexpr std::uint32_t kDenseIdFloor = 1u << 16;
  static constexpr std::uint64_t kEntriesPerId = 16;

  void add(std::uint32_t input_id) {
    if (input_id < dense_.size()) {
      distinct_dense_ += dense_[input_id] == 0 ? 1 : 0;
      ++dense_[input_id];
    } else if (input_id < kDenseIdLimit) {
      add_small_beyond_table(input_id);
    } else {
      ++sparse_[input_id];
    }
    if (static_cast<std::uint64_t>(input_id) + 1 > id_bound_) id_bound_ = input_id + 1ULL;
  }
  // Fetches the counter of input_id ahead of an add.
  KESTREL_PREFETCHER void prefetch(std::uint32_t input_id) const {
    if (input_id < dense_.size())
      __builtin_prefetch(dense_.data() + input_id, 1);
    else
      sparse_.prefetch(input_id);
  }
  std::uint32_t support_of(std::uint32_t input_id) const;
  // The ids whose support is at least min_count (>= 1), in ascending id.
  std::vector<item_entry> frequent(std::uint32_t min_count) const;
  // Every count back to zero (a Winnow pass recounts); id_bound is kept.
  void clear();
  // Collective: every rank's counts become the sums over the ranks (and the id
  // bound their largest).
  void add_up(cluster& peers);
  // Frees the tables once the items are numbered.
  void release();
  // The largest id counted so far + 1; 0 before the first.
  std::uint64_t id_bound() const { return id_bound_; }
  // Entries of the directly indexed table: the ids below it are counted there,
  // the others in the hash table. At least every counted id below
  // kDenseIdFloor is below it.
  std::size_t dense_table_size() const { return dense_.size(); }

 private:
  // An id below kDenseIdLimit past the table: the table grows to it when it
  // stays dense, else the id goes to the hash table.
  void add_small_beyond_table(std::uint32_t input_id);
  // Recounts the distinct ids of the table and the small ids of the hash table.
  void recount_distinct();
  std::vector<std::uint32_t> dense_;  // indexed by input id
  id_map sparse_;                     // the ids from dense_.size() on
  std::uint64_t id_bound_ = 0;
  std::uint64_t distinct_dense_ = 0;    // nonzero entries of dense_
  std::uint64_t small_in_sparse_ = 0;   // keys of sparse_ below kDenseIdLimit
};

// Adds ids to item_counts kAhead ids after they come, fetching each one's
// counter when it comes: with millions of distinct large ids nearly every add
// missed the cache, and the first scan of the million-item benchmark spent half
// its time there. Counts are complete only after flush.
class deferred_counts {
 public:
  explicit deferred_counts(item_counts& counts) : counts_(counts) {}
  void add(std::uint32_t input_id) {
    std::uint32_t& slot = pending_[taken_ % kAhead];
    if (taken_ >= kAhead) counts_.add(slot);
    counts_.prefetch(input_id);
    slot = input_id;
    ++taken_;
  }
  void flush() {
    for (std::uint64_t i = taken_ > kAhead ? taken_ - kAhead : 0; i < taken_; ++i)
      counts_.add(pending_[i % kAhead]);
    taken_ = 0;
  }

 private:
  static constexpr std::uint64_t kAhead = 16;
  item_counts& counts_;
  std::uint32_t pending_[kAhead] = {};
  std::uint64_t taken_ = 0;
};
