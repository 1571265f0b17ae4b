// Levels k >= 3 of the vertical phase: each call builds level k into `next` from
// `previous` by intersecting bit-vectors, appends it to the output file and
// prints one progress row ("zaxd", "zaxs" or "zaxdk") through output (which may write it
// behind the mining of the next level). No row is printed when
// the previous level offers no pair to join.
//
// Candidates are the joined pairs of the previous level (levels/candidate_cursor.h):
// the previous store holds every frequent itemset of its level that passes the
// anti-monotone constraints, so a candidate absent from the join is infrequent
// or fails one of them. A candidate that fails an anti-monotone constraint, or
// one of whose other (k-1)-subsets is missing from the previous store (the
// subset cursor of levels/subset_cursor.h, which the key-pattern variant also
// uses for its support inferences), is neither counted nor stored; the frequent ones are
// stored and dump_itemsets decides what is written.
// T is the dense item type, T1 the support type.
#pragma once

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_store.h"
#include "vertical/level_output.h"
#include "vertical/level_windows.h"
#include "vertical/vertical_dataset.h"

// Compact variant: plain intersections, with the compact head when the compact
// test succeeded.
template <class T, class T1>
void intersect_level_dense(run_context& run, int k, item_table& items,
                           frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                           vertical_dataset<T>& data, typed_constraints<T>& table,
                           level_output<T, T1>& output, level_windows<T, T1>& windows);
// Diffuse variant: run lists per two-item prefix; on every second call of a run
// it collects the tid-lists of the frequent itemsets and may prune and reorder
// the bit matrix for the following levels.
template <class T, class T1>
void intersect_level_sparse(run_context& run, int k, item_table& items,
                            frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                            vertical_dataset<T>& data, typed_constraints<T>& table,
                           level_output<T, T1>& output, level_windows<T, T1>& windows);

// Key-pattern variant: infers the support of every candidate that is not a key
// pattern from its subsets' supports and intersects only the rest. Reads the
// previous store's keys (all T(-1) before the first vertical level) and appends
// one key record per stored itemset to next.keys.
template <class T, class T1>
void intersect_level_key_patterns(run_context& run, int k, item_table& items,
                                  frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                                  vertical_dataset<T>& data, typed_constraints<T>& table,
                           level_output<T, T1>& output, level_windows<T, T1>& windows);

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
    lists.start_group(cand, k - 2, previous.suffixes.data() + first,
                      static_cast<std::uint32_t>(m), min_count, scratch);
  }
  return lists.pair_count(cand[k - 2], cand[k - 1], scratch);
}
