#include "vertical/count_hits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<std::uint32_t> hits_of(const std::vector<std::uint32_t>& counts,
                                   std::uint32_t min_count) {
  std::vector<std::uint32_t> hits(counts.size() + 1, 0xDEADu);
  hits.resize(
      find_hits(counts.data(), static_cast<std::uint32_t>(counts.size()), min_count, hits.data()));
  return hits;
}

}  // namespace

// Every length around the block of eight (empty, short, whole blocks, blocks
// and a remainder) with hits first, last, at block edges and none: the hits
// are exactly the counts at or above the threshold, in order. Counts near the
// top still compare as unsigned (a signed reading would drop them), and
// threshold 0 takes every count.
TEST(FindHits, ReturnsExactlyTheCountsAtOrAboveTheThreshold) {
  std::mt19937 rng(3);
  for (std::uint32_t n = 0; n <= 41; ++n) {
    for (int round = 0; round < 24; ++round) {
      const std::uint32_t min_count = round % 8 == 7 ? 0 : 5;
      std::vector<std::uint32_t> counts(n);
      // Mostly below, some exactly at the threshold, some far above.
      for (std::uint32_t& c : counts) {
        const std::uint32_t r = rng() % 10;
        c = r < 7 ? rng() % 5 : (r < 9 ? 5 : 0xFFFFFFF0u + rng() % 16);
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
