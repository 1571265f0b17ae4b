// The key-pattern vertical iteration. T is the dense item type, T1 the support
// type.
//
// An itemset X is a key pattern when its support differs from that of each of
// its subsets one item shorter. Otherwise some item a of X has
// support(X) = support(X - a), and then support(Y) = support(Y - a) for every
// superset Y of X. Each stored itemset carries either the key mark or one such
// item a, named by its position from X's end (levels/key_column.h); a candidate
// that is not a key gets its support from a subset without any intersection.
//
// Soundness of the inferences here. Every identity support(X) = support(X - a) is
// one of the data in the bit matrix: it is recorded only after counting X there,
// or derived from such identities. At the first vertical level every record is
// the key mark, so no support counted on earlier, larger data enters an
// inference; a count on the bit matrix equal to a smaller-or-equal subset support
// counted earlier still proves the identity on the bit matrix, since dropping
// transactions can only lower supports. A subset absent from the previous store
// is infrequent or fails an anti-monotone constraint (stores keep every other
// itemset), and in either case so does the candidate.
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/subset_cursor.h"
#include "util/stopwatch.h"
#include "util/widths.h"
#include "vertical/intersection_levels.h"
#include "vertical/level_output.h"
#include "vertical/level_threads.h"
#include "vertical/level_windows.h"
#include "vertical/shared_levels.h"

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
    if (s_i < s_j) {
      v.least = s_i;
      v.least_item = key_column::naming(0);
    } else {
      v.least = s_j;
      v.least_item = key_column::naming(1);
    }
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
      if (found < 0) {  // an infrequent subset
        examination.note(true);
        return v;
      }
      const std::size_t at = static_cast<std::size_t>(found);
      T1 support;
      previous.key_and_support(at, key, support);
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
    if (at < 0) return v;
    support = previous.supports[static_cast<std::size_t>(at)];
  }
  v.action = key_verdict<T, T1>::store;
  v.record = key_column::naming(k - 1 - drop);
  v.support = support;
  return v;
}

// Counts or infers the candidates of the groups of chunk into out, with the
// walker's scratch and constraint clones. whole: previous is all of its level,
// with its key records; otherwise (a window read back) every candidate is
// counted and stored as a key, which forgoes inference but is always sound.
template <class T, class T1>
void join_key_patterns(const frequent_level<T, T1>& previous, bool whole, int k,
                       const item_table& items, const vertical_dataset<T>& data, level_walker<T>& w,
                       const group_chunk& chunk, frequent_level<T, T1>& out) {
  candidate_cursor<T, T1> cursor(previous, k, items.n_items, whole, chunk.first_group,
                                 chunk.end_group, chunk.first_member, chunk.end_member);
  if (!cursor.valid()) return;
  const std::uint32_t min_count = items.min_count;
  subset_cursor<T, T1> subsets(previous, k);
  const T* cand = cursor.candidate();
  int counted_group = -1;
  // The candidates of one row land in one group of out, in order: after the
  // first one stored here (out may end in a group of an earlier chunk), the
  // walk tells what each shares with the last, and no prefix is compared.
  bool stored_before = false;
  auto store = [&](T1 support, std::uint8_t record) {
    const int shared = cursor.share_with_stored();
    if (stored_before)
      out.add_itemset_sharing(cand, shared, support, *w.table);
    else
      out.add_itemset(cand, support, *w.table);
    stored_before = true;
    out.add_key(record);
    ++w.counters.frequent;
  };
  do {
    ++w.counters.examined;
    if (!w.table->keeps(cand, k)) continue;
    key_verdict<T, T1> v;
    v.action = key_verdict<T, T1>::count;
    if (whole) v = examine_subsets(previous, cursor, k, subsets, w.examination);
    if (v.action == key_verdict<T, T1>::store) store(v.support, v.record);
    if (v.action != key_verdict<T, T1>::count) continue;
    std::uint32_t count = 0;
    bool frequent = false;
    if (data.uses_lists) {
      // All pairs of the group in one walk (started at the group's first
      // candidate that needs a count): cheaper than a projection of the prefix
      // and an intersection per candidate, even where few need a count.
      count = pair_count_in_group(data.lists, previous, cursor.group(), cand, k, min_count, w.lists,
                                  counted_group);
      frequent = count >= min_count;
    } else {
      const int s = cursor.share_with_counted();
      frequent = data.matrix.candidate_is_frequent_compact(cand, s, k, min_count, count, w.scratch);
    }
    if (!frequent) continue;
    if (whole && count == v.least)
      store(v.least, v.least_item);
    else
      store(static_cast<T1>(count), kKey);
  } while (cursor.advance());
}

