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

TEST(PageRelease, OnlyWholePagesInsideTheRangeGoBack) {
  const std::size_t page = page_bytes();
  filled_pages m(6);
  // From the middle of page 1 to the middle of page 4: pages 2 and 3 are whole.
  const std::size_t released = release_pages(m.data + page + 100, m.data + 4 * page + 50);
  EXPECT_EQ(released, 2 * page);
  EXPECT_EQ(resident(m.data, 6), 4u);
  for (std::size_t i = 0; i < m.bytes; ++i) {
    const bool inside = i >= 2 * page && i < 4 * page;
    ASSERT_EQ(m.data[i], inside ? 0 : 0xAB) << "byte " << i;
  }
}

TEST(PageRelease, ARangeWithoutAWholePageReleasesNothing) {
  const std::size_t page = page_bytes();
  filled_pages m(3);
  EXPECT_EQ(release_pages(m.data + 1, m.data + page + 10), 0u);
  EXPECT_EQ(release_pages(m.data + 2 * page, m.data + page), 0u);  // reversed
  EXPECT_EQ(release_pages(m.data + page, m.data + page), 0u);      // empty
  EXPECT_EQ(resident(m.data, 3), 3u);
  for (std::size_t i = 0; i < m.bytes; ++i) ASSERT_EQ(m.data[i], 0xAB) << "byte " << i;
}

TEST(PageRelease, AlignedEndsReleaseExactlyTheirPages) {
  const std::size_t page = page_bytes();
  filled_pages m(4);
  EXPECT_EQ(release_pages(m.data + page, m.data + 3 * page), 2 * page);
  EXPECT_EQ(m.data[page - 1], 0xAB);
  EXPECT_EQ(m.data[page], 0);
  EXPECT_EQ(m.data[3 * page - 1], 0);
  EXPECT_EQ(m.data[3 * page], 0xAB);
  // A released page can be written again and keeps what is written.
  m.data[page] = 7;
  EXPECT_EQ(m.data[page], 7);
}

}  // namespace
