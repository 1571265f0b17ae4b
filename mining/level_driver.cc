// The level-wise search after the first scan. T is the dense item type, T1 the
// support type.
#include "mining/level_driver.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "constraints/constraint_set.h"
#include "dataset/temp_dataset.h"
#include "engine/candidates.h"
#include "engine/dataset_rewriter.h"
#include "engine/out_of_core_level.h"
#include "engine/pair_counting.h"
#include "levels/level_store.h"
#include "util/widths.h"
#include "vertical/intersection_levels.h"
#include "vertical/level_output.h"
#include "vertical/level_windows.h"
#include "vertical/shared_levels.h"
#include "vertical/vertical_dataset.h"
#include "vertical/vertical_filler.h"

namespace {

// The sink of a counting pass: the filler of the in-memory data once it is
// allocated (renumbering the items to those global pruning keeps when renumber
// is set), else the rewriter of "dataset.tmp".
template <class T>
std::unique_ptr<transaction_sink<T>> make_sink(run_context& run, vertical_dataset<T>& data,
                                               bool renumber) {
  if (!data.allocated()) return std::make_unique<dataset_rewriter<T>>(run.temp_dataset);
  return std::make_unique<vertical_filler<T>>(data, renumber ? run.pruning.renumbering() : nullptr);
}

// Item occurrences in "dataset.tmp" at most: its size in items (the records'
// lengths included). The file is cut after every rewrite, so this follows the
// pruned data.
// With several ranks, that of all their files.
template <class T>
std::uint64_t occurrences_in_file(run_context& run) {
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(run.temp_dataset, error);
  const std::uint64_t occurrences = error ? 0 : static_cast<std::uint64_t>(bytes) / sizeof(T);
  return run.peers.ranks() > 1 ? run.peers.sum_counts(occurrences) : occurrences;
}

// Allocates the in-memory data for this rank's own records, which it alone
// fills: its transactions, and at most `occurrences` (the bound of all ranks'
// files the fit was decided on) or what its own "dataset.tmp" holds (records
// of word_bytes-byte words), the smaller. One rank allocates for the whole data.
template <class T>
void allocate_own_share(const run_context& run, const item_table& items,
                        std::uint64_t occurrences, std::uint64_t word_bytes,
                        vertical_dataset<T>& data) {
  const std::uint64_t own_occurrences = std::min(
      occurrences, items_in_temp_dataset(run.temp_dataset, items.own_transactions, word_bytes));
  data.allocate(items.own_transactions, own_occurrences);
}

}  // namespace

template <class T, class T1>
void mine_levels(run_context& run, int max_tr_len, item_table& items) {
  const constraint_set& constraints = run.constraints;
  const int hop = run.config.hop;
  typed_constraints<T> table(constraints);
  // Nothing of two or more items may be written: no pass is worth running.
  if (!constraints.level_allowed(2)) return;

  int k = 2;
  vertical_dataset<T> data;
  bool vertical = false;
  // Before pair counting "dataset.tmp" holds the frequent items of every
  // transaction: their supports add up to its occurrences.
  std::uint64_t occurrences = 0;
  for (std::uint32_t a = 0; a < items.n_items; ++a) occurrences += items.support(a);
  // With several ranks each fills the in-memory data with its own records, and
  // the levels in memory sum their counts (vertical/shared_levels.h).
  const bool key_patterns = items.dense_support_pct > 20.0;
  // "dataset.tmp" still has the 32-bit layout of the first scan.
  if (hop <= 2 && data.fits_in_memory(items.n_items, items.n_transactions, occurrences,
                                      run.memory_bytes, run.config.layout)) {
    allocate_own_share(run, items, occurrences, sizeof(std::uint32_t), data);
    vertical = true;
  }

  auto pairs = std::make_unique<frequent_pairs<T>>();
  std::unique_ptr<frequent_level<T, T1>> level =
      count_pairs<T, T1>(run, max_tr_len, items, *make_sink(run, data, false), table, *pairs);
  if (level->n_itemsets < 3 || constraints.last_allowed_level(k)) return;

  cluster& peers = run.peers;
  const bool shared = peers.ranks() > 1;
  // Levels shared between ranks are written as they end, on every rank alike.
  level_output<T, T1> output(run, !shared && level_output<T, T1>::writes_behind(run));
  auto candidates = std::make_unique<candidate_store<T, T1>>(k);
  candidates->dense_index_limit = run.memory_bytes / 16;
  try {
    while (!vertical) {
      run.report.check_stop();
      ++k;
      // From level hop on, the pass of level k fills the in-memory data instead
      // of rewriting the file once the pruned data fits the memory rule.
      if (hop <= k && data.fits_in_memory(run.pruning.n_kept(), items.n_transactions,
                                          occurrences_in_file<T>(run), run.memory_bytes,
                                          run.config.layout)) {
        allocate_own_share(run, items, data.expected_occurrences, sizeof(T), data);
        vertical = true;
      }
      // The level that fills the in-memory data is only read from then on: it
      // is written as the levels in memory are, behind the first of them when
      // they write behind (on the million-item row its 2M triples took 277M
      // instructions on the way to level 4).
      unwritten_level ended;
      const bool hand_on = vertical && !shared;
      if (!count_level_out_of_core<T, T1>(run, k, max_tr_len, items, *level, *candidates, pairs,
                                          *make_sink(run, data, true), table,
                                          hand_on ? &ended : nullptr))
        return;
      if (hand_on) output.finish_level(items, *level, table, ended.row, ended.clock);
      if (level->n_itemsets < k + 1 || constraints.last_allowed_level(k)) {
        output.wait();
        return;
      }
    }
  } catch (...) {
    output.wait();
    throw;
  }

  candidates.reset();
  pairs.reset();
  // The last counting pass compacted the numbering to the items it kept. Ranks
  // that share the levels decide on compactness together.
  const bool compact = shared ? data.try_make_compact_shared(items.n_items, peers)
                              : data.try_make_compact(items.n_items);
  auto next = std::make_unique<frequent_level<T, T1>>(k);
  using iteration = void (*)(run_context&, int, item_table&, frequent_level<T, T1>&,
                             frequent_level<T, T1>&, vertical_dataset<T>&, typed_constraints<T>&,
                             level_output<T, T1>&, level_windows<T, T1>&);
  iteration variant = key_patterns ? &intersect_level_key_patterns<T, T1>
                      : compact    ? &intersect_level_dense<T, T1>
                                   : &intersect_level_sparse<T, T1>;
  // Levels that outgrow the budget go to spill files (ranks agree on when).
  level_windows<T, T1> windows(run);
  try {
    while (true) {
      run.report.check_stop();
      ++k;
      if (shared && key_patterns)
        intersect_level_key_patterns_shared(run, k, items, *level, *next, data, table, output,
                                            windows);
      else if (shared)
        intersect_level_shared(run, k, items, *level, *next, data, table, !compact, output,
                               windows);
      else
        variant(run, k, items, *level, *next, data, table, output, windows);
      if (windows.built_itemsets(*next) < static_cast<std::uint64_t>(k) ||
          constraints.last_allowed_level(k))
        break;
      std::swap(level, next);
      windows.advance();
    }
  } catch (...) {
    // The level still being written ends first (its row, or its failure).
    output.wait();
    throw;
  }
  output.wait();
}

#define KESTREL_INSTANTIATE(T, T1) template void mine_levels<T, T1>(run_context&, int, item_table&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
