// The level-wise search after the first scan, for dense item type T and support
// type T1 (8, 16 or 32-bit unsigned each; all nine combinations are instantiated).
// Clones the active constraints into typed_constraints<T>, counts the pairs, then
// counts levels 3, 4, ... out of core over "dataset.tmp" until the pruned data
// fits the memory rule and the level reaches hop, and from there in memory
// (vertical/level_job.h: on the bit matrix or on tid-lists). Each counting pass gets its sink from here: the rewriter of
// "dataset.tmp" (engine/) or, for the last pass, the bit matrix filler
// (vertical/), so engine and vertical never include each other. Every level
// appends its itemsets to the output file and prints one progress row.
#pragma once

#include "dataset/items.h"
#include "dataset/run_context.h"

template <class T, class T1>
void mine_levels(run_context& run, int max_tr_len, item_table& items);
