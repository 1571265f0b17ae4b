// The levels k >= 3 in memory: one job for the run, which holds what every
// level works with (the run, the items, the in-memory data, the constraint
// table, the output and the windows of vertical/level_windows.h) and the two
// stores, the level last built and the one being built. Each level goes
// through one skeleton (build below): clear the store, reserve its room,
// start the walkers, join window by window, merge the walkers' counts, end
// the level in the layout, print the row.
//
// What differs between levels plugs into the skeleton as two policies, chosen
// once for the run (build_next):
//   how candidates are joined and counted on this process's data, the single
//   place where candidates are generated:
//     bit_matrix_join (vertical/bit_matrix_join.h)   compact or diffuse kernels
//     tid_list_join   (vertical/tid_list_join.h)     pair counts per group
//     key_pattern_join (vertical/key_pattern_level.h) supports inferred from
//                                                     subsets, the rest counted
//   how counts are settled (vertical/count_settling.h): on this process
//   (local_counts), or summed over the ranks that share the run
//   (summed_counts).
// The join is a template parameter of build: nothing is called through a
// pointer per candidate.
//
// A join policy J of level k offers:
//   J::counts_policy      its counts policy (one thread walks when it sums)
//   J::kWithKeys          the stores carry key records (levels/key_column.h)
//   label()               the progress row's label
//   start_level(k, previous)  before next is cleared (may read previous)
//   start_walk()          after next's room is reserved
//   with_mask(), flags_items(), collects()  the walkers' pruning masks, item
//                         flags, and whether merging them feeds the matrix
//   prepare(walker)
//   join(source, whole, walker, chunk, out)  the candidates of a chunk of
//                         source into out; whole: source is all of level k-1
//   end_level(walkers, stats)  once the level is built (kept in memory)
//
// Progress rows: "zaxd" (compact), "zaxs" (diffuse), "zaxdk" (key patterns);
// on tid-lists the first two follow the compact test too. No row is printed
// when the previous level offers no pair to join.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/candidate_cursor.h"
#include "levels/level_store.h"
#include "util/stopwatch.h"
#include "vertical/level_output.h"
#include "vertical/level_threads.h"
#include "vertical/level_windows.h"
#include "vertical/vertical_dataset.h"

// How a run's levels in memory count their candidates, decided once the data
// is in memory. On tid-lists, compact and diffuse differ only in the row's
// label: both count pairs per group.
enum class level_kernel { compact, diffuse, key_patterns };

template <class T, class T1>
class level_job {
 public:
  // first: level k, the last one counted before the data was in memory (its
  // key records are filled by the first key-pattern level when missing).
  // least_window_bytes: see level_windows. The output may write the level
  // last built from the job's store behind the mining: its wait() must come
  // before the job ends, on the way out of a failing run too.
  level_job(run_context& run, item_table& items, vertical_dataset<T>& data,
            typed_constraints<T>& table, level_output<T, T1>& output, level_kernel kernel,
            std::unique_ptr<frequent_level<T, T1>> first,
            std::uint64_t least_window_bytes = kLeastWindowBytes)
      : run_(run),
        items_(items),
        data_(data),
        table_(table),
        output_(output),
        kernel_(kernel),
        windows_(run, least_window_bytes),
        k_(first->k),
        previous_(std::move(first)),
        next_(std::make_unique<frequent_level<T, T1>>(k_)) {}

  // Builds level k() + 1 from the level last built, writes it and prints its
  // row; returns its itemsets (in its store, or in its spill file).
  std::uint64_t build_next();

  // The level last built (build_next), and its store (empty when it spilled).
  int k() const { return k_; }
  frequent_level<T, T1>& built() { return *next_; }

  run_context& run() { return run_; }
  const item_table& items() const { return items_; }
  vertical_dataset<T>& data() { return data_; }
  // Counts are summed over the ranks (summed_counts): when ranks share the
  // run, or when sum_counts() asked for it.
  bool summed() const { return summed_; }
  // Sums the counts over the ranks however many there are: with one, the
  // levels come out as local counts give them (tests).
  void sum_counts() { summed_ = true; }

  // The skeleton: builds level k() + 1 from the level last built with join.
  template <class Join>
  void build(Join& join);

 private:
  run_context& run_;
  item_table& items_;
  vertical_dataset<T>& data_;
  typed_constraints<T>& table_;
  level_output<T, T1>& output_;
  level_kernel kernel_;
  level_windows<T, T1> windows_;
  int k_;
  bool summed_ = run_.peers.ranks() > 1;
  bool built_any_ = false;
  std::unique_ptr<frequent_level<T, T1>> previous_, next_;
};

template <class T, class T1>
template <class Join>
void level_job<T, T1>::build(Join& join) {
  stopwatch clock;
  clock.start();
  const int k = k_ + 1;
  frequent_level<T, T1>& previous = *previous_;
  frequent_level<T, T1>& next = *next_;
  join.start_level(k, previous);
  next.clear(k);
  // A spilled previous level is read back from its file: its store is empty.
  const bool spilled = windows_.previous_spilled();
  if (!spilled) {
    if (!candidate_cursor<T, T1>(previous, k, Join::kWithKeys).valid()) return;
    // No support of next exceeds the greatest of previous (a superset never
    // has more): that bound decides whether key records fit the supports'
    // top bits before anything is stored.
    if (Join::kWithKeys && support_column<T1>::fits_records(previous.supports.most()))
      next.pack_keys();
    reserve_next_level(run_, previous, data_, Join::kWithKeys, next);
  }
  join.start_walk();
  const unsigned threads = spilled || Join::counts_policy::kOneThread
                               ? 1
                               : threads_for_join(previous, run_.config.threads);
  std::vector<level_walker<T>> walkers =
      make_walkers(threads, k, join.with_mask(), data_, table_, join.flags_items(), items_.n_items);
  for (level_walker<T>& w : walkers) join.prepare(w);
  const window_outcome built =
      windows_.build(run_, k, items_, previous, next, data_, table_, walkers, output_,
                     [&](const frequent_level<T, T1>& source, bool whole, level_walker<T>& w,
                         const group_chunk& chunk,
                         frequent_level<T, T1>& out) { join.join(source, whole, w, chunk, out); });
  level_counters counters;
  intersection_stats stats;
  merge_walkers(walkers, join.collects(), counters, stats, data_.matrix);
  // No pair to join in the file either: no row, as for a level in memory.
  if (spilled && counters.examined == 0) return;
  join.end_level(walkers, stats);
  finish_built_level(output_, built, k, items_, next, table_, counters, join.label(),
                     data_.reported_bytes(), clock);
  report_exchange(run_);
}
