// In-memory levels planned against the memory budget. Level k+1 is built from
// level k window by window, a window being a run of whole groups of level k
// (the candidates of a group are the joins inside it, so windows join on their
// own). After each window, when level k, level k+1 so far and the in-memory
// data leave less than one more window's room in the budget, the level
// spills: the itemsets built so far are written to the output and appended to
// a spill file (levels/level_spill.h), and the store is emptied. A spilled
// level ends whole in its file, and the next level reads it back a window at a
// time. Its progress row shows the windows written to the file as passes.
//
// A window read back lacks the subsets of its candidates that lie in other
// windows, so no subset test or support inference can look them up: every
// candidate that passes the anti-monotone constraints is counted instead. That
// is exact: a counted candidate is stored only when frequent, and it then has
// only frequent subsets.
//
// With several threads a window's itemsets are held twice for a while (in the
// threads' chunk stores, then in next), and the spill check plans for both;
// the buffers of the output and spill files are held beside the levels.
// A group whose joins alone outgrow a window's room is joined in windows of
// its members (the pairs whose first itemset is one of them); where even one
// member's joins do not fit beside what is held, the run stops with an error.
// Without a cap (or with room for it) a level is one window and nothing
// changes.
//
// Ranks that share a level hold the same stores but data of their own (and
// stores whose capacities followed their own reservations), so every plan is
// agreed on: a window's room is the least any rank finds, and a level spills
// after a window when any rank needs it to. Every rank then reads and writes
// the same windows, and meets the others at the same sums.
// T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_spill.h"
#include "levels/level_store.h"
#include "util/error.h"
#include "vertical/level_output.h"
#include "vertical/level_threads.h"
#include "vertical/vertical_dataset.h"

// The least room a window is planned for, in bytes: with less, the windows'
// writes to the files and the output would cost more than the levels.
constexpr std::uint64_t kLeastWindowBytes = 64 * 1024;

// What a built level came to: passes 0 when it is whole in its store, else the
// windows it wrote to its spill file; written, the itemsets it wrote to the
// output as it spilled.
struct window_outcome {
  std::uint32_t passes = 0;
  long long written = 0;
};

template <class T, class T1>
class level_windows {
 public:
  // The spill files lie beside "dataset.tmp" (per rank like it).
  // least_window_bytes: the least room a window is planned for. A run whose
  // config sets level_window_bytes plans against that, with no least room.
  explicit level_windows(const run_context& run,
                         std::uint64_t least_window_bytes = kLeastWindowBytes)
      : budget_(run.config.level_window_bytes > 0 ? run.config.level_window_bytes
                                                  : run.memory_bytes),
        least_window_bytes_(run.config.level_window_bytes > 0 ? 1 : least_window_bytes),
        plans_budget_(least_window_bytes_ >= kLeastWindowBytes),
        files_{std::make_unique<level_spill<T, T1>>(run.temp_dataset + ".level0"),
               std::make_unique<level_spill<T, T1>>(run.temp_dataset + ".level1")} {}

  // Whether the level the driver passes as previous lies in a spill file (its
  // store then is empty).
  bool previous_spilled() const { return previous_spilled_; }
  // Itemsets of the level just built into next, in its store or its file.
  std::uint64_t built_itemsets(const frequent_level<T, T1>& next) const {
    return next_spilled_ ? files_[1]->itemsets() : static_cast<std::uint64_t>(next.n_itemsets);
  }
  // The level just built becomes the previous one (the driver swaps the stores).
  void advance() {
    std::swap(files_[0], files_[1]);
    previous_spilled_ = next_spilled_;
    next_spilled_ = false;
  }

  // Builds level k into next from previous (in its store or, spilled, in its
  // file) window by window: join(source, whole, walker, chunk, out) joins the
  // groups of chunk of source into out, whole telling whether source is all of
  // level k-1 (so subsets may be looked up in it). Windows are written to the
  // output (through output, once level k-1 is written) as they spill.
  template <class Join>
  window_outcome build(run_context& run, int k, const item_table& items,
                       const frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                       const vertical_dataset<T>& data, typed_constraints<T>& table,
                       std::vector<level_walker<T>>& walkers, level_output<T, T1>& output,
                       const Join& join) {
    next_spilled_ = false;
    metered_pass pass(run.meter, k);
    level_build<Join> b{*this, run, k, items, next, data, table, walkers, output, join};
    if (!previous_spilled_) {
      // Every rank plans the same windows: the least room any rank finds.
      const std::uint64_t room = run.peers.agreed_least(
          window_room(previous.bytes() + data.held_bytes() + buffer_bytes()));
      b.join_in_windows(previous, true, room, std::max<std::uint64_t>(1, room / b.per_itemset),
                        true);
    } else {
      level_spill<T, T1>& in = *files_[0];
      in.start_reading();
      frequent_level<T, T1> window(k - 1);
      const std::uint64_t room =
          run.peers.agreed_least(window_room(data.held_bytes() + buffer_bytes()));
      // Half the room for the window read, half for what it joins to.
      const std::uint64_t max_joins = std::max<std::uint64_t>(1, room / 2 / b.per_itemset);
      while (in.read_window(window, max_joins, max_joins))
        b.join_in_windows(window, false, room, max_joins, false);
    }
    if (b.outcome.passes > 0) {
      if (next.n_itemsets > 0) spill(k, items, next, table, output, b.outcome);
      // Kept before its row says so.
      files_[1]->finish_writing();
      next_spilled_ = true;
    }
    return b.outcome;
  }

