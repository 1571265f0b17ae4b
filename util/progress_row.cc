#include "util/progress_row.h"

#include <cstdio>

void print_progress_row(reporter& report, const progress_row& row) {
  char transactions[16] = "--------";
  if (row.counts_transactions)
    std::snprintf(transactions, sizeof transactions, "%8u", row.transactions);
  report.record(row.level, row.algorithm, row.candidates, row.frequent, row.written);
  char passes[32] = "";
  if (row.passes > 1) std::snprintf(passes, sizeof passes, " \t %u passes", row.passes);
  report.print("%2d: \t %-5s\t\t %6llu \t %6llu \t %6llu \t %s \t %8llu \t %8.2f%s\n", row.level,
               row.algorithm, static_cast<unsigned long long>(row.candidates),
               static_cast<unsigned long long>(row.frequent),
               static_cast<unsigned long long>(row.written), transactions,
               static_cast<unsigned long long>(row.kib), row.seconds, passes);
}
