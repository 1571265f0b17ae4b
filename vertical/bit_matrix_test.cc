#include "vertical/bit_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "tests/support/thread_ranks.h"
#include "vertical/bit_kernels.h"

namespace {

using tx_list = std::vector<std::vector<std::uint8_t>>;

constexpr std::uint64_t kAmpleMemory = std::uint64_t{1} << 30;

// A filled dataset of n_items rows over the transactions (ascending items).
bit_matrix<std::uint8_t> make_vd(std::uint32_t n_items, const tx_list& trans) {
  bit_matrix<std::uint8_t> vd;
  EXPECT_TRUE(vd.fits_in_memory(n_items, static_cast<std::uint32_t>(trans.size()), kAmpleMemory));
  vd.allocate();
  for (std::uint32_t t = 0; t < trans.size(); ++t)
    vd.add_transaction(trans[t].data(), static_cast<std::uint32_t>(trans[t].size()), t);
  return vd;
}

// Rows given by a predicate over (item, transaction).
tx_list transactions_of(std::uint32_t n_items, std::uint32_t n_trans,
                        const std::function<bool(std::uint32_t, std::uint32_t)>& has) {
  tx_list trans(n_trans);
  for (std::uint32_t t = 0; t < n_trans; ++t)
    for (std::uint32_t i = 0; i < n_items; ++i)
      if (has(i, t)) trans[t].push_back(static_cast<std::uint8_t>(i));
  return trans;
}

TEST(VerticalDataset, MemoryRuleUsesAThirdOfMemoryWithoutOverflow) {
  struct Case {
    std::uint64_t mem;
    std::uint32_t items, trans;
    bool allowed;
    std::uint32_t words;
    std::uint64_t size;
  };
  const std::uint64_t fallback = 67108864;  // limit 22369621 bytes
  const std::vector<Case> cases = {
      {fallback, 7, 0, true, 0, 0},                 // no transaction: nothing to allocate
      {fallback, 5592405, 32, true, 1, 22369620},   // just below the limit
      {fallback, 5592406, 32, false, 1, 22369624},  // just above
      {fallback, 1, 33, true, 2, 8},                // words round up
      {fallback, 4000000000u, 4000000000u, false, 125000000, 2000000000000000000ULL},
      {std::uint64_t{24} << 30, 65536, 4294967295u, false, 134217728, 35184372088832ULL},
      {std::uint64_t{24} << 30, 1000, 1000000, true, 31250, 125000000},
  };
  for (const Case& c : cases) {
    bit_matrix<std::uint16_t> vd;
    EXPECT_EQ(vd.fits_in_memory(c.items, c.trans, c.mem), c.allowed) << c.items << " " << c.trans;
    EXPECT_EQ(vd.n_words, c.words);
    EXPECT_EQ(vd.n_items, c.items);
    EXPECT_EQ(vd.size_bytes, c.size);
    if (c.trans > 0) continue;
    // No transaction: nothing allocated, yet the matrix counts as allocated.
    EXPECT_FALSE(vd.allocated());
    vd.allocate();
    EXPECT_TRUE(vd.allocated());
    EXPECT_EQ(vd.try_make_compact(c.items), 0);
  }
}

// 640 positions (20 words); the last item is in every transaction. Item n-2
// agrees with it on `agree` positions (its first ones); lower items agree with
// it on `low_agree` positions and items below n - section on none.
struct compact_case {
  const char* name;
  std::uint32_t n;
  std::uint32_t agree;    // item n-2, and the other section items
  std::uint32_t section;  // items from n - section up agree like item n-2
  bool expected;
  tx_list transactions() const {
    return transactions_of(n, 640, [&](std::uint32_t i, std::uint32_t t) {
      if (i == n - 1) return true;
      if (i + section >= n) return t < agree;
      return false;
    });
  }
};

std::vector<compact_case> compact_cases() {
  return {
      {"one item", 1, 640, 1, false},
      {"exactly 95.0 percent", 10, 608, 2, true},
      {"just below 95 percent", 10, 607, 2, false},
      {"2 items at 95 percent", 2, 608, 2, true},
      {"20 items at 94 percent: no threshold lowered", 20, 602, 5, false},
      {"20 items at 99 percent", 20, 634, 5, true},
      {"4 of 40 at 81 percent: shorter than 40/7", 40, 519, 4, false},
      {"5 of 40 at 81 percent", 40, 519, 5, true},
  };
}

// One process decides by the agreement of the most frequent items. Ranks
// that hold parts of the transactions (uneven, one of them none, the padding
// of each in other words) find the section one process finds, and each moves
// a head of identical words to the front of its section rows.
TEST(CompactTest, DecidesByTheAgreementOfTheMostFrequentItemsOnEveryRank) {
  const std::vector<std::vector<std::uint32_t>> splits = {
      {0, 333, 640}, {0, 31, 608, 640}, {0, 0, 640}, {0, 320, 320, 640}};
  for (const compact_case& c : compact_cases()) {
    const tx_list all = c.transactions();
    auto one = make_vd(c.n, all);
    EXPECT_EQ(one.try_make_compact(c.n), c.expected) << c.name;
    EXPECT_EQ(one.is_compact, c.expected) << c.name;
    if (c.expected) {
      EXPECT_EQ(one.compact_first, c.n - c.section) << c.name;
      EXPECT_EQ(one.compact_words, c.agree / 32) << c.name;
    } else {
      EXPECT_EQ(one.compact_words, 0u) << c.name;
      EXPECT_GT(one.compact_first, c.n) << c.name;
    }
    for (const auto& cut : splits) {
      const int ranks = static_cast<int>(cut.size()) - 1;
      std::vector<int> found(static_cast<std::size_t>(ranks));
      std::vector<std::uint32_t> first(found.size());
      thread_ranks(ranks).run([&](int r, cluster& peers) {
        const tx_list part(all.begin() + cut[static_cast<std::size_t>(r)],
                           all.begin() + cut[static_cast<std::size_t>(r) + 1]);
        auto vd = make_vd(c.n, part);
        found[static_cast<std::size_t>(r)] =
            vd.try_make_compact_shared(c.n, static_cast<std::uint32_t>(part.size()), 20, peers);
        first[static_cast<std::size_t>(r)] = vd.compact_first;
        for (std::uint32_t i = vd.compact_first; i < c.n && vd.is_compact; ++i)
          for (std::uint32_t w = 0; w < vd.compact_words; ++w)
            EXPECT_EQ(vd.row(i)[w], vd.row(c.n - 1)[w]) << c.name << ", rank " << r;
      });
      for (int r = 0; r < ranks; ++r) {
        EXPECT_EQ(found[static_cast<std::size_t>(r)], c.expected) << c.name << ", rank " << r;
        EXPECT_EQ(first[static_cast<std::size_t>(r)], one.compact_first) << c.name;
      }
    }
  }
}

// The kernels agree with each other on odd lengths and offsets.
TEST(Intersections, EveryKernelCountsAlike) {
  std::mt19937 rng(11);
  const bits::kernel_table* tables[3];
  const int n_tables = bits::available_kernels(tables, 3);
  std::vector<std::uint32_t> a(37), b(37), out(37);
  for (auto& x : a) x = rng();
  for (auto& x : b) x = rng();
  for (std::size_t off = 0; off < 3; ++off) {
    const std::size_t len = a.size() - off;
    const std::uint64_t want =
        tables[n_tables - 1]->and_count(a.data() + off, b.data() + off, out.data(), len);
    for (int t = 0; t < n_tables; ++t) {
      EXPECT_EQ(tables[t]->and_count(a.data() + off, b.data() + off, out.data(), len), want)
          << tables[t]->name;
      EXPECT_EQ(tables[t]->count(out.data(), len), want) << tables[t]->name;
    }
  }
}

TEST(Intersections, ZeroPrefixAndAlternatingRunsFitTheRunList) {
  // 7 words; items 0 and 1 meet only in words 0, 2, 4 and 6: four runs, the
  // most a 7-word row can have. Item 2 and 3 never meet item 0.
  const std::uint32_t n_trans = 7 * 32;
  tx_list trans = transactions_of(5, n_trans, [](std::uint32_t i, std::uint32_t t) {
    const std::uint32_t w = t / 32;
    if (i <= 1) return w % 2 == 0 || i == 1;
    if (i == 2 || i == 3) return w % 2 == 1;
    return t % 3 == 0;
  });
  auto vd = make_vd(5, trans);
  intersection_stats stats;
  vd.start_iteration(3, true);
  std::uint32_t count = 0;
  const std::uint8_t c014[] = {0, 1, 4};
  vd.candidate_is_frequent_diffuse(c014, 0, 3, 1, count, stats, false);
  EXPECT_EQ(vd.scratch.n_runs, 4u);
  EXPECT_EQ(stats.nonzero_words, 4);
  EXPECT_EQ(count, 43u);  // multiples of 3 in words 0, 2, 4 and 6
  const std::uint8_t c023[] = {0, 2, 3};
  vd.candidate_is_frequent_diffuse(c023, 0, 3, 1, count, stats, false);
  EXPECT_EQ(vd.scratch.n_runs, 0u);
  EXPECT_EQ(count, 0u);
  const std::uint8_t c024[] = {0, 2, 4};
  vd.candidate_is_frequent_diffuse(c024, 2, 3, 1, count, stats, false);
  EXPECT_EQ(count, 0u);
}

TEST(Pruning, CheckPruningRoundsSetBitsUpToWords) {
  struct Case {
    std::uint32_t bits;
    std::uint32_t words;
  };
  for (const Case& c : std::vector<Case>{{0, 0}, {1, 1}, {32, 1}, {33, 2}, {100, 4}}) {
    bit_matrix<std::uint8_t> vd;
    ASSERT_TRUE(vd.fits_in_memory(1, 320, kAmpleMemory));
    vd.allocate();
    // Spread the bits over the mask: every third position.
    for (std::uint32_t b = 0; b < c.bits; ++b)
      vd.scratch.pruning_mask[(3 * b) / 32] |= 1u << ((3 * b) % 32);
    EXPECT_EQ(vd.check_pruning(), c.words) << c.bits;
  }
}

}  // namespace
