#include "util/page_release.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A private anonymous mapping of n pages, every byte 0xAB.
struct filled_pages {
  explicit filled_pages(std::size_t n) : bytes(n * page_bytes()) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(p, MAP_FAILED);
    data = static_cast<unsigned char*>(p);
    std::memset(data, 0xAB, bytes);
  }
  ~filled_pages() { munmap(data, bytes); }
  std::size_t bytes;
  unsigned char* data;
};

// Resident pages of [p, p + n pages), from mincore.
std::size_t resident(const unsigned char* p, std::size_t n) {
  std::vector<unsigned char> in(n);
  EXPECT_EQ(mincore(const_cast<unsigned char*>(p), n * page_bytes(), in.data()), 0);
  std::size_t r = 0;
  for (unsigned char c : in) r += c & 1;
  return r;
}

// Ranges in bytes from the start of six filled pages: only the whole pages
// inside a range go back (and read zeros), the bytes around them are kept.
TEST(PageRelease, OnlyWholePagesInsideTheRangeGoBack) {
  const std::size_t page = page_bytes();
  struct Case {
    std::size_t from, to;    // bytes
    std::size_t first, end;  // the pages released
  } cases[] = {
      {page + 100, 4 * page + 50, 2, 4},  // pages 2 and 3 are whole
      {page, 3 * page, 1, 3},             // aligned ends: exactly their pages
      {1, page + 10, 0, 0},               // no whole page
      {2 * page, page, 0, 0},             // reversed
      {page, page, 0, 0},                 // empty
  };
  for (const Case& c : cases) {
    filled_pages m(6);
    EXPECT_EQ(release_pages(m.data + c.from, m.data + c.to), (c.end - c.first) * page) << c.from;
    EXPECT_EQ(resident(m.data, 6), 6 - (c.end - c.first)) << c.from;
    for (std::size_t i = 0; i < m.bytes; ++i) {
      const bool inside = i >= c.first * page && i < c.end * page;
      ASSERT_EQ(m.data[i], inside ? 0 : 0xAB) << c.from << ", byte " << i;
    }
    // A released page can be written again and keeps what is written.
    m.data[c.first * page] = 7;
    EXPECT_EQ(m.data[c.first * page], 7);
  }
}

}  // namespace
