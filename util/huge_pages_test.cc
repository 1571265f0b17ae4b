#include "util/huge_pages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/mappings.h"

namespace {

// Memory marked for small pages loses the huge-page mark: arrays filled from
// the front would otherwise gain 2 MiB at every boundary they cross.
TEST(HugePages, KeepSmallPagesTakesTheMarkOff) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers keep their own operator new";
#else
  std::ifstream probe("/proc/self/smaps");
  if (!probe) GTEST_SKIP() << "no /proc/self/smaps";
  // kestrel_tests links the programs' operator new, which marks the block.
  const std::size_t bytes = std::size_t{16} << 20;
  auto large = std::make_unique<char[]>(bytes);
  keep_small_pages(large.get(), bytes);
  const std::string flags = flags_of_mapping_holding(large.get() + (std::size_t{8} << 20));
  ASSERT_NE(flags, "");
  EXPECT_EQ(flags.find(" hg"), std::string::npos) << flags;
  EXPECT_NE(flags.find(" nh"), std::string::npos) << flags;
  // A null or too small range is left alone.
  keep_small_pages(nullptr, bytes);
  keep_small_pages(large.get(), 4096);
#endif
}

}  // namespace
