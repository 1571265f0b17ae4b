// The first scan: the only pass over the input.
//
// Reads every line, makes it a set (an item repeated in a line counts once), lets
// the constraints trim it (anti-monotone, succinct, then monotone
// preprocess_transaction), counts the items and writes every non-empty
// transaction to "dataset.tmp" in the 32-bit layout, then prints the dataset
// statistics. settle_items then runs the Winnow passes, renumbers the items and
// rebuilds the attribute columns for dense ids. Levels 0 and 1 are written by
// the run (mining/first_levels.h) around settle_items.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/items.h"
#include "dataset/run_context.h"
#include "dataset/temp_dataset.h"
#include "dataset/transaction_source.h"

struct first_scan_result {
  std::uint64_t lines_read = 0;
  std::uint64_t item_occurrences = 0;  // items in the input, duplicates counted
  std::uint64_t items_written = 0;     // items in "dataset.tmp" (after Winnow: its current size)
  std::uint64_t prefix_support = 0;    // lines that hold every prefix item
  std::uint64_t c1 = 0;                // largest input id seen + 1 (level 1's candidates)
  std::uint32_t max_tr_len = 0;        // longest transaction in "dataset.tmp"
};

// Size in kB of n items in the 32-bit layout (the rows' "size kB" column).
inline unsigned long long kb_of(std::uint64_t n_items) {
  return static_cast<unsigned long long>(n_items * 4 / 1024);
}

first_scan_result first_scan(run_context& run, transaction_source& source, item_table& items);

// Winnow passes, renumbering (by the first convertible constraint's attribute,
// else by support) and dense attribute columns.
void settle_items(run_context& run, item_table& items, first_scan_result& scan);

// Maps one 32-bit transaction of input ids to dense ids of type T, dropping the
// items that are not frequent, and sorts it ascending. out.items has room for
// in.length items. The caller fetches the ids' map entries ahead
// (item_table::prefetch_input).
template <class T>
void map_to_dense_sorted(const transaction_view<std::uint32_t>& in, transaction_view<T>& out,
                         const item_table& items);
