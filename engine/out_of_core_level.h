// Out-of-core counting of one level k >= 3 over "dataset.tmp".
//
// T is the dense item type, T1 the support type. One sequential pass reads every
// transaction, counts the candidates it contains through the candidate store's
// pair-prefix index, and writes it back in place, trimmed by three prunings:
// global (items of too few stored itemsets of the previous level), local (items
// of fewer than k contained candidates) and whole-transaction (k or fewer items
// left, or a loose constraint that no contained candidate satisfies), and hands
// each survivor to sink: the rewriter of "dataset.tmp", or the filler of the bit
// matrix (which may renumber the items; the level is then stored under the new
// numbering and the item table follows it). Then the frequent candidates that pass the
// anti-monotone constraints become level k in `level`, which is written to the
// output file, and the progress row is printed.
#pragma once

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "engine/candidates.h"
#include "levels/level_store.h"
#include "levels/transaction_sink.h"

template <class T, class T1>
void count_level_out_of_core(run_context& run, int k, int max_tr_len, item_table& items,
                             candidate_store<T, T1>& candidates, frequent_level<T, T1>& level,
                             transaction_sink<T>& sink, typed_constraints<T>& table);
