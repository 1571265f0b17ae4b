// The compact and diffuse vertical iterations. T is the dense item type, T1 the
// support type.
#include "vertical/intersection_levels.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/subset_cursor.h"
#include "util/output_file.h"
#include "util/stopwatch.h"
#include "util/widths.h"
#include "vertical/count_hits.h"
#include "vertical/level_output.h"
#include "vertical/level_threads.h"
#include "vertical/level_windows.h"

namespace {

// Decides, after a collecting level, whether shrinking the rows pays: the average
// intersection must be wide (over 4% of a row), pruning must save over 20% of the
// words, and half of this level's work must exceed one pass over the active rows.
// All in 32-bit words, compared exactly.
template <class T>
bool pruning_pays(const bit_matrix<T>& matrix, const intersection_stats& stats,
                  std::uint32_t active, std::uint32_t new_words) {
  const std::uint64_t total =
      static_cast<std::uint64_t>(stats.dense_ands) + static_cast<std::uint64_t>(stats.sparse_ands);
  if (total == 0) return false;
  const std::uint64_t W = matrix.n_words;
  const std::uint64_t avg = static_cast<std::uint64_t>(stats.word_ops / static_cast<double>(total));
  const std::uint64_t cost_pass = static_cast<std::uint64_t>(active) * W;
  const std::uint64_t cost_now = total * avg;
  return avg * 100 > 4 * W && static_cast<std::uint64_t>(new_words) * 10 < 8 * W &&
         cost_now / 2 > cost_pass;
}

// Levels of candidates longer than this many items plus two make their
// projections unrestricted (the subtree's bounds are kept on the stack).
constexpr int kMaxRestrictedDepths = 64;

// Only the projections of a group's first two prefix items are restricted. A
// deeper one is made from a restricted one, so it already lacks most of what
// its own restriction would leave out, while the walk of its subtree is paid
// again at every depth (on T10I4D100K at 2, with levels of up to 17 items,
// restricting every depth cost 2.8 % more instructions than these two).
constexpr int kRestrictedProjections = 2;

// Projections below a first item of fewer transactions than this are made
// unrestricted: they are too short for a restriction to pay for the walk of
// the subtree (with a million items in a few transactions each, the walks
// cost more than the projections save).
constexpr std::uint32_t kRestrictedFrom = 32;

// First prefix items ahead of the walk whose projections join_chunk_lists
// fetches (with a million items, about one group each).
constexpr std::size_t kAheadFirst = 8;
// Groups ahead of the walk whose last items' positions it fetches.
constexpr int kAheadGroups = 4;

// Restricts p to the items after the first d+1 in level's itemsets below node
// n of depth d (an item per node and per itemset of the subtree): the only
// items a candidate joined from them holds after those d+1. The subtree takes
// one run of nodes at each depth below d, then one run of itemsets.
template <class T, class T1>
void want_items_below(const frequent_level<T, T1>& level, int d, std::size_t n,
                      tid_projection& p) {
  const int groups_depth = level.k - 2;
  std::size_t begin[kMaxRestrictedDepths], end[kMaxRestrictedDepths];
  std::size_t lo = n, hi = n + 1, most = 0;
  for (int j = d; j < groups_depth; ++j) {
    lo = level.children_begin(j, lo);
    hi = level.children_end(j, hi - 1);
    begin[j + 1] = lo;
    end[j + 1] = hi;
    most += hi - lo;
  }
  const std::size_t first = static_cast<std::size_t>(level.group_first(static_cast<int>(lo)));
  const std::size_t last = static_cast<std::size_t>(level.group_last[hi - 1]);
  most += last + 1 - first;
  p.restrict_to(std::min<std::size_t>(most, p.list.size()));
  for (int j = d + 1; j <= groups_depth; ++j) {
    const T* items = level.node_items[j].data();
    for (std::size_t i = begin[j]; i < end[j]; ++i) p.want(items[i]);
  }
  const T* suffixes = level.suffixes.data();
  for (std::size_t i = first; i <= last; ++i) p.want(suffixes[i]);
}

// Counts the candidates of the groups of chunk on tid-lists: one walk per
// group counts every pair of its last items, and the candidates are read off
// the counts row by row, in the join's order. They need no subset test: counts
// never exceed the true supports, so a count that reaches min_count makes a
// frequent candidate, all of whose subsets are frequent and (as it passes the
// anti-monotone constraints) stored. Only those reaching min_count meet the
// constraints: the others are dropped either way.
template <class T, class T1>
void join_chunk_lists(const frequent_level<T, T1>& previous, int k, std::uint32_t min_count,
                      const tid_lists<T>& lists, bool collect, bool whole, level_walker<T>& w,
                      const group_chunk& chunk, frequent_level<T, T1>& out) {
  // The projections are restricted to what the source holds below them: those
  // of a window read back before (a part of the level) may lack items of this one.
  if (!whole) w.lists.projected.clear();
  const int end_group = chunk.end_group < 0 ? previous.number_of_groups() : chunk.end_group;
  group_walk<T, T1> walk(previous);
  std::vector<T> cand(static_cast<std::size_t>(k));
  const bool check = !w.table->keeps_everything();
  std::vector<std::uint32_t> hits;  // of one row
  // From level 4 on, a group whose first prefix item changes projects that
  // item's transactions. With enough items to miss the cache, the first items
  // kAheadFirst on get their list slots fetched, three times as far on their
  // transactions: the nodes before the *_to marks have been fetched.
  const bool fetch_ahead = k >= 4 && lists.n_items() >= tid_lists<T>::kFetchedListItems;
  const std::vector<T>& first_items = previous.node_items[0];
  std::size_t slots_to = 0, transactions_to = 0;
  // What each stored itemset shares with the one stored before it, so that no
  // prefix is compared per itemset: k-1 items within a row, k-2 from a row to
  // the next of its group, and between groups what their prefixes share (one
  // compare per group). The first itemset of the chunk is compared with out's
  // last: out may end in a group of an earlier chunk.
  std::vector<T> stored_prefix(static_cast<std::size_t>(k - 2));
  bool stored_before = false;
  for (int g = chunk.first_group; g < end_group; ++g) {
    int first, last_of_group;
    previous.group_span(g, first, last_of_group);
    const auto m = static_cast<std::uint32_t>(last_of_group - first + 1);
    // The rows of the first joined itemsets this chunk takes (all but a
    // chunk's first group take all).
    std::uint32_t row_begin = 0, row_end = m - 1;
    if (g == chunk.first_group) {
      row_begin = static_cast<std::uint32_t>(chunk.first_member);
      if (chunk.end_member >= 0)
        row_end = std::min(row_end, static_cast<std::uint32_t>(chunk.end_member));
    }
    if (m < 2 || row_begin >= row_end) continue;
    // Row a joins the m - a - 1 itemsets after it.
    w.counters.examined +=
        static_cast<long long>(row_end - row_begin) * (2 * m - row_begin - row_end - 1) / 2;
    walk.move_to(g);
    if (fetch_ahead) {
      const int ahead = g + kAheadGroups;
      if (ahead < end_group) {
        int ahead_first, ahead_last;
        previous.group_span(ahead, ahead_first, ahead_last);
        lists.prefetch_positions(previous.suffixes.data() + ahead_first,
                                 static_cast<std::uint32_t>(ahead_last - ahead_first + 1), w.lists);
      }
      const std::size_t n0 = walk.first_node();
      const std::size_t n_first = first_items.size();
      slots_to = std::max(slots_to, n0 + 1);
      transactions_to = std::max(transactions_to, n0 + 1);
      for (; slots_to <= n0 + kAheadFirst && slots_to < n_first; ++slots_to)
        lists.prefetch_list_slots(first_items[slots_to], w.lists);
      for (; transactions_to <= n0 + 3 * kAheadFirst && transactions_to < n_first;
           ++transactions_to)
        lists.prefetch_transactions(first_items[transactions_to]);
    }
    std::copy(walk.prefix(), walk.prefix() + k - 2, cand.begin());
    const T* last = previous.suffixes.data() + first;
    // The projections start_group makes again keep only what the candidates
    // below them can hold.
    if (k - 2 <= kMaxRestrictedDepths && lists.length(cand[0]) >= kRestrictedFrom)
      for (int d = static_cast<int>(tid_lists<T>::kept_projections(cand.data(), k - 2, w.lists));
           d + 1 < k - 2 && d < kRestrictedProjections; ++d)
        want_items_below(previous, d, walk.node(d), w.lists.depth[static_cast<std::size_t>(d)]);
    lists.start_group(cand.data(), k - 2, last, m, min_count, w.lists);
    // Too few transactions for any pair to reach min_count.
    if (w.lists.group_n_places == 0 && min_count > 0) continue;
    if (hits.size() < m) hits.resize(m);
    // Flags (collect): the prefix's items once per group, a row's item once per
    // row, and each stored itemset's last item, instead of k items per itemset.
    bool prefix_flagged = false;
    bool group_stored = false;
    for (std::uint32_t a = row_begin; a < row_end; ++a) {
      const std::uint32_t* row = lists.pair_row(a, w.lists);
      const T* after = last + a + 1;
      cand[k - 2] = last[a];
      // Few counts reach min_count: the row is first searched for them alone.
      const std::uint32_t* hit = hits.data();
      const std::uint32_t n_hits = find_hits(row, m - a - 1, min_count, hits.data());
      std::uint32_t stored = 0;
      for (std::uint32_t h = 0; h < n_hits; ++h) {
        const std::uint32_t j = hit[h];
        cand[k - 1] = after[j];
        if (check && !w.table->keeps(cand.data(), k)) continue;
        const auto support = static_cast<T1>(row[j]);
        if (stored > 0) {
          out.add_itemset_sharing(cand.data(), k - 1, support, *w.table);
        } else if (group_stored) {
          out.add_itemset_sharing(cand.data(), k - 2, support, *w.table);
        } else {
          if (stored_before) {
            const int shared = static_cast<int>(
                std::mismatch(cand.begin(), cand.begin() + (k - 2), stored_prefix.begin()).first -
                cand.begin());
            out.add_itemset_sharing(cand.data(), shared, support, *w.table);
          } else {
            out.add_itemset(cand.data(), support, *w.table);
          }
          std::copy(cand.begin(), cand.begin() + (k - 2), stored_prefix.begin());
          stored_before = group_stored = true;
        }
        ++stored;
        if (collect) w.in_frequent_itemset[cand[k - 1]] = 1;
      }
      if (stored == 0) continue;
      w.counters.frequent += stored;
      if (collect) {
        w.in_frequent_itemset[cand[k - 2]] = 1;
        w.first_item_counts[cand[0]] += stored;
        if (!prefix_flagged)
          for (int q = 0; q < k - 2; ++q) w.in_frequent_itemset[cand[q]] = 1;
        prefix_flagged = true;
      }
    }
  }
}

// Counts the candidates of the groups of chunk into out, with the walker's
// scratch, constraint clones, counters and (collect) item flags. whole: previous
// is all of its level, so candidates with a subset missing from it are skipped
// uncounted; otherwise (a window read back) every candidate is counted.
template <class T, class T1, bool kDiffuse>
void join_chunk(const frequent_level<T, T1>& previous, int k, std::uint32_t n_items,
                std::uint32_t min_count, const vertical_dataset<T>& data, bool collect, bool whole,
                level_walker<T>& w, const group_chunk& chunk, frequent_level<T, T1>& out) {
  if (data.uses_lists) {
    join_chunk_lists(previous, k, min_count, data.lists, collect, whole, w, chunk, out);
    return;
  }
  candidate_cursor<T, T1> cursor(previous, k, n_items, false, chunk.first_group, chunk.end_group,
                                 chunk.first_member, chunk.end_member);
  if (!cursor.valid()) return;
  const T* cand = cursor.candidate();
  subset_cursor<T, T1> subsets(previous, k);
  do {
    ++w.counters.examined;
    if (!w.table->keeps(cand, k)) continue;
    if (whole && !subsets.others_stored(cursor)) continue;
    std::uint32_t count = 0;
    const int s = cursor.share_with_counted();
    const bool frequent = kDiffuse ? data.matrix.candidate_is_frequent_diffuse(
                                         cand, s, k, min_count, count, w.stats, collect, w.scratch)
                                   : data.matrix.candidate_is_frequent_compact(
                                         cand, s, k, min_count, count, w.scratch);
    if (!frequent) continue;
    ++w.counters.frequent;
    out.add_itemset(cand, static_cast<T1>(count), *w.table);
    if (collect) {
      for (int q = 0; q < k; ++q) w.in_frequent_itemset[cand[q]] = 1;
      ++w.first_item_counts[cand[0]];
    }
  } while (cursor.advance());
}

template <class T, class T1, bool kDiffuse>
void iterate(run_context& run, int k, item_table& items, frequent_level<T, T1>& previous,
             frequent_level<T, T1>& next, vertical_dataset<T>& data, typed_constraints<T>& table,
             level_output<T, T1>& output, level_windows<T, T1>& windows) {
  stopwatch clock;
  clock.start();
  bit_matrix<T>& matrix = data.matrix;
  // The diffuse state (run lists, pruning and reordering of the rows) is the
  // bit matrix's; tid-lists need none of it.
  const bool diffuse_matrix = kDiffuse && !data.uses_lists;
  bool collect = false;
  if (diffuse_matrix) {
    matrix.diffuse_collects = !matrix.diffuse_collects;
    collect = matrix.diffuse_collects;
  }
  next.clear(k);
  // A spilled previous level is read back from its file: its store is empty.
  const bool spilled = windows.previous_spilled();
  if (!spilled) {
    if (!candidate_cursor<T, T1>(previous, k, items.n_items, false).valid()) return;
    reserve_next_level(run, previous, data, false, next);
  }
  intersection_stats stats;
  if (!data.uses_lists) matrix.start_iteration(k, kDiffuse);
  if (diffuse_matrix) matrix.start_collecting(items.n_items);
  const std::uint32_t min_count = items.min_count;
  const std::uint32_t n_items = items.n_items;
  level_counters counters;
  const unsigned threads = spilled ? 1 : threads_for_join(previous, run.config.threads);
  // On tid-lists every level flags the items of the itemsets it stores: the
  // others leave the transactions and the lists, and so do the transactions
  // too short for the next level.
  const bool flag_items = collect || data.uses_lists;
  std::vector<level_walker<T>> walkers =
      make_walkers(threads, k, collect, data, table, flag_items, n_items);
  const window_outcome built = windows.build(
      run, k, items, previous, next, data, table, walkers, output,
      [&](const frequent_level<T, T1>& source, bool whole, level_walker<T>& w,
          const group_chunk& chunk, frequent_level<T, T1>& out) {
        join_chunk<T, T1, kDiffuse>(source, k, n_items, min_count, data, flag_items, whole, w,
                                    chunk, out);
      });
  merge_walkers(walkers, collect, counters, stats, matrix);
  // No pair to join in the file either: no row, as for a level in memory.
  if (spilled && counters.examined == 0) return;
  if (data.uses_lists) {
    std::vector<std::uint8_t> keep(n_items, 0);
    for (const level_walker<T>& w : walkers)
      for (std::uint32_t i = 0; i < n_items; ++i) keep[i] |= w.in_frequent_itemset[i];
    data.lists.keep_items_in_transactions(keep, static_cast<std::uint32_t>(k + 1));
  }

  if (diffuse_matrix) {
    if (collect) {
      const std::uint32_t active = matrix.active_items();
      const std::uint32_t new_words = matrix.check_pruning();
      if (pruning_pays(matrix, stats, active, new_words)) {
        matrix.keep_masked_transactions(new_words);
        matrix.order_bits_diffuse();
        matrix.diffuse_order_set = true;
      }
    }
    if (!matrix.diffuse_order_set) {
      matrix.order_bits_diffuse();
      matrix.diffuse_order_set = true;
    }
  }
  const char* label = kDiffuse ? "zaxs" : "zaxd";
  finish_built_level(output, built, k, items, next, table, counters, label,
                     data.reported_bytes(), clock);
}

}  // namespace

