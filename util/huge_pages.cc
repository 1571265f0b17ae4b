// The free store backs large blocks with huge pages (2 MiB) where the kernel
// gives them on request: transparent huge pages in "madvise" mode, the default
// of many distributions, hand them only to ranges marked MADV_HUGEPAGE.
//
// The miner reads its tables indexed by item (supports, dense ids, labels,
// counters, ranks) at random. With a million items each is megabytes, and with
// 4 KiB pages nearly every such read misses the TLB as well as the cache: on the
// million-item benchmark the run took 25 % more CPU time without huge pages.
// Blocks of 2 MiB or more are marked after malloc, as glibc does for its own
// large chunks when asked to (glibc.malloc.hugetlb=1); a block reused after a
// free keeps its mark, which is harmless. Only whole aligned huge pages inside
// a block are marked, so the mark never reaches memory the block does not own.
// Sanitizer builds keep their own operator new.
#include "util/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

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

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

namespace {

void* allocate(std::size_t n) {
  if (n == 0) n = 1;
  void* p = std::malloc(n);
  while (p == nullptr) {
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
    p = std::malloc(n);
  }
  if (n >= kHugePage) {
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t begin = (at + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (at + n) & ~(kHugePage - 1);
    // Advice only: a kernel without huge pages refuses it and nothing changes.
    if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
  return p;
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#endif
