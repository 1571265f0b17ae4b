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
// threads' chunk stores, then in next), and a window plans for both; the
// buffers of the output and spill files are held beside the levels.
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
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_spill.h"
#include "levels/level_store.h"
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
    window_outcome outcome;
    next_spilled_ = false;
    const unsigned threads = static_cast<unsigned>(walkers.size());
    const std::uint64_t per_itemset = window_bytes_per_join(threads);
    auto join_window = [&](const frequent_level<T, T1>& source, int g0, int g1, bool whole,
                           std::uint64_t room) {
      const std::vector<group_chunk> chunks =
          threads == 1 ? std::vector<group_chunk>{{g0, g1}} : chunk_groups(source, threads, g0, g1);
      join_on_threads(walkers, chunks, next,
                      [&](level_walker<T>& w, const group_chunk& chunk,
                          frequent_level<T, T1>& out) { join(source, whole, w, chunk, out); });
      // A stop asked for ends the run between windows too (the files go with
      // this object).
      run.report.check_stop();
      // Spill when one more window may not fit beside what is held. The
      // arrays of next grow by doubling: while one grows it holds its old and
      // its new room, three times what it held.
      const std::uint64_t held =
          source.bytes() + 3 * next.bytes() + data.held_bytes() + buffer_bytes();
      if (run.peers.agreed_any(held + room > budget_))
        spill(k, items, next, table, output, outcome);
    };
    if (!previous_spilled_) {
      const std::uint64_t room = run.peers.agreed_least(
          window_room(previous.bytes() + data.held_bytes() + buffer_bytes()));
      const std::uint64_t max_joins = std::max<std::uint64_t>(1, room / per_itemset);
      const int n = previous.number_of_groups();
      for (int g0 = 0, g1; g0 < n; g0 = g1) {
        std::uint64_t joins = joins_in_group(previous, g0);
        for (g1 = g0 + 1; g1 < n && joins + joins_in_group(previous, g1) <= max_joins; ++g1)
          joins += joins_in_group(previous, g1);
        // A level in one window joins as it always did (the chunk cuts of
        // the threads included).
        if (g0 == 0 && g1 == n) {
          join_window(previous, 0, -1, true, 0);
          break;
        }
        // Room reserved for the whole level would count against every window:
        // next grows window by window instead.
        if (g0 == 0) next.clear(k);
        join_window(previous, g0, g1, true, room);
      }
    } else {
      level_spill<T, T1>& in = *files_[0];
      in.start_reading();
      frequent_level<T, T1> window(k - 1);
      const std::uint64_t room =
          run.peers.agreed_least(window_room(data.held_bytes() + buffer_bytes()));
      // Half the room for the window read, half for what it joins to.
      while (in.read_window(window, std::max<std::uint64_t>(1, room / 2 / per_itemset),
                            std::max<std::uint64_t>(1, room / 2 / per_itemset)))
        join_window(window, 0, window.number_of_groups(), false, room);
    }
    if (outcome.passes > 0) {
      if (next.n_itemsets > 0) spill(k, items, next, table, output, outcome);
      // Kept before its row says so.
      files_[1]->finish_writing();
      next_spilled_ = true;
    }
    return outcome;
  }

  // The bytes a window plans for each join it may store: the itemset's
  // suffix, support, key and group end in next, and with several threads
  // also in the chunk store its thread builds it into first (whose arrays grow
  // by doubling, so up to twice that) before the stores are appended to next.
  static std::uint64_t window_bytes_per_join(unsigned threads) {
    const std::uint64_t in_store = 2 * sizeof(T) + sizeof(T1) + 8;
    return threads > 1 ? 3 * in_store : in_store;
  }

  // The buffers held beside the levels while they are built, whatever the
  // windows: the output file open for a level written behind or a window
  // (one at a time), and both spill files'.
  static std::uint64_t buffer_bytes() {
    return output_file::kHeldBytes + 2 * level_spill<T, T1>::kBufferBytes;
  }

 private:
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
    if (outcome.passes == 0) out.start_writing(k, static_cast<int>(table.lam_table.size()));
    outcome.written += output.write_window(k, items, next, table);
    out.append(next);
    ++outcome.passes;
    next.clear(k);
  }

  std::uint64_t budget_;  // what the windows are planned against
  std::uint64_t least_window_bytes_;
  // [0]: the file of the previous level, [1]: that of the level being built.
  std::unique_ptr<level_spill<T, T1>> files_[2];
  bool previous_spilled_ = false;
  bool next_spilled_ = false;
};