// Keeps next's key records in its supports' top bits when they stay clear:
// no support of next exceeds the greatest of previous (a superset never has
// more), so that bound decides before anything is stored.
template <class T, class T1>
void pack_keys_when_room(const frequent_level<T, T1>& previous, frequent_level<T, T1>& next) {
  if (support_column<T1>::fits_records(previous.supports.most())) next.pack_keys();
}

}  // namespace

template <class T, class T1>
void intersect_level_key_patterns(run_context& run, int k, item_table& items,
                                  frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                                  vertical_dataset<T>& data, typed_constraints<T>& table,
                                  level_output<T, T1>& output, level_windows<T, T1>& windows) {
  stopwatch clock;
  clock.start();
  next.clear(k);
  // Records missing (the level was not built by this iteration and the driver
  // did not mark it): the key mark for all is always sound, it only forgoes
  // inference.
  if (!previous.has_keys())
    previous.keys.assign(static_cast<std::size_t>(previous.n_itemsets), kKey);
  // A spilled previous level is read back from its file: its store is empty.
  const bool spilled = windows.previous_spilled();
  if (!spilled) {
    if (!candidate_cursor<T, T1>(previous, k, items.n_items, true).valid()) return;
    pack_keys_when_room(previous, next);
    reserve_next_level(run, previous, data, true, next);
  }
  level_counters counters;
  const unsigned threads = spilled ? 1 : threads_for_join(previous, run.config.threads);
  std::vector<level_walker<T>> walkers =
      make_walkers(threads, k, false, data, table, false, items.n_items);
  for (level_walker<T>& w : walkers)
    w.examination = subset_examination(run.config.examined_subsets);
  const window_outcome built =
      windows.build(run, k, items, previous, next, data, table, walkers, output,
                    [&](const frequent_level<T, T1>& source, bool whole, level_walker<T>& w,
                        const group_chunk& chunk, frequent_level<T, T1>& out) {
                      join_key_patterns(source, whole, k, items, data, w, chunk, out);
                    });
  intersection_stats stats;
  merge_walkers(walkers, false, counters, stats, data.matrix);
  // No pair to join in the file either: no row, as for a level in memory.
  if (spilled && counters.examined == 0) return;

  finish_built_level(output, built, k, items, next, table, counters, "zaxdk", data.reported_bytes(),
                     clock);
}

