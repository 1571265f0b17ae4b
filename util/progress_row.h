// The progress row a level prints on stdout when it is done:
//   "%2d: \t %-5s\t\t %6llu \t %6llu \t %6llu \t %8u \t %8llu \t %8.2f\n"
// level, algorithm ("scan", "hop", "zaxd", "zaxs", "zaxdk"), candidates,
// frequent itemsets, itemsets written, transactions left ("--------" where the
// level does not count them), kilobytes of the data it worked on and seconds.
// A level that needed more than one pass over "dataset.tmp" (its counters did
// not fit the memory budget at once) ends the row with " \t <p> passes" after
// the seconds; with one pass the row is as above.
// The bytes are part of what users see: keep them.
#pragma once

#include <cstdint>

#include "util/report.h"

struct progress_row {
  int level = 0;
  const char* algorithm = "";
  std::uint64_t candidates = 0;
  std::uint64_t frequent = 0;
  std::uint64_t written = 0;
  bool counts_transactions = true;  // false: the column shows "--------"
  std::uint32_t transactions = 0;
  std::uint64_t kib = 0;
  double seconds = 0;
  std::uint32_t passes = 1;  // passes over "dataset.tmp", or windows of a level that spilled
};

// Records the row in report's statistics and prints it through report.
void print_progress_row(reporter& report, const progress_row& row);
