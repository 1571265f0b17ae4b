#include "util/utils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "util/memory.h"

namespace {

TEST(Chronos, ReadsIncreaseWhileRunningAndFreezeWhenStopped) {
  Chronos c;
  EXPECT_EQ(c.ReadChronos(), 0.0);
  c.StartChronos();
  usleep(2000);
  const double first = c.ReadChronos();
  usleep(2000);
  const double second = c.ReadChronos();
  EXPECT_GT(first, 0.0);
  EXPECT_GT(second, first);
  c.StopChronos();
  const double stopped = c.ReadChronos();
  usleep(2000);
  EXPECT_EQ(c.ReadChronos(), stopped);
  c.StartChronos();  // a new measurement, not accumulated
  EXPECT_LT(c.ReadChronos(), stopped);
  c.ResetChronos();
  EXPECT_EQ(c.ReadChronos(), 0.0);
}

TEST(Statistics, LineFormat) {
  EXPECT_EQ(format_statistics("x", 3, 10, 4, 0.5), "# x\t|F3| = 4\t\t(|C3| =10,  time=0.500000)\n");
}

TEST(Memory, TotalIsWideAndFallsBackWithoutProc) {
  EXPECT_EQ(mem_total_from("/nonexistent/meminfo"), 67108864ull);
  // A machine of 4 GiB or more must not wrap: 16 GiB stays 16 GiB.
  char name[] = "/tmp/kestrel_meminfo_XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  const char text[] = "MemFree: 12 kB\nMemTotal: 16777216 kB\n";
  ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
  close(fd);
  EXPECT_EQ(mem_total_from(name), 16ull << 30);
  unlink(name);
  set_mem_total_for_testing(12345);
  EXPECT_EQ(mem_total(), 12345u);
  set_mem_total_for_testing(0);
  EXPECT_GT(mem_total(), 0u);
  EXPECT_GT(mem_rss(getpid()), 0u);
}

}  // namespace