template <class T, class T1>
void intersect_level_key_patterns_shared(run_context& run, int k, item_table& items,
                                         frequent_level<T, T1>& previous,
                                         frequent_level<T, T1>& next, vertical_dataset<T>& data,
                                         typed_constraints<T>& table, level_output<T, T1>& output,
                                         level_windows<T, T1>& windows) {
  stopwatch clock;
  clock.start();
  cluster& peers = run.peers;
  next.clear(k);
  if (!previous.has_keys())
    previous.keys.assign(static_cast<std::size_t>(previous.n_itemsets), kKey);
  // A spilled previous level is read back from its file: its store is empty.
  const bool spilled = windows.previous_spilled();
  if (!spilled) {
    if (!candidate_cursor<T, T1>(previous, k, items.n_items, true).valid()) return;
    pack_keys_when_room(previous, next);
    reserve_next_level(run, previous, data, true, next);
  }
  std::vector<level_walker<T>> walkers =
      make_walkers(1, k, false, data, table, false, items.n_items);
  level_counters counters;
  // Joins the groups of chunk of source into out. whole: source is all of the
  // level before, with its key records; otherwise (a window read back) every
  // candidate is counted and stored as a key, as in one process.
  auto join = [&](const frequent_level<T, T1>& source, bool whole, level_walker<T>& w,
                  const group_chunk& chunk, frequent_level<T, T1>& out) {
    // The candidates since the last sum, in walk order: their items, verdicts
    // and, for those counted, this rank's counts. Inferred ones wait with
    // them, so that the level is stored in the order one process stores it.
    std::vector<T> pending;
    std::vector<key_verdict<T, T1>> verdicts;
    std::vector<T1> counts;
    auto settle = [&] {
      peers.sum_counts(counts.data(), counts.size());
      std::size_t counted = 0;
      for (std::size_t c = 0; c < verdicts.size(); ++c) {
        const key_verdict<T, T1>& v = verdicts[c];
        T1 support = v.support;
        std::uint8_t record = v.record;
        if (v.action == key_verdict<T, T1>::count) {
          const T1 count = counts[counted++];
          if (count < items.min_count) continue;
          const bool inferred = whole && count == v.least;
          support = inferred ? v.least : count;
          record = inferred ? v.least_item : kKey;
        }
        out.add_itemset(pending.data() + c * static_cast<std::size_t>(k), support, table);
        out.add_key(record);
        ++counters.frequent;
      }
      pending.clear();
      verdicts.clear();
      counts.clear();
    };
    // The same on every rank: source and chunk are.
    candidate_cursor<T, T1> cursor(source, k, items.n_items, whole, chunk.first_group,
                                   chunk.end_group, chunk.first_member, chunk.end_member);
    if (!cursor.valid()) return;
    subset_cursor<T, T1> subsets(source, k);
    // A count here is also summed between the ranks: every candidate is
    // examined, whatever share the look-ups settle.
    subset_examination examination(key_subsets::all);
    const T* cand = cursor.candidate();
    int counted_group = -1;
    do {
      ++counters.examined;
      if (!table.keeps(cand, k)) continue;
      key_verdict<T, T1> v;
      v.action = key_verdict<T, T1>::count;
      if (whole) v = examine_subsets(source, cursor, k, subsets, examination);
      if (v.action == key_verdict<T, T1>::skip) continue;
      pending.insert(pending.end(), cand, cand + k);
      verdicts.push_back(v);
      if (v.action == key_verdict<T, T1>::count) {
        // Exactly (threshold 0): only the sum is compared with min_count.
        std::uint32_t count = 0;
        if (data.uses_lists) {
          count = pair_count_in_group(data.lists, source, cursor.group(), cand, k, 0, w.lists,
                                      counted_group);
        } else {
          const int s = cursor.share_with_counted();
          data.matrix.candidate_is_frequent_compact(cand, s, k, 0, count, w.scratch);
        }
        counts.push_back(static_cast<T1>(count));
      }
      if (counts.size() == kSharedCandidates || pending.size() >= kSharedItems) settle();
    } while (cursor.advance());
    settle();
  };
  const window_outcome built =
      windows.build(run, k, items, previous, next, data, table, walkers, output, join);
  // No pair to join in the file either: no row, as for a level in memory.
  if (spilled && counters.examined == 0) return;

  finish_built_level(output, built, k, items, next, table, counters, "zaxdk", data.reported_bytes(),
                     clock);
  report_exchange(run);
}

#define KESTREL_INSTANTIATE(T, T1)                                                               \
  template void intersect_level_key_patterns<T, T1>(                                             \
      run_context&, int, item_table&, frequent_level<T, T1>&, frequent_level<T, T1>&,            \
      vertical_dataset<T>&, typed_constraints<T>&, level_output<T, T1>&, level_windows<T, T1>&); \
  template void intersect_level_key_patterns_shared<T, T1>(                                      \
      run_context&, int, item_table&, frequent_level<T, T1>&, frequent_level<T, T1>&,            \
      vertical_dataset<T>&, typed_constraints<T>&, level_output<T, T1>&, level_windows<T, T1>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