template <class T, class T1>
void intersect_level_dense(run_context& run, int k, item_table& items,
                           frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                           vertical_dataset<T>& data, typed_constraints<T>& table,
                           level_output<T, T1>& output, level_windows<T, T1>& windows) {
  iterate<T, T1, false>(run, k, items, previous, next, data, table, output, windows);
}

template <class T, class T1>
void intersect_level_sparse(run_context& run, int k, item_table& items,
                            frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                            vertical_dataset<T>& data, typed_constraints<T>& table,
                            level_output<T, T1>& output, level_windows<T, T1>& windows) {
  iterate<T, T1, true>(run, k, items, previous, next, data, table, output, windows);
}

#define KESTREL_INSTANTIATE(T, T1)                                                            \
  template void intersect_level_dense<T, T1>(run_context&, int, item_table&,                  \
                                             frequent_level<T, T1>&, frequent_level<T, T1>&,  \
                                             vertical_dataset<T>&, typed_constraints<T>&, level_output<T, T1>&, level_windows<T, T1>&);    \
  template void intersect_level_sparse<T, T1>(run_context&, int, item_table&,                 \
                                              frequent_level<T, T1>&, frequent_level<T, T1>&, \
                                              vertical_dataset<T>&, typed_constraints<T>&, level_output<T, T1>&, level_windows<T, T1>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
