// Out-of-core counting of one level k >= 3 over "dataset.tmp".
//
// T is the dense item type, T1 the support type. The level's candidates are
// generated from level k-1 (engine/candidates.h) and counted in sequential
// passes that read every transaction and count the candidates it contains
// through the candidate store's pair-prefix index. When they do not fit their
// share of the memory budget at once, they are generated and counted a chunk at
// a time, one pass per chunk; the passes before the last keep per-transaction
// sums in engine/partial_counts.h, so that only the last pass prunes and hands
// on the transactions, exactly as a single pass would. The pruning trims every
// transaction three ways: global (items of too few stored itemsets of the
// previous level), local (items of fewer than k contained candidates) and
// whole-transaction (k or fewer items left, or a loose constraint that no
// contained candidate satisfies); each survivor goes to sink: the rewriter of
// "dataset.tmp", or the filler of the bit matrix (which may renumber the items;
// the level is then stored under the new numbering and the item table follows
// it). The frequent candidates that pass the anti-monotone constraints become
// level k, which is written to the output file, and the progress row is printed
// (with the number of passes when there were several); or both are left to the
// caller, which may write the level while the next one is mined from it.
#pragma once

#include <memory>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "engine/candidates.h"
#include "engine/pair_counting.h"
#include "levels/level_store.h"
#include "levels/transaction_sink.h"
#include "util/progress_row.h"
#include "util/stopwatch.h"

// A level counted but not written: its progress row (all but the itemsets
// written and the seconds) and the clock of its time, started before its pass.
struct unwritten_level {
  progress_row row;
  stopwatch clock;
};

// level holds level k-1 on entry and level k on return; candidates is the store
// the chunks are generated into; pairs (the frequent pairs, read for k = 3) is
// released once no chunk needs it. Returns false, with no pass, no output and no
// row and the stores unchanged, when level k has no candidate. With unwritten
// not null the level is neither written nor its row printed: *unwritten gets
// what the caller needs for both (a single rank only).
template <class T, class T1>
bool count_level_out_of_core(run_context& run, int k, int max_tr_len, item_table& items,
                             frequent_level<T, T1>& level, candidate_store<T, T1>& candidates,
                             std::unique_ptr<frequent_pairs<T>>& pairs,
                             transaction_sink<T>& sink, typed_constraints<T>& table,
                             unwritten_level* unwritten = nullptr);
