// Levels 0 and 1, written once the first scan has counted the items.
//
// Level 0 is the prefix itemset alone (the empty itemset without "supseteq"):
// its support is the number of lines that hold every prefix item. Level 1 is
// every frequent item that every constraint accepts. Both pass the whole
// constraint set on input ids (dense ids for level 1, after renumbering) and the
// length bound. write_level_zero creates the output file and prints the progress
// header and row 0; write_level_one appends and prints row 1.
#pragma once

#include <memory>

#include "dataset/first_scan.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "util/output_file.h"

// The start of every run: the first scan of the run's input (its in-memory
// transactions, else its file), level 0, the Winnow passes and renumbering,
// level 1; then the count tables are freed. Returns what the scan found. A
// run shared by several ranks: each scans its part of the file, and all but
// rank 0 return once they have handed their transactions to it.
first_scan_result run_first_levels(run_context& run, item_table& items);

// Returns the output file, open for level 1 (null when the run writes nothing).
std::unique_ptr<output_file> write_level_zero(run_context& run, const item_table& items,
                                              const first_scan_result& scan);

// Writes level 1 to out (when not null), closes it and prints row 1 with the
// seconds since the first scan began.
void write_level_one(run_context& run, const item_table& items, const first_scan_result& scan,
                     std::unique_ptr<output_file> out, double seconds);
