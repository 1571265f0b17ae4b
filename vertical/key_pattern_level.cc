// The key-pattern join. T is the dense item type, T1 the support type.
//
// Soundness of the inferences here. Every identity support(X) = support(X - a) is
// one of the data in the bit matrix: it is recorded only after counting X there,
// or derived from such identities. At the first vertical level every record is
// the key mark, so no support counted on earlier, larger data enters an
// inference; a count on the bit matrix equal to a smaller-or-equal subset support
// counted earlier still proves the identity on the bit matrix, since dropping
// transactions can only lower supports. A subset absent from the previous store
// is infrequent or fails an anti-monotone constraint (stores keep every other
// itemset), and in either case so does the candidate; unless it was never
// joined (levels/subset_cursor.h): then nothing is inferred from it, and a
// candidate whose support would come from it is counted.
#include "vertical/key_pattern_level.h"

#include <cstdint>
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/subset_cursor.h"
#include "util/widths.h"
#include "vertical/count_settling.h"

namespace {

constexpr std::uint8_t kKey = key_column::kKey;

// What one candidate C = P+x+y (the join of P+x and P+y) turns out to be.
template <class T, class T1>
struct key_verdict {
  enum { skip, store, count } action = skip;
  T1 support = 0;               // store: the inferred support
  std::uint8_t record = 0;      // store: the record of the item whose removal keeps it
  T1 least = 0;                 // count: the least support of C's (k-1)-subsets, all keys
  std::uint8_t least_item = 0;  // count: the record of the item whose removal gives that subset
};

// Infers C's support from its subsets where one of them is no key pattern;
// otherwise asks for C to be counted, with the least subset support m and its
// item r (C is no key when its count equals m). The subsets are found through
// subsets, the row-by-row subset search of the walk; when both joined itemsets
// are keys, only where examination wants them (else m and r are the joined
// itemsets' least).
// Inlined: a verdict returned from a call went through the stack field by
// field and was read back whole, a stalled load per candidate.
template <class T, class T1>
[[gnu::always_inline]] inline key_verdict<T, T1> examine_subsets(
    const frequent_level<T, T1>& previous, candidate_cursor<T, T1>& cursor, int k,
    subset_cursor<T, T1>& subsets, subset_examination& examination) {
  // Records of P+x and P+y: 0 names x and y, r > 0 the item of P at k-2-r.
  const std::uint8_t a_i = cursor.key_i(), a_j = cursor.key_j();
  const T1 s_i = cursor.support_i(), s_j = cursor.support_j();
  key_verdict<T, T1> v;
  if (a_i == 0) {  // support(P+x) = support(P): C has the support of P+y
    v.action = key_verdict<T, T1>::store;
    v.support = s_j;
    v.record = key_column::naming(1);
    return v;
  }
  if (a_j == 0) {  // support(P+y) = support(P): C has the support of P+x
    v.action = key_verdict<T, T1>::store;
    v.support = s_i;
    v.record = key_column::naming(0);
    return v;
  }
  // The position of an item of C whose removal keeps its support.
  int drop;
  if (a_i != kKey || a_j != kKey) {
    // An item of P removable without change.
    drop = k - 2 - (a_i != kKey ? a_i : a_j);
  } else {
    // Both joined itemsets are keys: examine the other (k-1)-subsets.
    v.least = s_i < s_j ? s_i : s_j;
    v.least_item = key_column::naming(s_i < s_j ? 0 : 1);
    if (!examination.wanted()) {
      v.action = key_verdict<T, T1>::count;
      return v;
    }
    int p = k - 3;
    std::uint8_t key = kKey;
    for (;; --p) {
      if (p < 0) {
        examination.note(false);
        v.action = key_verdict<T, T1>::count;
        return v;
      }
      const int found = subsets.find_without(cursor, p);
      if (found < 0) {
        if (subsets.never_joined(cursor, p)) continue;
        // An infrequent subset.
        examination.note(true);
        return v;
      }
      T1 support;
      previous.key_and_support(static_cast<std::size_t>(found), key, support);
      if (key != kKey) break;
      if (support <= v.least) {
        v.least = support;
        v.least_item = key_column::naming(k - 1 - p);
      }
    }
    // The subset is no key: neither is C, and dropping the subset's record b
    // from C keeps its support. b lies at q in the subset (C without p).
    examination.note(true);
    const int q = k - 2 - key;
    drop = q < p ? q : q + 1;
  }
  // C without the item at drop: without x or y it is the other joined
  // itemset, else it is looked up.
  T1 support = drop == k - 2 ? s_j : s_i;
  if (drop < k - 2) {
    const int at = subsets.find_without(cursor, drop);
    if (at < 0) {
      // Never joined: C is counted. With both joined itemsets keys, a count
      // equal to the least subset support proves that identity; else C is
      // stored as a key (v.least is 0).
      if (subsets.never_joined(cursor, drop)) v.action = key_verdict<T, T1>::count;
      return v;
    }
    support = previous.supports[static_cast<std::size_t>(at)];
  }
  v.action = key_verdict<T, T1>::store;
  v.record = key_column::naming(k - 1 - drop);
  v.support = support;
  return v;
}

// The support of candidate cand (k items) of previous's group `group`, on
// tid-lists. The group's first candidate starts one walk over its prefix's
// transactions that counts every pair of the group's last items
// (counted_group remembers the group walked), so each candidate is a lookup.
template <class T, class T1>
std::uint32_t pair_count_in_group(const tid_lists<T>& lists, const frequent_level<T, T1>& previous,
                                  int group, const T* cand, int k, std::uint32_t min_count,
                                  tid_scratch& scratch, int& counted_group) {
  if (group != counted_group) {
    counted_group = group;
    int first, last;
    previous.group_span(group, first, last);
    const int m = last - first + 1;
    lists.start_group(cand, k - 2, previous.suffixes.data() + first, static_cast<std::uint32_t>(m),
                      min_count, scratch);
  }
  return lists.pair_count(cand[k - 2], cand[k - 1], scratch);
}

template <class T, class T1, class Counts>
class key_pattern_join {
 public:
  using counts_policy = Counts;
  static constexpr bool kWithKeys = true;

