// A record of "dataset.tmp" in dense ids: what every pass over the file after
// the renumbering reads (engine/mapped_records.h).
#pragma once

#include <cstdint>

#include "dataset/items.h"
#include "util/transaction.h"

// Maps one 32-bit transaction of input ids to dense ids of type T, dropping the
// items that are not frequent, and sorts it ascending. out.items has room for
// in.length items. The caller fetches the ids' map entries ahead
// (item_table::prefetch_input).
template <class T>
void map_to_dense_sorted(const transaction_view<std::uint32_t>& in, transaction_view<T>& out,
                         const item_table& items);
