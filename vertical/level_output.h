// What the vertical levels (compact, diffuse, key-pattern) share at their end: the
// level's counters, its output and its progress row. Internal to vertical/.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstdint>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_store.h"
#include "util/output_file.h"
#include "util/progress_row.h"

struct level_counters {
  long long examined = 0;  // candidates produced, tested or not
  long long frequent = 0;
  long long written = 0;
};

// Appends the accepted itemsets of level k to the output file, laid out by the
// calling thread. dump_itemsets can lay a level out on several threads, but on
// two processors that was slower (chess sigma 1000: 2.97 s wall against 2.58 s,
// mushroom sigma 100: 5.49 s against 4.39 s, medians of 3): the writes stay
// serial and the buffers' first touch costs what the threads save.
template <class T, class T1>
void write_level(run_context& run, int k, item_table& items, frequent_level<T, T1>& next,
                 typed_constraints<T>& table, level_counters& counters) {
  counters.written = counters.frequent;
  if (!run.output.enabled()) return;
  output_file out(run.output, "a");
  counters.written =
      run.constraints.level_allowed(k)
          ? next.dump_itemsets(items, run.constraints.prefix_items, out, table, 1)
          : 0;
  out.close();
}

// The progress row of a vertical level: no transaction count, the size of the
// bit matrix in kilobytes.
inline void print_vertical_row(reporter& report, const char* algorithm, int k,
                               const level_counters& c, std::uint64_t matrix_bytes,
                               double seconds) {
  progress_row row;
  row.level = k;
  row.algorithm = algorithm;
  row.candidates = static_cast<std::uint64_t>(c.examined);
  row.frequent = static_cast<std::uint64_t>(c.frequent);
  row.written = static_cast<std::uint64_t>(c.written);
  row.counts_transactions = false;
  row.kib = matrix_bytes / 1024;
  row.seconds = seconds;
  print_progress_row(report, row);
}
