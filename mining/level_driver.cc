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
#include "vertical/level_job.h"
#include "vertical/level_output.h"
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
void allocate_own_share(const run_context& run, const item_table& items, std::uint64_t occurrences,
                        std::uint64_t word_bytes, vertical_dataset<T>& data) {
  const std::uint64_t own_occurrences = std::min(
      occurrences, items_in_temp_dataset(run.temp_dataset, items.own_transactions, word_bytes));
  data.allocate(items.own_transactions, own_occurrences);
}

// One search through the levels, phase after phase: the pairs, the levels
// counted over "dataset.tmp", and the levels in memory once the data fits.
template <class T, class T1>
class level_search {
 public:
  level_search(run_context& run, int max_tr_len, item_table& items)
      : run_(run),
        max_tr_len_(max_tr_len),
        items_(items),
        table_(run.constraints),
        key_patterns_(items.dense_support_pct > 20.0) {}

  // Counts the pairs (into the in-memory data when it fits already); false
  // when no level after them is worth counting.
  bool count_pairs_level() {
    // Before pair counting "dataset.tmp" holds the frequent items of every
    // transaction: their supports add up to its occurrences.
    std::uint64_t occurrences = 0;
    for (std::uint32_t a = 0; a < items_.n_items; ++a) occurrences += items_.support(a);
    // "dataset.tmp" still has the 32-bit layout of the first scan.
    if (run_.config.hop <= 2 &&
        data_.fits_in_memory(items_.n_items, items_.n_transactions, occurrences, run_.memory_bytes,
                             run_.config.layout, run_.config.sigma)) {
      allocate_own_share(run_, items_, occurrences, sizeof(std::uint32_t), data_);
      in_memory_ = true;
    }
    pairs_ = std::make_unique<frequent_pairs<T>>();
    level_ = count_pairs<T, T1>(run_, max_tr_len_, items_, *make_sink(run_, data_, false), table_,
                                *pairs_);
    return level_->n_itemsets >= 3 && !run_.constraints.last_allowed_level(k_);
  }

  // Counts levels 3, 4, ... over "dataset.tmp" until one fills the in-memory
  // data; false when the search ends before.
  bool count_levels_out_of_core(level_output<T, T1>& output) {
    const bool shared = run_.peers.ranks() > 1;
    candidate_store<T, T1> candidates(k_);
    candidates.dense_index_limit = run_.memory_bytes / 16;
    while (!in_memory_) {
      run_.report.check_stop();
      ++k_;
      // From level hop on, the pass of level k fills the in-memory data instead
      // of rewriting the file once the pruned data fits the memory rule.
      if (run_.config.hop <= k_ &&
          data_.fits_in_memory(run_.pruning.n_kept(), items_.n_transactions,
                               occurrences_in_file<T>(run_), run_.memory_bytes,
                               run_.config.layout, run_.config.sigma)) {
        allocate_own_share(run_, items_, data_.expected_occurrences, sizeof(T), data_);
        in_memory_ = true;
      }
      // The level that fills the in-memory data is only read from then on: it
      // is written as the levels in memory are, behind the first of them when
      // they write behind (on the million-item row its 2M triples took 277M
      // instructions on the way to level 4).
      unwritten_level ended;
      const bool hand_on = in_memory_ && !shared;
      if (!count_level_out_of_core<T, T1>(run_, k_, max_tr_len_, items_, *level_, candidates,
                                          pairs_, *make_sink(run_, data_, true), table_,
                                          hand_on ? &ended : nullptr))
        return false;
      if (hand_on) output.finish_level(items_, *level_, table_, ended.row, ended.clock);
      if (level_->n_itemsets < k_ + 1 || run_.constraints.last_allowed_level(k_)) return false;
    }
    return true;
  }

  // The levels in memory, until one comes out too small to join or the
  // constraints allow no longer one.
  void count_levels_in_memory(level_output<T, T1>& output) {
    pairs_.reset();
    // The last counting pass compacted the numbering to the items it kept.
    // Ranks that share the levels decide on compactness together.
    const bool compact = run_.peers.ranks() > 1
                             ? data_.try_make_compact_shared(items_.n_items, run_.peers)
                             : data_.try_make_compact(items_.n_items);
    const level_kernel kernel = key_patterns_ ? level_kernel::key_patterns
                                : compact     ? level_kernel::compact
                                              : level_kernel::diffuse;
    level_job<T, T1> job(run_, items_, data_, table_, output, kernel, std::move(level_));
    // The output may be writing the level last built from the job's store:
    // it ends (its row, or its failure) before the job does.
    try {
      do {
        run_.report.check_stop();
      } while (job.build_next() >= static_cast<std::uint64_t>(job.k()) &&
               !run_.constraints.last_allowed_level(job.k()));
    } catch (...) {
      output.wait();
      throw;
    }
    output.wait();
  }

 private:
  run_context& run_;
  int max_tr_len_;
  item_table& items_;
  typed_constraints<T> table_;
  // Dense data: the levels in memory infer what they can from key patterns.
  const bool key_patterns_;
  vertical_dataset<T> data_;
  bool in_memory_ = false;  // data_ is allocated and filled by the last pass
  int k_ = 2;               // the level counted last
  std::unique_ptr<frequent_pairs<T>> pairs_;
  std::unique_ptr<frequent_level<T, T1>> level_;
};

}  // namespace

template <class T, class T1>
void mine_levels(run_context& run, int max_tr_len, item_table& items) {
  // Nothing of two or more items may be written: no pass is worth running.
  if (!run.constraints.level_allowed(2)) return;
  level_search<T, T1> search(run, max_tr_len, items);
  if (!search.count_pairs_level()) return;
  // Levels shared between ranks are written as they end, on every rank alike.
  level_output<T, T1> output(run,
                             run.peers.ranks() <= 1 && level_output<T, T1>::writes_behind(run));
  try {
    if (search.count_levels_out_of_core(output)) search.count_levels_in_memory(output);
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
