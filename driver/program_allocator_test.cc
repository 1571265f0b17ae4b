#include "driver/program_allocator.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/mappings.h"
#include "tests/support/sanitizer.h"

namespace {

constexpr std::size_t MiB = std::size_t{1} << 20;

// A block of several huge pages from the programs' operator new is marked for
// them (flag "hg"). Without the mark the tables indexed by item pay a TLB miss
// on nearly every read (the million-item benchmark: 25 % more CPU time).
TEST(ProgramAllocator, LargeBlocksFromNewAreMarked) {
  if (kSanitizedBuild) GTEST_SKIP() << "sanitizers keep their own operator new";
  std::ifstream probe("/proc/self/smaps");
  if (!probe) GTEST_SKIP() << "no /proc/self/smaps";
  auto large = std::make_unique<char[]>(std::size_t{16} << 20);
  const std::string flags = flags_of_mapping_holding(large.get() + (std::size_t{8} << 20));
  ASSERT_NE(flags, "");
  EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
}

// Threads share one arena only where an address-space limit would feel the
// arenas, and the description says so, for the budget to count on it. In a
// child, whose allocator settings no other test sees.
TEST(ProgramAllocator, ThreadsShareOneArenaOnlyUnderAnAddressSpaceLimit) {
  if (kSanitizedBuild) GTEST_SKIP() << "the sanitizer runtime has its own allocator";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    kestrel::run_description one, two;
    one.threads = 1;
    two.threads = 2;
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    use_program_allocator(two);
    if (old.rlim_cur == RLIM_INFINITY && two.threads_share_one_arena) _exit(1);
    const rlimit lowered{std::min(rlim_t{8} << 30, old.rlim_max), old.rlim_max};
    if (setrlimit(RLIMIT_AS, &lowered) != 0) _exit(2);
    use_program_allocator(one);
    use_program_allocator(two);
    _exit(!one.threads_share_one_arena && two.threads_share_one_arena ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Resident set of this process in KiB, from /proc/self/status; 0 when unread.
long resident_kib() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, f) != nullptr)
    if (std::sscanf(line, "VmRSS: %ld", &kib) == 1) break;
  std::fclose(f);
  return kib;
}

// Freeing a 24 MiB block raises glibc's own threshold to 24 MiB; an 8 MiB
// block, as a level's array, would then come from the heap and stay resident
// once freed. With the threshold fixed it is a mapping of its own and goes.
// In a child, whose allocator settings no other test sees (kestrel_tests does
// not set the programs' policy up); the heap room the tests before left behind
// goes first, as a program starting its run has none.
TEST(ProgramAllocator, FreedLargeBlocksLeaveTheProcess) {
  if (kSanitizedBuild) GTEST_SKIP() << "the sanitizer runtime has its own allocator";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    malloc_trim(0);
    kestrel::run_description d;
    d.threads = 1;
    use_program_allocator(d);
    char* first = static_cast<char*>(std::malloc(24 * MiB));
    std::memset(first, 1, 24 * MiB);
    // Kept from the optimizer, which may drop an allocation nothing reads.
    asm volatile("" : : "r"(first) : "memory");
    std::free(first);
    char* level = static_cast<char*>(std::malloc(8 * MiB));
    std::memset(level, 1, 8 * MiB);
    asm volatile("" : : "r"(level) : "memory");
    const long held = resident_kib();
    std::free(level);
    const long after = resident_kib();
    _exit(held - after >= static_cast<long>(6 * MiB / 1024) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
