// The memory budget of a run, in bytes: the smallest of every limit the process
// is subject to. Sources, each ignored when absent or unlimited:
//   physical memory        MemTotal of /proc/meminfo (util/memory.h)
//   RLIMIT_AS, RLIMIT_DATA soft limits from getrlimit (RLIM_INFINITY: none)
//   cgroup v2 memory.max   of the process's cgroup ("0::/path" in /proc/self/cgroup)
//                          and of each ancestor up to the root ("max": none)
//   cgroup v1 memory.limit_in_bytes  likewise, for the line naming the "memory"
//                          controller (values of 2^60 or more: none)
//   the user's value       in MiB (0: none)
// A cgroup whose directory is not visible (a container shows the host's path)
// is found through its visible ancestors, down to the mount point itself.
// Every file location and the rlimit probe can be replaced, so a test runs on
// fake files.
#pragma once

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

memory_budget_choice choose_memory_budget(const budget_sources& sources, std::uint64_t user_mib);
std::uint64_t memory_budget(const budget_sources& sources, std::uint64_t user_mib);

// A short name for a progress or README line: "physical memory", "RLIMIT_AS",
// "RLIMIT_DATA", "cgroup memory.max", "cgroup memory.limit_in_bytes", "option memory".
const char* budget_limit_name(budget_limit limit);