  // A window's peak in rooms: its itemsets in next, and with several threads
  // also in the chunk stores the threads build them into first (whose arrays
  // grow by doubling, so up to twice that) before the stores are appended to
  // next in order. The windows are cut alike for any number of threads.
  static std::uint64_t window_peak_per_room(unsigned threads) { return threads > 1 ? 3 : 1; }

  // The buffers held beside the levels while they are built, whatever the
  // windows: the output file open for a level written behind or a window
  // (one at a time), and both spill files'.
  static std::uint64_t buffer_bytes() {
    return output_file::kHeldBytes + 2 * level_spill<T, T1>::kBufferBytes;
  }

 private:
  // One level's build: what its windows join and hold, and the outcome.
  template <class Join>
  struct level_build {
    level_windows& windows;
    run_context& run;
    int k;
    const item_table& items;
    frequent_level<T, T1>& next;
    const vertical_dataset<T>& data;
    typed_constraints<T>& table;
    std::vector<level_walker<T>>& walkers;
    level_output<T, T1>& output;
    const Join& join;
    window_outcome outcome{};
    const unsigned threads = static_cast<unsigned>(walkers.size());
    const std::uint64_t per_itemset = 2 * sizeof(T) + sizeof(T1) + 8;
    const std::uint64_t peak_per_room = window_peak_per_room(threads);

    // What source, next (growing: three times its content), the in-memory
    // data and the file buffers hold.
    std::uint64_t held_beside(const frequent_level<T, T1>& source) const {
      return source.bytes() + 3 * next.bytes() + data.held_bytes() + buffer_bytes();
    }

    // Joins one window of source: whole groups, or members of one group.
    // release: source's release as its readers pass its groups (a level in one
    // window only); one thread then takes the window in chunks too.
    void join_window(const frequent_level<T, T1>& source, const group_chunk& window, bool whole,
                     std::uint64_t room, level_release<T, T1>* release = nullptr) {
      const bool members = window.first_member > 0 || window.end_member >= 0;
      const std::vector<group_chunk> chunks =
          (threads == 1 && release == nullptr) || members
              ? std::vector<group_chunk>{window}
              : chunk_groups(source, threads, window.first_group, window.end_group);
      join_on_threads(
          walkers, chunks, next,
          [&](level_walker<T>& w, const group_chunk& chunk, frequent_level<T, T1>& out) {
            const long long before = w.counters.examined;
            join(source, whole, w, chunk, out);
            run.meter.add_candidates(static_cast<std::uint64_t>(w.counters.examined - before));
          },
          release);
      // A stop asked for ends the run between windows too (the files go with
      // the windows).
      run.report.check_stop();
      // Spill when one more window, at its peak, may not fit beside what is
      // held. The arrays of next grow by doubling: while one grows it holds
      // its old and its new room, three times what it held.
      // Ranks hold different shares of the data: they spill when any must.
      if (run.peers.agreed_any(held_beside(source) + peak_per_room * room > windows.budget_))
        windows.spill(k, items, next, table, output, outcome);
    }

