// The Winnow passes: alternate the support threshold and the monotone
// constraints over "dataset.tmp" before mining starts.
//
// Dropping the infrequent items can make a transaction fail a monotone
// constraint (a minimum sum, say); dropping that transaction lowers supports,
// which makes more items infrequent. Each pass rewrites the 32-bit layout file in
// place with the items that were frequent at the start of the pass, lets the
// monotone constraints empty transactions, recounts, and prints one "winnow"
// row. The first scan is the first reduction, so preloops = n allows n - 1
// passes (preloops 0: until a pass keeps every transaction). A pass never
// re-applies a monotone constraint whose reapplied_by_winnow() is false (the
// "supseteq" stripping, which the first scan already did).
#pragma once

#include <cstdint>

#include "dataset/items.h"
#include "dataset/run_context.h"

// Returns the number of passes run. max_tr_len and items_written describe the
// file after the last pass; c1 is the count-table size printed in every row.
std::uint32_t run_winnow_loops(run_context& run, item_table& items, std::uint64_t c1,
                               std::uint32_t& max_tr_len, std::uint64_t& items_written);