  explicit key_pattern_join(level_job<T, T1>& job)
      : run_(job.run()), data_(job.data()), min_count_(job.items().min_count) {}

  const char* label() const { return "zaxdk"; }
  // Records missing (the level was not built by this join and the driver did
  // not mark it): the key mark for all is always sound, it only forgoes
  // inference.
  void start_level(int k, frequent_level<T, T1>& previous) {
    k_ = k;
    if (!previous.has_keys())
      previous.keys.assign(static_cast<std::size_t>(previous.n_itemsets), kKey);
  }
  void start_walk() const {}
  bool with_mask() const { return false; }
  bool flags_items() const { return false; }
  bool collects() const { return false; }
  // A count summed over the ranks is taken whatever share the look-ups
  // settle: there every candidate is examined.
  void prepare(level_walker<T>& w) const {
    w.examination =
        subset_examination(Counts::kAtOnce ? run_.config.examined_subsets : key_subsets::all);
  }
  void end_level(const std::vector<level_walker<T>>&, const intersection_stats&) const {}

  // Counts or infers the candidates of the groups of chunk into out, with the
  // walker's scratch and constraint clones. whole: previous is all of its
  // level, with its key records; otherwise (a window read back) every
  // candidate is counted and stored as a key.
  void join(const frequent_level<T, T1>& previous, bool whole, level_walker<T>& w,
            const group_chunk& chunk, frequent_level<T, T1>& out) const {
    const int k = k_;
    convertible_constraint<T>* closer = w.table->order_setter();
    candidate_cursor<T, T1> cursor(previous, k, whole, chunk.first_group, chunk.end_group,
                                   chunk.first_member, chunk.end_member, closer);
    if (!cursor.valid()) return;
    Counts counts(run_.peers, min_count_, k);
    const std::uint32_t threshold = counts.threshold();
    subset_cursor<T, T1> subsets(previous, k, closer);
    const T* cand = cursor.candidate();
    int counted_group = -1;
    // Stored at once, the candidates of one row land in one group of out, in
    // order: after the first one stored here (out may end in a group of an
    // earlier chunk), the walk tells what each shares with the last, and no
    // prefix is compared. Stored after a sum, the walk has moved on.
    bool stored_before = false;
    auto store = [&](const T* itemset, std::uint32_t count, const key_verdict<T, T1>& v,
                     bool was_counted) {
      T1 support = v.support;
      std::uint8_t record = v.record;
      if (was_counted) {
        const bool inferred = whole && count == v.least;
        support = inferred ? v.least : static_cast<T1>(count);
        record = inferred ? v.least_item : kKey;
      }
      if constexpr (Counts::kAtOnce) {
        const int shared = cursor.share_with_stored();
        if (stored_before)
          out.add_in_memory_sharing(itemset, shared, support, *w.table);
        else
          out.add_in_memory(itemset, support, *w.table);
        stored_before = true;
      } else {
        out.add_in_memory(itemset, support, *w.table);
      }
      out.add_key(record);
      ++w.counters.frequent;
    };
    do {
      ++w.counters.examined;
      if (!w.table->keeps(cand, k)) continue;
      key_verdict<T, T1> v;
      v.action = key_verdict<T, T1>::count;
      if (whole) v = examine_subsets(previous, cursor, k, subsets, w.examination);
      if (v.action == key_verdict<T, T1>::store) counts.inferred(cand, v, store);
      if (v.action != key_verdict<T, T1>::count) continue;
      std::uint32_t count = 0;
      if (data_.uses_lists) {
        // All pairs of the group in one walk (started at the group's first
        // candidate that needs a count): cheaper than a projection of the
        // prefix and an intersection per candidate, even where few need a count.
        count = pair_count_in_group(data_.lists, previous, cursor.group(), cand, k, threshold,
                                    w.lists, counted_group);
        if (count < threshold) continue;
      } else {
        const int s = cursor.share_with_counted();
        if (!data_.matrix.candidate_is_frequent_compact(cand, s, k, threshold, count, w.scratch))
          continue;
      }
      counts.counted(cand, count, v, store);
    } while (cursor.advance());
    counts.settle(store);
  }

 private:
  run_context& run_;
  const vertical_dataset<T>& data_;
  std::uint32_t min_count_;
  int k_ = 0;
};

}  // namespace

template <class T, class T1>
void build_key_pattern_level(level_job<T, T1>& job) {
  if (job.summed()) {
    key_pattern_join<T, T1, summed_counts<T, T1, key_verdict<T, T1>>> join(job);
    job.build(join);
  } else {
    key_pattern_join<T, T1, local_counts<T, T1, key_verdict<T, T1>>> join(job);
    job.build(join);
  }
}

#define KESTREL_INSTANTIATE(T, T1) template void build_key_pattern_level<T, T1>(level_job<T, T1>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
