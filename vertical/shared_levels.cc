// Levels in memory over the ranks of a shared run. T is the dense item type,
// T1 the support type.
#include "vertical/shared_levels.h"

#include <cstdint>
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/subset_cursor.h"
#include "util/stopwatch.h"
#include "util/widths.h"
#include "vertical/intersection_levels.h"
#include "vertical/level_output.h"
#include "vertical/level_threads.h"

namespace {

// The candidates counted since the last sum: their items and this rank's counts.
template <class T, class T1>
struct pending_counts {
  std::vector<T> items;
  std::vector<T1> counts;
};

}  // namespace

template <class T, class T1>
void intersect_level_shared(run_context& run, int k, item_table& items,
                            frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                            vertical_dataset<T>& data, typed_constraints<T>& table, bool diffuse,
                            level_output<T, T1>& output, level_windows<T, T1>& windows) {
  stopwatch clock;
  clock.start();
  cluster& peers = run.peers;
  next.clear(k);
  const std::uint32_t n_items = items.n_items;
  // A spilled previous level is read back from its file: its store is empty.
  const bool spilled = windows.previous_spilled();
  if (!spilled) {
    if (!candidate_cursor<T, T1>(previous, k, n_items, false).valid()) return;
    reserve_next_level(run, previous, data, false, next);
  }
  std::vector<level_walker<T>> walkers = make_walkers(1, k, false, data, table, false, n_items);
  intersection_stats stats;
  level_counters counters;
  // On tid-lists the items of no stored itemset leave the lists after the level.
  std::vector<std::uint8_t> keep(data.uses_lists ? n_items : 0, 0);

  // Joins the groups of chunk of source (a window, or all of the level before
  // when whole) into out; the window's counts are summed before it ends.
  auto join = [&](const frequent_level<T, T1>& source, bool whole, level_walker<T>& w,
                  const group_chunk& chunk, frequent_level<T, T1>& out) {
    pending_counts<T, T1> pending;
    auto settle = [&] {
      peers.sum_counts(pending.counts.data(), pending.counts.size());
      for (std::size_t c = 0; c < pending.counts.size(); ++c) {
        if (pending.counts[c] < items.min_count) continue;
        const T* cand = pending.items.data() + c * static_cast<std::size_t>(k);
        ++counters.frequent;
        out.add_itemset(cand, pending.counts[c], table);
        for (int q = 0; q < k && data.uses_lists; ++q) keep[cand[q]] = 1;
      }
      pending.items.clear();
      pending.counts.clear();
    };
    // The same on every rank: source and chunk are.
    candidate_cursor<T, T1> cursor(source, k, n_items, false, chunk.first_group, chunk.end_group,
                                   chunk.first_member, chunk.end_member);
    if (!cursor.valid()) return;
    subset_cursor<T, T1> subsets(source, k);
    int counted_group = -1;
    const T* cand = cursor.candidate();
    do {
      ++counters.examined;
      if (!table.keeps(cand, k)) continue;
      // Counted exactly (threshold 0): only the sum over the ranks is compared
      // with min_count.
      std::uint32_t count = 0;
      if (data.uses_lists) {
        // As in one process, no subset test: a sum that reaches min_count is
        // the support of a frequent candidate, whose subsets are all stored.
        count = pair_count_in_group(data.lists, source, cursor.group(), cand, k, 0, w.lists,
                                    counted_group);
      } else {
        // A window read back lacks the subsets in other windows: no test.
        if (whole && !subsets.others_stored(cursor)) continue;
        const int s = cursor.share_with_counted();
        if (diffuse)
          data.matrix.candidate_is_frequent_diffuse(cand, s, k, 0, count, stats, false, w.scratch);
        else
          data.matrix.candidate_is_frequent_compact(cand, s, k, 0, count, w.scratch);
      }
      pending.items.insert(pending.items.end(), cand, cand + k);
      pending.counts.push_back(static_cast<T1>(count));
      if (pending.counts.size() == kSharedCandidates) settle();
    } while (cursor.advance());
    settle();
  };
  const window_outcome built =
      windows.build(run, k, items, previous, next, data, table, walkers, output, join);
  // No pair to join in the file either: no row, as for a level in memory.
  if (spilled && counters.examined == 0) return;
  if (data.uses_lists)
    data.lists.keep_items_in_transactions(keep, static_cast<std::uint32_t>(k + 1));

  const char* label = diffuse ? "zaxs" : "zaxd";
  finish_built_level(output, built, k, items, next, table, counters, label,
                     data.reported_bytes(), clock);
  report_exchange(run);
}

#define KESTREL_INSTANTIATE(T, T1)                                                            \
  template void intersect_level_shared<T, T1>(run_context&, int, item_table&,                 \
                                              frequent_level<T, T1>&, frequent_level<T, T1>&, \
                                              vertical_dataset<T>&, typed_constraints<T>&, bool, \
                                              level_output<T, T1>&, level_windows<T, T1>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
