// The join policy of the in-memory levels on the bit matrix (a level job's
// policies: vertical/level_job.h): every candidate of the joins of the previous
// level whose other (k-1)-subsets are all stored is counted by intersecting
// the rows of its items.
//
//   compact  plain intersections, sped up by the compact head of the matrix
//            when its test succeeded (row "zaxd");
//   diffuse  run lists per two-item prefix (row "zaxs"); on one process every
//            second level collects the items of the frequent itemsets and may
//            prune and reorder the matrix for the levels after it. Ranks that
//            share the run leave that out: they would decide it from what
//            their own intersections cost.
//
// Candidates are the joined pairs of the previous level (levels/candidate_cursor.h):
// the previous store holds every frequent itemset of its level that passes the
// anti-monotone constraints, so a candidate absent from the join is infrequent
// or fails one of them. A candidate that fails an anti-monotone constraint, or
// one of whose other (k-1)-subsets is missing from the previous store
// (levels/subset_cursor.h), is neither counted nor stored; a window read back
// from a spill file lacks the subsets in other windows, and its candidates are
// counted untested. The frequent ones are stored and dump_itemsets decides what
// is written.
// T is the dense item type, T1 the support type.
#pragma once

#include "vertical/level_job.h"

// Builds level job.k() + 1 on the bit matrix, with the diffuse kernel or the
// compact one.
template <class T, class T1>
void build_bit_matrix_level(level_job<T, T1>& job, bool diffuse);
