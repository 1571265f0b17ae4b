// The line writer: a level store's itemsets as output lines.
//
// The lines are those of levels/output_line.h (prefix items, labels,
// "(support)\n"), one per stored itemset that the monotone and convertible
// constraints accept and whose loose flags are all set. The walk goes down the
// prefix tree depth first, so each node's label is laid out once; where no
// constraint filters, whole groups are laid out in runs of lines. A large
// level can be laid out on several threads, in runs of whole groups, each
// thread filtering with its own clone of the constraint table; the runs are
// written in order, so the bytes are the same for any number of threads.
// T is the dense item type, T1 the support type.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "levels/level_store.h"
#include "util/output_file.h"

// Writes store's accepted itemsets to out and returns how many were written.
// threads > 1: consecutive runs of groups are laid out on up to that many
// threads. progress (one thread only): set now and then to the group being
// laid out, below which the walk reads nothing more (levels/level_release.h).
template <class T, class T1>
int write_level_lines(const level_store<T, T1>& store, const item_table& items,
                      const std::vector<std::uint32_t>& prefix_items, output_file& out,
                      typed_constraints<T>& table, unsigned threads = 1,
                      std::atomic<int>* progress = nullptr);

// How many itemsets write_level_lines would write, without laying any out.
template <class T, class T1>
int count_level_lines(const level_store<T, T1>& store, typed_constraints<T>& table);
