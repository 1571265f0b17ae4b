// Huge pages are the program's choice (driver/program_allocator.cc marks the
// large blocks of its operator new); this file only takes the mark off arrays
// that are better without it.
#include "util/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;

}  // namespace

void keep_small_pages(const void* begin, std::size_t bytes) {
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t first = (at + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (at + bytes) & ~(kHugePage - 1);
  if (begin != nullptr && first < end)
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_NOHUGEPAGE);
}
