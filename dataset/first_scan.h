// The first scan: the only pass over the input file.
//
// Reads every line, makes it a set (an item repeated in a line counts once), lets
// the constraints trim it (anti-monotone, succinct, then monotone
// preprocess_transaction), counts the items and writes every non-empty
// transaction to "dataset.tmp" in the 32-bit layout. Then prints the dataset
// statistics, creates the output file, settles level 0, prints the progress
// header and row 0, runs the Winnow passes, renumbers the items, rebuilds the
// attribute columns for dense ids, settles level 1 and prints row 1.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/temp_dataset.h"
#include "dataset/items.h"

// Returns the largest support of a frequent item; sets max_tr_len to the length
// of the longest transaction in the temporary dataset.
std::uint32_t first_scan(const std::string& input, item_table& items, std::uint32_t& max_tr_len,
                         std::uint32_t preloops);

// Maps one 32-bit transaction of input ids to dense ids of type T, dropping the
// items that are not frequent, and sorts it ascending. out.items has room for
// in.length items.
template <class T>
void map_to_dense_sorted(const transaction_view<std::uint32_t>& in, transaction_view<T>& out,
                                      const item_table& items);