    // Joins the groups of source window by window, each of at most max_joins
    // joins: runs of whole groups, and a group whose joins alone exceed that
    // in runs of its members. level: source is all of level k-1 in its store,
    // which joins as one window when it fits.
    void join_in_windows(const frequent_level<T, T1>& source, bool whole, std::uint64_t room,
                         std::uint64_t max_joins, bool level) {
      const int n = source.number_of_groups();
      // A level in one window joins as it always did (the chunk cuts of the
      // threads included).
      if (level && n > 0 && source.joins() <= max_joins) {
        join_window(source, {0, -1}, whole, 0, output.release_of(source));
        return;
      }
      // The groups' joins in order; a window's first group is the one that
      // did not fit the window before.
      joins_along_groups<T, T1> along(source, 0);
      std::uint64_t first_joins = n > 0 ? along.next(0) : 0;
      for (int g0 = 0, g1; g0 < n; g0 = g1) {
        std::uint64_t joins = first_joins;
        for (g1 = g0 + 1; g1 < n; ++g1) {
          const std::uint64_t more = along.next(g1);
          if (joins + more > max_joins) {
            first_joins = more;
            break;
          }
          joins += more;
        }
        // Room reserved for the whole level would count against every window:
        // next grows window by window instead.
        if (level && g0 == 0) next.clear(k);
        if (joins <= max_joins)
          join_window(source, {g0, g1}, whole, room);
        else  // one group (g1 = g0 + 1) too big for a window
          join_members(source, g0, whole, room, max_joins);
      }
    }

    // Joins group g of source in runs of its members (member i joins the
    // m - i - 1 after it), whose candidates follow each other in the group's
    // order.
    void join_members(const frequent_level<T, T1>& source, int g, bool whole, std::uint64_t room,
                      std::uint64_t max_joins) {
      const int m = source.group_last[g] - source.group_first(g) + 1;
      windows.check_member_fits(run.peers, k, static_cast<std::uint64_t>(m - 1),
                                static_cast<std::uint64_t>(m - 1) * per_itemset,
                                held_beside(source));
      for (int a = 0, b; a < m - 1; a = b) {
        std::uint64_t in_window = static_cast<std::uint64_t>(m - 1 - a);
        for (b = a + 1;
             b < m - 1 && in_window + static_cast<std::uint64_t>(m - 1 - b) <= max_joins; ++b)
          in_window += static_cast<std::uint64_t>(m - 1 - b);
        join_window(source, {g, g + 1, a, b}, whole, room);
      }
    }
  };

  // Stops the run when the joins of a single itemset (member_bytes), which no
  // window can split, exceed both the least room of a window and what the
  // budget leaves beside `held`. A plan against test bytes (set in the config,
  // or a least room below kLeastWindowBytes) only forces windows and never
  // stops a run.
  // Every rank stops alike, when any rank's budget is short.
  void check_member_fits(cluster& peers, int k, std::uint64_t joins, std::uint64_t member_bytes,
                         std::uint64_t held) const {
    const std::uint64_t left = budget_ > held ? budget_ - held : 0;
    if (!peers.agreed_any(plans_budget_ && member_bytes > std::max(least_window_bytes_, left)))
      return;
    throw run_error("level " + std::to_string(k) + ": the joins of one itemset (" +
                    std::to_string(joins) + ") do not fit the memory budget");
  }

  // The room planned for one window beside `held` bytes: a quarter of what the
  // budget leaves, kLeastWindowBytes at least.
  std::uint64_t window_room(std::uint64_t held) const {
    const std::uint64_t left = budget_ > held ? budget_ - held : 0;
    return std::max(least_window_bytes_, left / 4);
  }

  // Writes next's itemsets to the output and to the spill file of level k,
  // then empties next.
  void spill(int k, const item_table& items, frequent_level<T, T1>& next,
             typed_constraints<T>& table, level_output<T, T1>& output, window_outcome& outcome) {
    level_spill<T, T1>& out = *files_[1];
    if (outcome.passes == 0)
      out.start_writing(
          k, table.stores_loose_flags() ? static_cast<int>(table.loose_table.size()) : 0);
    outcome.written += output.write_window(k, items, next, table);
    out.append(next);
    ++outcome.passes;
    next.clear(k);
  }

  std::uint64_t budget_;  // what the windows are planned against
  std::uint64_t least_window_bytes_;
  bool plans_budget_;  // the windows are planned against the run's budget
  // [0]: the file of the previous level, [1]: that of the level being built.
  std::unique_ptr<level_spill<T, T1>> files_[2];
  bool previous_spilled_ = false;
  bool next_spilled_ = false;
};

// Ends level k's progress row once it is built: a level that spilled reports
// what its windows wrote and its passes; a level built whole is written from
// next as usual.
template <class T, class T1>
void finish_built_level(level_output<T, T1>& output, const window_outcome& built, int k,
                        const item_table& items, const frequent_level<T, T1>& next,
                        typed_constraints<T>& table, level_counters counters,
                        const char* algorithm, std::uint64_t matrix_bytes,
                        const stopwatch& clock) {
  if (built.passes > 0) {
    counters.written = built.written;
    output.finish_spilled_level(k, counters, algorithm, matrix_bytes, clock, built.passes);
  } else {
    output.finish_level(k, items, next, table, counters, algorithm, matrix_bytes, clock);
  }
}
