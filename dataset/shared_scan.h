// What the ranks of a shared run exchange after each has scanned its part of
// the input (dataset/first_scan.h).
//
// Each rank read the lines that begin in its byte range and wrote them to its
// own "dataset.tmp.<rank>". Afterwards the ranks add up what they counted, so
// every rank holds the figures of the whole input, and hand their records to
// rank 0 in rank order, which is line order: rank 0's file then holds what a
// single process's "dataset.tmp" would, record for record, and rank 0 mines the
// levels from it. Every function here is collective.
#pragma once

#include <cstdint>
#include <exception>

#include "dataset/first_scan.h"
#include "dataset/item_counts.h"
#include "dataset/run_context.h"
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

// Appends the records of ranks 1, 2, ... to rank 0's "dataset.tmp.0" in rank
// order; then every rank agrees on whether that worked.
void gather_temp_dataset(run_context& run);
