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

#include "dataset/first_scan_result.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "dataset/temp_dataset.h"
#include "dataset/transaction_source.h"

first_scan_result first_scan(run_context& run, transaction_source& source, item_table& items);

// Winnow passes, renumbering (by the first convertible constraint's attribute,
// else by support) and dense attribute columns.
void settle_items(run_context& run, item_table& items, first_scan_result& scan);
