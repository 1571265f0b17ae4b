#include "tests/support/mappings.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

std::string flags_of_mapping_holding(const void* p) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  std::ifstream smaps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t lo = 0, hi = 0;
    // A mapping's first line is "lo-hi perms ..."; its fields follow as "Name: value".
    if (std::sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2 && line.find(':') > line.find(' ')) {
      inside = lo <= at && at < hi;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}
