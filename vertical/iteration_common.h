// Pieces shared by the vertical iterations (compact, diffuse, key-pattern): the
// candidate cursor over the previous level's join, the anti-monotone test, the
// level's output and its progress row. Internal to vertical/.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/items.h"
#include "engine/itemset_store.h"
#include "engine/pair_counting.h"
#include "util/output_file.h"

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

// Whether every (k-1)-subset of cand other than the two joined itemsets is in
// the previous level's store. The store keeps every frequent itemset that passes
// the anti-monotone constraints, counted on data that holds at least the
// transactions still in the bit matrix, so a missing subset proves cand
// infrequent (or failing an anti-monotone constraint): it need not be intersected.
template <class T, class T1>
bool other_subsets_stored(const frequent_level<T, T1>& previous, const T* cand, int k,
                          std::vector<T>& subset) {
  for (int p = k - 3; p >= 0; --p) {
    int w = 0;
    for (int q = 0; q < k; ++q)
      if (q != p) subset[w++] = cand[q];
    if (!previous.lookup(subset.data(), nullptr, nullptr)) return false;
  }
  return true;
}

struct level_counters {
  long long examined = 0;  // candidates produced, tested or not
  long long frequent = 0;
  long long written = 0;
};

// Appends the accepted itemsets of level k to the output file.
template <class T, class T1>
void write_level(int k, item_table& items, frequent_level<T, T1>& next, typed_constraints<T>& table,
                 level_counters& counters) {
  counters.written = counters.frequent;
  if (!write_output) return;
  FSout out(OUTF, k);
  counters.written = level_allowed(k) ? next.dump_itemsets(items, out, table) : 0;
  out.file.close();
}

// "%2d: \t <alg>\t %6d \t %6d \t %6d \t -------- \t %8d \t %8.2f\n"; alg carries
// its own padding ("zaxd \t", "zaxs \t", "zaxdk\t").
inline void print_vertical_row(const char* alg, int k, const level_counters& c,
                               std::uint64_t vd_size, double seconds) {
  std::printf("%2d: \t %s\t %6lld \t %6lld \t %6lld \t -------- \t %8llu \t %8.2f\n", k, alg,
              c.examined, c.frequent, c.written, static_cast<unsigned long long>(vd_size / 1024),
              seconds);
}
