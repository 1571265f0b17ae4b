#include "util/page_release.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

std::size_t page_bytes() {
  static const std::size_t bytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return bytes;
}

std::size_t release_pages(const void* begin, const void* end) {
  const std::uintptr_t page = page_bytes();
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t e = reinterpret_cast<std::uintptr_t>(end);
  // Rounded inward: the first page that starts at or after begin, the last
  // that ends at or before end.
  const std::uintptr_t first = (b + page - 1) & ~(page - 1);
  const std::uintptr_t last = e & ~(page - 1);
  if (e <= b || last <= first) return 0;
  // A refusal (a locked page, say) only leaves the memory resident: the
  // contents are what they were, which is as correct.
  if (madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0) return 0;
  return last - first;
}
