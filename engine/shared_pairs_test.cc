#include "engine/shared_pairs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/thread_ranks.h"

namespace {

using taken = std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>;

std::vector<std::vector<std::uint16_t>> random_transactions(unsigned seed, int n_trans,
                                                            std::uint32_t n) {
  std::mt19937 rng(seed);
  std::vector<std::vector<std::uint16_t>> all;
  for (int t = 0; t < n_trans; ++t) {
    std::vector<std::uint16_t> items;
    // A few popular items make pairs frequent on one rank and rare on another.
    const int len = 2 + static_cast<int>(rng() % 6);
    for (int i = 0; i < len; ++i)
      items.push_back(static_cast<std::uint16_t>(rng() % 3 == 0 ? rng() % 8 : rng() % n));
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    if (items.size() >= 2) all.push_back(items);
  }
  return all;
}

// Each rank's part of the transactions counted on its rank, against every
// transaction counted by one process: every rank takes exactly the frequent
// pairs, in order, with the supports of the whole. Some ranks hold nothing;
// a small room forces a round per row; min_count 1 takes every pair that occurs.
TEST(SharedPairs, EveryRankTakesTheFrequentPairsOfTheWhole) {
  const std::uint32_t n = 300;
  const auto all = random_transactions(5, 2000, n);
  for (std::uint32_t min_count : {1u, 2u, 5u, 9u}) {
    occurring_pairs<std::uint16_t> whole(n, 0, n, 0);
    for (const auto& t : all) whole.add(t.data(), static_cast<std::uint32_t>(t.size()));
    taken expected;
    whole.for_each_row([&](std::uint32_t a, const std::uint16_t* seconds,
                           const std::uint32_t* counts, std::size_t m) {
      for (std::size_t i = 0; i < m; ++i)
        if (counts[i] >= min_count) expected.emplace_back(a, seconds[i], counts[i]);
    });
    ASSERT_GT(expected.size(), 20u);
    for (int ranks : {2, 3, 4}) {
      for (std::uint64_t room : {std::uint64_t{1} << 30, std::uint64_t{0}, std::uint64_t{600}}) {
        SCOPED_TRACE(std::to_string(ranks) + " ranks, min_count " + std::to_string(min_count) +
                     ", room " + std::to_string(room));
        std::vector<taken> got(static_cast<std::size_t>(ranks));
        thread_ranks(ranks).run([&](int r, cluster& peers) {
          occurring_pairs<std::uint16_t> own(n, 0, n, 0);
          // Rank 1 of 4 holds nothing; the others take turns.
          for (std::size_t t = 0; t < all.size(); ++t) {
            int owner = static_cast<int>(t % static_cast<std::size_t>(ranks));
            if (ranks == 4 && owner == 1) owner = 0;
            if (owner == r) own.add(all[t].data(), static_cast<std::uint32_t>(all[t].size()));
          }
          take_shared_pairs<std::uint16_t>(
              peers, own, n, min_count, room,
              [&](std::uint32_t a, std::uint32_t b, std::uint32_t support) {
                got[static_cast<std::size_t>(r)].emplace_back(a, b, support);
              });
        });
        for (int r = 0; r < ranks; ++r) EXPECT_EQ(got[static_cast<std::size_t>(r)], expected) << r;
      }
    }
  }
}

TEST(SharedPairs, RoundsHoldWhatTheRoomTakesAndAtLeastOneRow) {
  // 12 bytes a key: 120 bytes take 10.
  EXPECT_EQ(cut_exchange_rounds({4, 4, 4, 0, 9, 30, 1}, 120),
            (std::vector<std::uint32_t>{0, 2, 4, 5, 6, 7}));
  EXPECT_EQ(cut_exchange_rounds({0, 0, 3}, 0), (std::vector<std::uint32_t>{0, 3}));
  EXPECT_EQ(cut_exchange_rounds({}, 100), (std::vector<std::uint32_t>{0, 0}));
}

}  // namespace
