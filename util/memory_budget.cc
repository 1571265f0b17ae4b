#include "util/memory_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "util/memory.h"

namespace {

constexpr std::uint64_t NO_LIMIT = std::numeric_limits<std::uint64_t>::max();

// cgroup v1 writes "no limit" as the largest page-aligned signed 64-bit value
// (9223372036854771712 with 4 KiB pages); anything this large is no limit.
constexpr std::uint64_t V1_UNLIMITED_FROM = std::uint64_t{1} << 60;

// The address space the C library reserves for each thread's malloc arena on
// a 64-bit machine, and the stack a thread gets when RLIMIT_STACK is unlimited.
constexpr std::uint64_t ARENA_RESERVATION = std::uint64_t{64} << 20;
constexpr std::uint64_t DEFAULT_THREAD_STACK = std::uint64_t{8} << 20;

// The whole of a small text file into text; false when it cannot be opened.
// Read with stdio: in the statically linked program the streams' locale
// machinery alone took about half a megabyte of resident code.
bool read_small_file(const std::string& name, std::string* text) {
  std::FILE* file = std::fopen(name.c_str(), "r");
  if (file == nullptr) return false;
  text->clear();
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    text->append(buffer, got);
  std::fclose(file);
  return true;
}

// Whether the comma-separated list holds name.
bool list_holds(const std::string& list, const std::string& name) {
  for (std::size_t start = 0;;) {
    const std::size_t comma = list.find(',', start);
    if (list.compare(start, comma == std::string::npos ? std::string::npos : comma - start,
                     name) == 0)
      return true;
    if (comma == std::string::npos) return false;
    start = comma + 1;
  }
}

// The cgroup path of the v2 line ("0::/path") or of the v1 line whose
// controller list holds "memory"; false when there is no such line.
bool cgroup_path(const std::string& self_cgroup, bool v2, std::string* path) {
  std::string text;
  if (!read_small_file(self_cgroup, &text)) return false;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t first = line.find(':');
    if (first == std::string::npos) continue;
    const std::size_t second = line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string id = line.substr(0, first);
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const bool wanted =
        v2 ? id == "0" && controllers.empty() : list_holds(controllers, "memory");
    if (wanted) {
      *path = line.substr(second + 1);
      return true;
    }
  }
  return false;
}

// The number a limit file holds (its first word), or NO_LIMIT for "max", a
// missing file or text that is not a plain decimal number.
std::uint64_t read_limit_file(const std::string& name) {
  std::string text;
  if (!read_small_file(name, &text)) return NO_LIMIT;
  const char* blanks = " \t\n\v\f\r";
  const std::size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string::npos) return NO_LIMIT;
  const std::string word = text.substr(begin, text.find_first_of(blanks, begin) - begin);
  if (word.find_first_not_of("0123456789") != std::string::npos) return NO_LIMIT;
  errno = 0;
  const unsigned long long value = std::strtoull(word.c_str(), nullptr, 10);
  return errno == ERANGE ? NO_LIMIT : value;
}

// The smallest limit in file_name of the cgroup at path and of its ancestors
// (a child cannot use more than its parent allows).
std::uint64_t cgroup_limit(const std::string& root, std::string path,
                           const std::string& file_name) {
  std::uint64_t smallest = NO_LIMIT;
  while (true) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    const std::uint64_t here = read_limit_file(root + path + "/" + file_name);
    if (here < smallest) smallest = here;
    if (path.empty()) break;
    const std::size_t slash = path.rfind('/');
    path.erase(slash == std::string::npos ? 0 : slash);
  }
  return smallest;
}

}  // namespace

std::uint64_t budget_sources::current_soft_rlimit(int resource) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return NO_LIMIT;
  return limit.rlim_cur;
}

std::uint64_t thread_address_space(const budget_sources& sources) {
  const std::uint64_t stack = sources.soft_rlimit(RLIMIT_STACK);
  return (sources.arenas_shared ? 0 : ARENA_RESERVATION) +
         (stack == NO_LIMIT ? DEFAULT_THREAD_STACK : stack);
}

memory_budget_choice choose_memory_budget(const budget_sources& sources, std::uint64_t user_mib) {
  memory_budget_choice choice;
  choice.bytes = sources.meminfo.empty() ? mem_total() : mem_total_from(sources.meminfo);
  const auto consider = [&choice](std::uint64_t bytes, budget_limit limit) {
    if (bytes < choice.bytes) choice = {bytes, limit};
  };
  const std::uint64_t as = sources.soft_rlimit(RLIMIT_AS);
  if (as != NO_LIMIT) {
    const std::uint64_t threads =
        std::uint64_t{sources.extra_threads} * thread_address_space(sources);
    consider(as - std::min(as / 2, threads), budget_limit::address_space_rlimit);
  }
  consider(sources.soft_rlimit(RLIMIT_DATA), budget_limit::data_rlimit);
  std::string path;
  if (cgroup_path(sources.self_cgroup, true, &path))
    consider(cgroup_limit(sources.cgroup_v2_root, path, "memory.max"), budget_limit::cgroup_v2);
  if (cgroup_path(sources.self_cgroup, false, &path)) {
    const std::uint64_t v1 =
        cgroup_limit(sources.cgroup_v1_memory_root, path, "memory.limit_in_bytes");
    if (v1 < V1_UNLIMITED_FROM) consider(v1, budget_limit::cgroup_v1);
  }
  // MiB above 2^44 would overflow the shift; such a value limits nothing anyway.
  if (user_mib != 0 && user_mib < (std::uint64_t{1} << 44))
    consider(user_mib << 20, budget_limit::user_option);
  return choice;
}

std::uint64_t memory_budget(const budget_sources& sources, std::uint64_t user_mib) {
  return choose_memory_budget(sources, user_mib).bytes;
}

const char* budget_limit_name(budget_limit limit) {
  switch (limit) {
    case budget_limit::physical_memory:
      return "physical memory";
    case budget_limit::address_space_rlimit:
      return "RLIMIT_AS";
    case budget_limit::data_rlimit:
      return "RLIMIT_DATA";
    case budget_limit::cgroup_v2:
      return "cgroup memory.max";
    case budget_limit::cgroup_v1:
      return "cgroup memory.limit_in_bytes";
    case budget_limit::user_option:
      return "option memory";
  }
  return "unknown";
}
