// The join policy of the in-memory levels on tid-lists (a level job's policies:
// vertical/level_job.h): the candidates of a group of the previous level are
// its joined pairs, and one walk over the transactions of the group's prefix
// counts every pair of its last items (tid_lists::start_group), so each
// candidate is read off a row of pair counts.
//
// They need no subset test: counts never exceed the true supports, so a count
// that reaches min_count makes a frequent candidate, all of whose subsets are
// frequent and (as it passes the anti-monotone constraints) stored. Every
// level flags the items of the itemsets it stores: the others leave the
// transactions and the lists, and so do the transactions too short for the
// next level. The row's label is that of the bit matrix's variant the compact
// test picked ("zaxd" or "zaxs").
// T is the dense item type, T1 the support type.
#pragma once

#include "vertical/level_job.h"

// Builds level job.k() + 1 on tid-lists; label: the progress row's.
template <class T, class T1>
void build_tid_list_level(level_job<T, T1>& job, const char* label);
