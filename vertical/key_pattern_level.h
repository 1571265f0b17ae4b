// The key-pattern join policy of the in-memory levels (a level job's policies:
// vertical/level_job.h; progress row "zaxdk"), on the bit matrix or on
// tid-lists.
//
// An itemset X is a key pattern when its support differs from that of each of
// its subsets one item shorter. Otherwise some item a of X has
// support(X) = support(X - a), and then support(Y) = support(Y - a) for every
// superset Y of X. Each stored itemset carries either the key mark or one such
// item a, named by its position from X's end (levels/key_column.h); a candidate
// that is not a key gets its support from a subset without any intersection,
// and only the rest are counted (with the compact kernel on the bit matrix, or
// from the pair counts of their group on tid-lists).
//
// The join reads the previous store's key records (filled with the key mark
// when the level was not built by this join) and appends one record per stored
// itemset to the next. A window read back from a spill file lacks the subsets
// in other windows: every candidate of it is counted and stored as a key, which
// forgoes inference but is always sound. With several ranks, the inferred
// candidates wait in line with the counted ones (vertical/count_settling.h),
// and every candidate whose joined itemsets are both keys is examined, so the
// ranks walk alike.
// T is the dense item type, T1 the support type.
#pragma once

#include "vertical/level_job.h"

// Builds level job.k() + 1 with key-pattern inference.
template <class T, class T1>
void build_key_pattern_level(level_job<T, T1>& job);
