// Levels k >= 3 in memory when several ranks share the run: each rank holds its
// own transactions (a bit matrix or tid-lists of them) and every rank walks the
// same candidates, generated from the same previous level. A rank counts each
// candidate on its own transactions, exactly (its count alone decides
// nothing), and the counts of many candidates at a time are
// summed over the ranks; every rank then stores the same frequent itemsets in
// the same order, writes the same level (rank 0 to the output file) and prints
// the same progress row, that of one process over all the transactions.
//
// The compact and diffuse variants share this walk: the bit matrix's compact
// head speeds up a rank's counts as it does one process's, while the diffuse
// variant's pruning and reordering of the matrix (from what one rank's
// intersections cost) are left out. The key-pattern variant has its own walk
// (vertical/key_pattern_level.cc): a candidate's verdict comes from the
// previous level, the same on every rank; those it asks to count are summed,
// and the inferred ones wait in line with them.
//
// A level that outgrows the budget is built window by window and spills as one
// process's does (vertical/level_windows.h), on plans the ranks agree on: each
// rank keeps its own spill files (beside its own temporary dataset), all alike,
// and each window's counts are summed before the window ends. A level read
// back from its file is counted without subset tests or inference, as in one
// process.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstddef>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_store.h"
#include "vertical/level_output.h"
#include "vertical/level_windows.h"
#include "vertical/vertical_dataset.h"

// Each sum covers up to kSharedCandidates counted candidates, and (key
// patterns) up to kSharedItems items of candidates waiting for it (16 MB at
// most): a sum is two collectives, and with more ranks than cores each can
// cost a time slice (chess at sigma 1000, two ranks on two busy cores, level
// 10: 5.6 s with a sum per 65,536 candidates counted or inferred, 4.8 s now).
constexpr std::size_t kSharedCandidates = std::size_t{1} << 18;
constexpr std::size_t kSharedItems = std::size_t{1} << 22;

// Builds level k into next from previous (or from its spill file) on the
// ranks run.peers, writing it through output (which must write at once, not
// behind) and printing the row of "zaxd" or "zaxs" (diffuse) and the bytes
// summed below it.
template <class T, class T1>
void intersect_level_shared(run_context& run, int k, item_table& items,
                            frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                            vertical_dataset<T>& data, typed_constraints<T>& table, bool diffuse,
                            level_output<T, T1>& output, level_windows<T, T1>& windows);

// The key-pattern variant over the ranks (row "zaxdk").
template <class T, class T1>
void intersect_level_key_patterns_shared(run_context& run, int k, item_table& items,
                                         frequent_level<T, T1>& previous,
                                         frequent_level<T, T1>& next, vertical_dataset<T>& data,
                                         typed_constraints<T>& table, level_output<T, T1>& output,
                                         level_windows<T, T1>& windows);
