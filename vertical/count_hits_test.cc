#include "vertical/count_hits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<std::uint32_t> hits_of(const std::vector<std::uint32_t>& counts,
                                   std::uint32_t min_count) {
  std::vector<std::uint32_t> hits(counts.size() + 1, 0xDEADu);
  hits.resize(find_hits(counts.data(), static_cast<std::uint32_t>(counts.size()), min_count,
                        hits.data()));
  return hits;
}

}  // namespace

// Every length around the block of eight (empty, short, whole blocks, blocks
// and a remainder) with hits first, last, at block edges and none: the hits
// are exactly the counts at or above the threshold, in order.
TEST(FindHits, ReturnsExactlyTheCountsAtOrAboveTheThreshold) {
  std::mt19937 rng(3);
  for (std::uint32_t n = 0; n <= 41; ++n) {
    for (int round = 0; round < 20; ++round) {
      const std::uint32_t min_count = 5;
      std::vector<std::uint32_t> counts(n);
      // Mostly below, some exactly at the threshold, some far above.
      for (std::uint32_t& c : counts) {
        const std::uint32_t r = rng() % 10;
        c = r < 7 ? rng() % min_count : (r < 9 ? min_count : 0xFFFFFFF0u);
      }
      if (round == 0) counts.assign(n, min_count - 1);  // none
      if (round == 1) counts.assign(n, min_count);      // all
      std::vector<std::uint32_t> expected;
      for (std::uint32_t j = 0; j < n; ++j)
        if (counts[j] >= min_count) expected.push_back(j);
      ASSERT_EQ(hits_of(counts, min_count), expected) << n << " " << round;
    }
  }
}

// Threshold 0 takes every count, and the top value of a count still compares
// as unsigned (a signed reading would drop it).
TEST(FindHits, ThresholdZeroAndTopCounts) {
  const std::vector<std::uint32_t> counts(19, 0);
  EXPECT_EQ(hits_of(counts, 0).size(), 19u);
  std::vector<std::uint32_t> top(17, 1);
  top[9] = 0x80000000u;
  top[16] = 0xFFFFFFFFu;
  EXPECT_EQ(hits_of(top, 0x7FFFFFFFu), (std::vector<std::uint32_t>{9, 16}));
}
