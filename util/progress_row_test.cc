#include "util/progress_row.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string printed(const progress_row& row) {
  std::string text;
  reporter report;
  report.hook = [&text](const char* printed_text) { text += printed_text; };
  print_progress_row(report, row);
  return text;
}

TEST(ProgressRow, ShowsPassesOnlyWhenALevelTookMoreThanOne) {
  progress_row row;
  row.level = 3;
  row.algorithm = "hop";
  row.candidates = 10;
  row.frequent = 4;
  row.written = 2;
  row.transactions = 7;
  row.kib = 1;
  row.seconds = 0.5;
  EXPECT_EQ(printed(row), " 3: \t hop  \t\t     10 \t      4 \t      2 \t        7 \t        1 \t     0.50\n");
  row.passes = 3;
  row.counts_transactions = false;
  EXPECT_EQ(printed(row),
            " 3: \t hop  \t\t     10 \t      4 \t      2 \t -------- \t        1 \t     0.50 \t 3 passes\n");
}

}  // namespace
