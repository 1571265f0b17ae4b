// The memory budget of a run, in bytes: the smallest of every limit the process
// is subject to. Sources, each ignored when absent or unlimited:
//   physical memory        MemTotal of /proc/meminfo (util/memory.h)
//   RLIMIT_AS, RLIMIT_DATA soft limits from getrlimit (RLIM_INFINITY: none)
//   cgroup v2 memory.max   of the process's cgroup ("0::/path" in /proc/self/cgroup)
//                          and of each ancestor up to the root ("max": none)
//   cgroup v1 memory.limit_in_bytes  likewise, for the line naming the "memory"
//                          controller (values of 2^60 or more: none)
//   the user's value       in MiB (0: none)
// Under RLIMIT_AS the address space that the run's extra threads reserve comes
// off the limit first: each thread's stack, and, unless the threads share the
// main allocation arena (the programs make them: driver/program_allocator.h),
// the arena the C library
// maps for it (64 MiB of address space, however little it holds). At most half
// the limit comes off: under a limit that tight the system refuses the thread
// or its arena, and the levels do without.
// A cgroup whose directory is not visible (a container shows the host's path)
// is found through its visible ancestors, down to the mount point itself.
// Every file location and the rlimit probe can be replaced, so a test runs on
// fake files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct budget_sources {
  std::string meminfo;  // empty: /proc/meminfo
  std::string self_cgroup = "/proc/self/cgroup";
  std::string cgroup_v2_root = "/sys/fs/cgroup";
  std::string cgroup_v1_memory_root = "/sys/fs/cgroup/memory";
  // Soft limit in bytes of RLIMIT_AS or RLIMIT_DATA; UINT64_MAX when unlimited.
  std::function<std::uint64_t(int resource)> soft_rlimit = current_soft_rlimit;
  // Threads the run may start besides the calling one (0: none), and whether
  // they share the main allocation arena.
  unsigned extra_threads = 0;
  bool arenas_shared = false;

  static std::uint64_t current_soft_rlimit(int resource);  // getrlimit
};

// Which source set the budget. On a tie the earlier one in this order wins.
enum class budget_limit {
  physical_memory,
  address_space_rlimit,
  data_rlimit,
  cgroup_v2,
  cgroup_v1,
  user_option
};

struct memory_budget_choice {
  std::uint64_t bytes = 0;
  budget_limit limit = budget_limit::physical_memory;
};

// Address space one extra thread may reserve: its stack (the soft
// RLIMIT_STACK, 8 MiB when that is unlimited) and its own allocation arena.
std::uint64_t thread_address_space(const budget_sources& sources);

memory_budget_choice choose_memory_budget(const budget_sources& sources, std::uint64_t user_mib);
std::uint64_t memory_budget(const budget_sources& sources, std::uint64_t user_mib);

// A short name for a progress or README line: "physical memory", "RLIMIT_AS",
// "RLIMIT_DATA", "cgroup memory.max", "cgroup memory.limit_in_bytes", "option memory".
const char* budget_limit_name(budget_limit limit);
