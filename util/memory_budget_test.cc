#include "util/memory_budget.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/sanitizer.h"
#include "util/memory.h"

namespace {

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
constexpr std::uint64_t NONE = UINT64_MAX;

// A fake /proc and /sys/fs/cgroup in a temporary directory: 8 GiB of physical memory.
struct fake_machine {
  test_dir dir;
  budget_sources sources;

  fake_machine() {
    sources.meminfo = dir.file("meminfo");
    sources.self_cgroup = dir.file("cgroup");
    sources.cgroup_v2_root = dir.file("v2");
    sources.cgroup_v1_memory_root = dir.file("v1");
    sources.soft_rlimit = [](int) { return NONE; };
    write_file(sources.meminfo, "MemTotal:        8388608 kB\nMemFree:  1024 kB\n");
  }
  // Writes text to the file at relative path under the temporary directory.
  void put(const std::string& relative, const std::string& text) {
    const std::string name = dir.file(relative);
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    write_file(name, text);
  }
};

std::string describe(const memory_budget_choice& c) {
  return std::to_string(c.bytes / MiB) + " MiB from " + budget_limit_name(c.limit);
}

TEST(MemoryBudget, SmallestCgroupLimitOfTheProcessOrItsAncestorsWins) {
  const std::string hybrid = "4:memory:/jobs/run7\n1:cpu,cpuacct:/\n0::/\n";
  const std::string v2_only = "0::/jobs/run7\n";
  const std::string v1_joined = "3:cpu,memory,pids:/jobs/run7\n";
  struct Case {
    const char* what;
    std::string self_cgroup;
    std::map<std::string, std::string> files;
    const char* expected;
  } cases[] = {
      {"v2 max everywhere", v2_only,
       {{"v2/jobs/run7/memory.max", "max\n"}, {"v2/jobs/memory.max", "max\n"}},
       "8192 MiB from physical memory"},
      {"v2 number", v2_only, {{"v2/jobs/run7/memory.max", "536870912\n"}},
       "512 MiB from cgroup memory.max"},
      {"v2 parent tighter than the process's own", v2_only,
       {{"v2/jobs/run7/memory.max", "max\n"}, {"v2/jobs/memory.max", "268435456\n"}},
       "256 MiB from cgroup memory.max"},
      {"v2 above physical memory", v2_only, {{"v2/jobs/run7/memory.max", "17179869184\n"}},
       "8192 MiB from physical memory"},
      {"v2 directory not visible, mount point limited", v2_only,
       {{"v2/memory.max", "1073741824\n"}}, "1024 MiB from cgroup memory.max"},
      {"v2 garbage ignored", v2_only,
       {{"v2/jobs/run7/memory.max", "lots\n"}, {"v2/jobs/memory.max", "-5\n"}},
       "8192 MiB from physical memory"},
      {"v1 number", hybrid, {{"v1/jobs/run7/memory.limit_in_bytes", "402653184\n"}},
       "384 MiB from cgroup memory.limit_in_bytes"},
      {"v1 unlimited", hybrid,
       {{"v1/jobs/run7/memory.limit_in_bytes", "9223372036854771712\n"},
        {"v1/memory.limit_in_bytes", "9223372036854771712\n"}},
       "8192 MiB from physical memory"},
      {"v1 controller in a joined list", v1_joined,
       {{"v1/jobs/memory.limit_in_bytes", "134217728\n"}},
       "128 MiB from cgroup memory.limit_in_bytes"},
      {"v1 file of a line without the memory controller ignored", "2:cpu:/jobs/run7\n",
       {{"v1/jobs/run7/memory.limit_in_bytes", "134217728\n"}}, "8192 MiB from physical memory"},
      {"v1 and v2 both limited: the smaller", "4:memory:/a\n0::/b\n",
       {{"v1/a/memory.limit_in_bytes", "700000000\n"}, {"v2/b/memory.max", "600000000\n"}},
       "572 MiB from cgroup memory.max"},
      {"last lines without a newline, blanks before the number", "0::/jobs/run7",
       {{"v2/jobs/run7/memory.max", " \t536870912"}}, "512 MiB from cgroup memory.max"},
      {"v1 controller last in its list, a longer name beside it not taken",
       "5:memoryx:/x\n3:cpu,memory:/jobs/run7",
       {{"v1/x/memory.limit_in_bytes", "1048576\n"},
        {"v1/jobs/run7/memory.limit_in_bytes", "402653184"}},
       "384 MiB from cgroup memory.limit_in_bytes"},
      {"no cgroup file", "", {}, "8192 MiB from physical memory"},
  };
  for (const Case& c : cases) {
    fake_machine m;
    if (!c.self_cgroup.empty()) m.put("cgroup", c.self_cgroup);
    for (const auto& [name, text] : c.files) m.put(name, text);
    EXPECT_EQ(describe(choose_memory_budget(m.sources, 0)), c.expected) << c.what;
  }
}

// The smallest of the rlimits and the user's value wins (ties: the first
// source). Extra threads reserve address space under RLIMIT_AS only.
TEST(MemoryBudget, RlimitsTheUserValueAndTheThreadsReserve) {
  struct Case {
    std::uint64_t as, data, user_mib;
    const char* expected;
    std::uint64_t stack = NONE;
    unsigned extra_threads = 0;
    bool arenas_shared = false;
  } cases[] = {
      {NONE, NONE, 0, "8192 MiB from physical memory"},
      {1024 * MiB, NONE, 0, "1024 MiB from RLIMIT_AS"},
      {1024 * MiB, 512 * MiB, 0, "512 MiB from RLIMIT_DATA"},
      {NONE, 512 * MiB, 300, "300 MiB from option memory"},
      {NONE, NONE, 9000, "8192 MiB from physical memory"},
      {NONE, NONE, UINT64_MAX, "8192 MiB from physical memory"},  // MiB beyond 64 bits
      {256 * MiB, 256 * MiB, 256, "256 MiB from RLIMIT_AS"},      // ties: the first source
      // Two threads: two 64 MiB arenas and two 8 MiB stacks off the limit.
      {1024 * MiB, NONE, 0, "880 MiB from RLIMIT_AS", 8 * MiB, 2},
      {1024 * MiB, NONE, 0, "880 MiB from RLIMIT_AS", NONE, 2},  // unlimited stack: 8 MiB
      {1024 * MiB, NONE, 0, "944 MiB from RLIMIT_AS", 16 * MiB, 1},
      {1024 * MiB, NONE, 0, "1024 MiB from RLIMIT_AS", 8 * MiB, 0},
      // RLIMIT_DATA does not count the arenas' unused reservation.
      {NONE, 1024 * MiB, 0, "1024 MiB from RLIMIT_DATA", 8 * MiB, 2},
      {NONE, NONE, 0, "8192 MiB from physical memory", 8 * MiB, 8},
      // A tight limit loses at most half.
      {200 * MiB, NONE, 0, "100 MiB from RLIMIT_AS", 8 * MiB, 2},
      {20 * MiB, NONE, 0, "10 MiB from RLIMIT_AS", 8 * MiB, 256},
      // Threads that share the main arena reserve only their stacks.
      {1024 * MiB, NONE, 0, "1008 MiB from RLIMIT_AS", 8 * MiB, 2, true},
  };
  for (const Case& c : cases) {
    fake_machine m;
    m.put("cgroup", "0::/\n");
    m.put("v2/memory.max", "max\n");
    m.sources.extra_threads = c.extra_threads;
    m.sources.arenas_shared = c.arenas_shared;
    m.sources.soft_rlimit = [&c](int resource) {
      return resource == RLIMIT_AS      ? c.as
             : resource == RLIMIT_DATA  ? c.data
             : resource == RLIMIT_STACK ? c.stack
                                        : NONE;
    };
    const memory_budget_choice got = choose_memory_budget(m.sources, c.user_mib);
    EXPECT_EQ(describe(got), c.expected)
        << c.as << " " << c.data << " " << c.user_mib << " " << c.stack << " " << c.extra_threads;
    EXPECT_EQ(memory_budget(m.sources, c.user_mib), got.bytes);
  }
}

TEST(MemoryBudget, RealRlimitOfTheProcessIsHonoured) {
  if (kSanitizedBuild)
    GTEST_SKIP() << "the sanitizer's shadow memory already exceeds any small address-space limit";
  // A forked child lowers its own soft RLIMIT_AS and reads the budget with the
  // real getrlimit; the exit status reports what it saw.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    budget_sources sources;
    sources.self_cgroup = "/nonexistent";
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    const rlimit lowered{rlim_t{3} << 30, old.rlim_max};  // 3 GiB soft, hard kept
    if (setrlimit(RLIMIT_AS, &lowered) != 0) _exit(2);
    const memory_budget_choice c = choose_memory_budget(sources, 0);
    const bool as_won =
        c.bytes == lowered.rlim_cur && c.limit == budget_limit::address_space_rlimit;
    _exit(as_won || mem_total() <= lowered.rlim_cur ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
