// What the ranks of a shared run exchange after each has scanned its part of
// the input (dataset/first_scan.h calls it).
//
// Each rank read the lines that begin in its byte range and wrote them to its
// own "dataset.tmp.<rank>". Afterwards the ranks add up what they counted, so
// every rank holds the figures of the whole input. Every later pass over the
// file (Winnow, pairs, the levels out of core) runs on each rank's own file and
// sums its counts over the ranks, so every rank takes the same decisions and
// rewrites its records as a single process would: the ranks' files, in rank
// order (line order), always hold what a single process's "dataset.tmp" would,
// record for record. When the data moves into memory each rank loads its own
// records. Every function here is collective.
#pragma once

#include <cstdint>
#include <exception>

#include "dataset/first_scan_result.h"
#include "dataset/item_counts.h"
#include "util/cluster.h"

// A line_error of this rank names the line's number within its part; returns
// it renumbered within the whole file (the lines of the ranks before come
// first). Any other failure, or none, comes back as it is.
std::exception_ptr number_line_in_whole_file(cluster& peers, std::exception_ptr failure,
                                             std::uint64_t lines_read);

// The scan's figures and the item counts summed over the ranks (the longest
// transaction and the largest id: their maximum).
void add_up_ranks(cluster& peers, first_scan_result& scan, std::uint64_t& transactions_written,
                  item_counts& counts);
