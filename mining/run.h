// The run order behind kestrel::mine (include/kestrel/kestrel.h).
//
// run_mining takes a built run context and runs: the attribute table, the lock
// on "dataset.tmp", the first scan, level 0, the Winnow passes and
// renumbering, level 1, then the level-wise search for the narrowest item type
// T and support type T1, and prints the total time. On failure it removes what
// looks like a result (the output file it created, "dataset.tmp") and rethrows.
#pragma once

#include <cstdint>

#include "dataset/run_context.h"
#include "include/kestrel/kestrel.h"

struct run_summary {
  double seconds = 0;
  std::uint64_t transactions = 0;      // lines of the input
  std::uint64_t item_occurrences = 0;  // items of the input, duplicates counted
};

// Runs the whole search of run (see above).
run_summary run_mining(run_context& run);

// kestrel::mine over the ranks of peers (null: this process alone), each of
// which calls it with the same description (kestrel-mpi). Rank 0 alone lays
// out the itemsets (to the output file or hooks.itemsets); the others open no
// output and call no itemset hook, yet return the same statistics.
kestrel::run_statistics mine_shared(const kestrel::run_description& d,
                                    const kestrel::run_hooks& hooks, cluster* peers);
