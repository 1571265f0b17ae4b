#include "util/memory.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"

namespace {

TEST(Memory, TotalIsWideAndFallsBackWithoutProc) {
  EXPECT_EQ(mem_total_from("/nonexistent/meminfo"), 67108864ull);
  // A machine of 4 GiB or more must not wrap: 16 GiB stays 16 GiB.
  test_dir dir;
  write_file("meminfo", "MemFree: 12 kB\nMemTotal: 16777216 kB\n");
  EXPECT_EQ(mem_total_from("meminfo"), 16ull << 30);
  EXPECT_GT(mem_total(), 0u);
}

}  // namespace
