// The level-wise search after the first scan. T is the dense item type, T1 the
// support type.
#include "mining/level_driver.h"

#include <memory>
#include <utility>

#include "constraints/constraint_set.h"
#include "engine/candidates.h"
#include "engine/dataset_rewriter.h"
#include "engine/out_of_core_level.h"
#include "engine/pair_counting.h"
#include "levels/level_store.h"
#include "util/widths.h"
#include "vertical/bit_matrix.h"
#include "vertical/bit_matrix_filler.h"
#include "vertical/intersection_levels.h"

namespace {

// The sink of a counting pass: the bit matrix filler once the matrix is
// allocated (renumbering the items to those global pruning keeps when renumber
// is set), else the rewriter of "dataset.tmp".
template <class T>
std::unique_ptr<transaction_sink<T>> make_sink(run_context& run, bit_matrix<T>& matrix,
                                               bool renumber) {
  if (!matrix.allocated()) return std::make_unique<dataset_rewriter<T>>(run.temp_dataset);
  return std::make_unique<bit_matrix_filler<T>>(matrix,
                                                renumber ? run.pruning.renumbering() : nullptr);
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
  bit_matrix<T> matrix;
  bool vertical = false;
  if (hop <= 2 && matrix.fits_in_memory(items.n_items, items.n_transactions, run.memory_bytes)) {
    matrix.allocate();
    vertical = true;
  }

  auto pairs = std::make_unique<frequent_pairs<T>>();
  std::unique_ptr<frequent_level<T, T1>> level = count_pairs<T, T1>(
      run, max_tr_len, items, *make_sink(run, matrix, false), table, *pairs);
  if (level->n_itemsets < 3 || constraints.last_allowed_level(k)) return;

  auto candidates = std::make_unique<candidate_store<T, T1>>(k);
  candidates->dense_index_limit = run.memory_bytes / 16;
  while (!vertical) {
    run.report.check_stop();
    ++k;
    // From level hop on, the pass of level k fills the bit matrix instead of
    // rewriting the file once the pruned data fits the memory rule.
    if (hop <= k &&
        matrix.fits_in_memory(run.pruning.n_kept(), items.n_transactions, run.memory_bytes)) {
      matrix.allocate();
      vertical = true;
    }
    if (!count_level_out_of_core<T, T1>(run, k, max_tr_len, items, *level, *candidates, pairs,
                                        *make_sink(run, matrix, true), table))
      return;
    if (level->n_itemsets < k + 1 || constraints.last_allowed_level(k)) return;
  }

  candidates.reset();
  pairs.reset();
  // The last counting pass compacted the numbering to the items it kept.
  const bool compact = matrix.try_make_compact(items.n_items);
  level->keys.assign(static_cast<std::size_t>(level->n_itemsets), static_cast<T>(-1));
  auto next = std::make_unique<frequent_level<T, T1>>(k);
  using iteration = void (*)(run_context&, int, item_table&, frequent_level<T, T1>&,
                             frequent_level<T, T1>&, bit_matrix<T>&, typed_constraints<T>&);
  iteration variant = items.dense_support_pct > 20.0 ? &intersect_level_key_patterns<T, T1>
                      : compact                      ? &intersect_level_dense<T, T1>
                                                     : &intersect_level_sparse<T, T1>;
  while (true) {
    run.report.check_stop();
    ++k;
    variant(run, k, items, *level, *next, matrix, table);
    if (next->n_itemsets < k || constraints.last_allowed_level(k)) return;
    std::swap(level, next);
  }
}

#define KESTREL_INSTANTIATE(T, T1) template void mine_levels<T, T1>(run_context&, int, item_table&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
