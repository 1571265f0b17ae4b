// The free store of the programs backs large blocks with huge pages (2 MiB)
// where the kernel gives them on request: transparent huge pages in "madvise"
// mode, the default of many distributions, hand them only to ranges marked
// MADV_HUGEPAGE.
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
#include "driver/program_allocator.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "util/memory_budget.h"
#include "util/processors.h"

namespace {

// Makes every thread allocate from the main arena (glibc's M_ARENA_MAX of 1),
// so that threads reserve no arena's address space: under an address-space
// limit two arenas' 128 MiB would be most of the limit. Returns whether the C
// library took it.
bool share_one_allocation_arena() { return mallopt(M_ARENA_MAX, 1) == 1; }

// Blocks of at least this many bytes get mappings of their own from the C
// library, and go back to the system when freed.
constexpr int kOwnMappingBytes = 1 << 20;

// Fixes glibc's threshold for a mapping of its own at kOwnMappingBytes (and so
// its trim threshold at the default). Left to itself the library raises the
// threshold to the size of each mapped block freed, up to 32 MiB: the arrays of
// a level freed once its successor is built would raise it, and the next
// levels' arrays below it would then come from the heap, where memory freed
// stays with the process (mushroom sigma 100: 11 MiB of the peak) and room
// reserved but never filled lies in pages touched before.
void map_large_blocks_apart() { mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes); }

}  // namespace

void use_program_allocator(kestrel::run_description& d) {
  map_large_blocks_apart();
  // Under an address-space limit an arena per thread would reserve 64 MiB of
  // it each.
  const unsigned threads = d.threads == 0 ? usable_processors() : d.threads;
  if (threads > 1 && budget_sources::current_soft_rlimit(RLIMIT_AS) != UINT64_MAX)
    d.threads_share_one_arena = share_one_allocation_arena();
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;

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
