#include "util/memory.h"

#include <cstdio>
#include <cstring>

namespace {

// Scans "word number" pairs until the word equals key; false when the file
// cannot be opened or has no such key.
bool read_key(const char* path, const char* key, std::uint64_t* value) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char word[256];
  unsigned long long number = 0;
  bool found = false;
  while (true) {
    int got = std::fscanf(f, "%255s", word);
    if (got != 1) break;
    if (std::strcmp(word, key) == 0) {
      found = std::fscanf(f, "%llu", &number) == 1;
      break;
    }
  }
  std::fclose(f);
  if (found) *value = number;
  return found;
}

}  // namespace

std::uint64_t mem_total_from(const std::string& meminfo_path) {
  std::uint64_t kb = 0;
  if (!read_key(meminfo_path.c_str(), "MemTotal:", &kb)) return 67108864ULL;
  return kb << 10;
}

std::uint64_t mem_total() { return mem_total_from("/proc/meminfo"); }
