#include "vertical/tid_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "tests/support/run_error_of.h"
#include "vertical/bit_matrix.h"
#include "vertical/vertical_dataset.h"

namespace {

using tx_list = std::vector<std::vector<std::uint16_t>>;
using positions = std::vector<std::uint32_t>;

// n random ascending positions below limit.
positions random_positions(std::mt19937& rng, std::size_t n, std::uint32_t limit) {
  positions p(n);
  for (std::uint32_t& x : p) x = rng() % limit;
  std::sort(p.begin(), p.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  return p;
}

// Each item i is in a transaction with probability pct[i % size] percent.
tx_list random_transactions(std::mt19937& rng, std::uint32_t n_items, std::uint32_t n_trans,
                            const std::vector<std::uint32_t>& pct) {
  tx_list trans(n_trans);
  for (auto& t : trans)
    for (std::uint32_t i = 0; i < n_items; ++i)
      if (rng() % 100 < pct[i % pct.size()]) t.push_back(static_cast<std::uint16_t>(i));
  return trans;
}

template <class Data>
void fill(Data& data, const tx_list& trans) {
  for (std::uint32_t t = 0; t < trans.size(); ++t)
    data.add_transaction(trans[t].data(), static_cast<std::uint32_t>(trans[t].size()), t);
}

TEST(TidIntersection, MatchesTheSetIntersectionAtEveryLengthRatio) {
  // Ratios below and above the switch to exponential search, short lists
  // against long ones on either side, and empty lists.
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    const std::size_t na = rng() % (round % 4 == 0 ? 3 : 60);
    const std::size_t nb = rng() % (round % 2 == 0 ? 3000 : 80);
    const std::uint32_t limit = 1 + static_cast<std::uint32_t>(rng() % 4000);
    positions a = random_positions(rng, na, limit), b = random_positions(rng, nb, limit);
    if (round % 3 == 0) std::swap(a, b);
    positions expected;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(expected));
    positions out(std::min(a.size(), b.size()) + 1, 0xDEADBEEFu);
    const std::size_t n = tids::intersect_into(a.data(), a.size(), b.data(), b.size(), out.data());
    ASSERT_EQ(positions(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), expected)
        << round;
    EXPECT_EQ(out.back(), 0xDEADBEEFu) << "wrote past min(na, nb), round " << round;
    // The count is exact from at_least on, and below at_least otherwise.
    for (std::size_t at_least :
         {std::size_t{1}, expected.size(), expected.size() + 1, std::size_t{7}}) {
      const std::size_t c = tids::intersect_count(a.data(), a.size(), b.data(), b.size(), at_least);
      if (expected.size() >= at_least)
        ASSERT_EQ(c, expected.size()) << round << " at least " << at_least;
      else
        ASSERT_LT(c, at_least) << round << " at least " << at_least;
    }
  }
}

TEST(TidLists, ListsAscendAndHoldEveryOccurrence) {
  // Items handed over out of order in a transaction still give ascending lists
  // and projections.
  tid_lists<std::uint16_t> lists;
  lists.allocate(5, 0);
  const tx_list trans = {{4, 0, 2}, {}, {1, 2}, {2, 4}, {0, 1, 2, 3, 4}};
  fill(lists, trans);
  lists.finish_filling();
  lists.finish_filling();  // a second call keeps the lists
  const std::vector<positions> expected = {{0, 4}, {2, 4}, {0, 2, 3, 4}, {4}, {0, 3, 4}};
  ASSERT_EQ(lists.n_transactions(), 5u);
  for (std::uint32_t i = 0; i < 5; ++i)
    EXPECT_EQ(positions(lists.list(i), lists.list(i) + lists.length(i)), expected[i]) << i;
  tid_scratch s;
  lists.start_iteration(3, s);
  std::uint32_t count = 0;
  const std::uint16_t cand[] = {0, 2, 4};
  EXPECT_TRUE(lists.candidate_is_frequent(cand, 0, 3, 2, count, s));
  EXPECT_EQ(count, 2u);
  // Items dropped leave the lists and the projections, and so do the
  // transactions left too short; the others keep their counts.
  const std::uint16_t with_1[] = {0, 1, 2};
  EXPECT_TRUE(lists.candidate_is_frequent(with_1, 1, 3, 1, count, s));
  lists.keep_items_in_transactions({1, 0, 1, 0, 1}, 3);
  const std::vector<positions> kept = {{0, 4}, {}, {0, 4}, {}, {0, 4}};
  for (std::uint32_t i = 0; i < 5; ++i)
    EXPECT_EQ(positions(lists.list(i), lists.list(i) + lists.length(i)), kept[i]) << i;
  lists.start_iteration(3, s);
  EXPECT_TRUE(lists.candidate_is_frequent(cand, 0, 3, 2, count, s));
  EXPECT_EQ(count, 2u);
  EXPECT_FALSE(lists.candidate_is_frequent(with_1, 1, 3, 1, count, s));
  lists.start_group(cand, 1, cand + 1, 2, 2, s);
  EXPECT_EQ(lists.pair_count(2, 4, s), 2u);
}

TEST(TidLists, PositionsOutOfOrderOrAfterTheEndAreRefused) {
  tid_lists<std::uint8_t> lists;
  lists.allocate(2, 4);
  const std::uint8_t t[] = {0, 1};
  lists.add_transaction(t, 2, 0);
  EXPECT_EQ(error_of<std::out_of_range>([&] { lists.add_transaction(t, 2, 2); }),
            "vertical dataset: transaction position 2 where 1 was next");
  lists.finish_filling();
  EXPECT_EQ(error_of<std::out_of_range>([&] { lists.add_transaction(t, 2, 1); }),
            "vertical dataset: transaction position 1 where 1 was next");
}

// Walks the candidates of level k over n items in the order of a prefix-group
// join, skipping some at random as the subset test and the constraints do,
// and checks every verdict and frequent count of the tid-lists against the
// bit matrix's.
void check_level_against_matrix(std::mt19937& rng, int k, std::uint32_t n, std::uint32_t min_count,
                                bit_matrix<std::uint16_t>& matrix,
                                const tid_lists<std::uint16_t>& lists, int& frequent) {
  tid_scratch s;
  lists.start_iteration(k, s);
  matrix.start_iteration(k, false);
  std::vector<std::uint16_t> cand(k), counted(k, static_cast<std::uint16_t>(n - 1));
  // Every ascending k-subset of 0..n-1 in lexicographic order.
  for (int q = 0; q < k; ++q) cand[q] = static_cast<std::uint16_t>(q);
  while (true) {
    if (rng() % 4 != 0) {
      int start = 0;
      while (start < k - 1 && cand[start] == counted[start]) ++start;
      counted = cand;
      std::uint32_t by_lists = 0, by_matrix = 0;
      const bool f_lists =
          lists.candidate_is_frequent(cand.data(), start, k, min_count, by_lists, s);
      const bool f_matrix =
          matrix.candidate_is_frequent_compact(cand.data(), start, k, min_count, by_matrix);
      ASSERT_EQ(f_lists, f_matrix) << "k " << k << " first item " << cand[0];
      if (f_matrix) {
        ASSERT_EQ(by_lists, by_matrix) << "k " << k << " first item " << cand[0];
        ++frequent;
      }
    }
    int q = k - 1;
    while (q >= 0 && cand[q] == n - static_cast<std::uint32_t>(k - q)) --q;
    if (q < 0) return;
    ++cand[q];
    for (int r = q + 1; r < k; ++r) cand[r] = static_cast<std::uint16_t>(cand[r - 1] + 1);
  }
}

TEST(TidLists, CandidateCountsEqualTheBitMatrixOnRandomData) {
  // Sparse and dense shapes, thresholds from 1 up, levels 3 to 5.
  const std::vector<std::vector<std::uint32_t>> shapes = {{3, 9, 1, 20}, {40, 70, 55}, {12}};
  for (std::uint32_t seed = 1; seed <= 9; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 9 + seed % 4;
    const std::uint32_t n_trans = 100 + 97 * seed;
    const tx_list trans = random_transactions(rng, n, n_trans, shapes[seed % shapes.size()]);
    bit_matrix<std::uint16_t> matrix;
    ASSERT_TRUE(matrix.fits_in_memory(n, n_trans, std::uint64_t{1} << 30));
    matrix.allocate();
    fill(matrix, trans);
    tid_lists<std::uint16_t> lists;
    lists.allocate(n, 0);
    fill(lists, trans);
    lists.finish_filling();
    // Only the dense shape has frequent itemsets above a few occurrences.
    const std::uint32_t min_count = seed % 3 != 1 ? 1 + seed % 2 : 1 + seed * n_trans / 200;
    int frequent = 0;
    for (int k = 3; k <= 5; ++k)
      check_level_against_matrix(rng, k, n, min_count, matrix, lists, frequent);
    EXPECT_GT(frequent, 0) << seed;  // the case tests counting, not only rejection
  }
}

TEST(TidLists, GroupPairCountsEqualTheSupports) {
  // Groups of random last items after prefixes of 1 to 3 items, taken in
  // ascending prefix order as a level's walk takes them (so the projections
  // of shared leading items are reused), with candidates and whole rows
  // skipped at random and pair blocks from one row up to unlimited.
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 14;
    const std::uint32_t n_trans = 150 + 40 * seed;
    const tx_list trans = random_transactions(rng, n, n_trans, {60, 25, 80, 45});
    tid_lists<std::uint16_t> lists;
    lists.allocate(n, 0);
    fill(lists, trans);
    lists.finish_filling();
    const std::uint32_t min_count = 1 + seed * n_trans / 100;
    auto support = [&](const std::vector<std::uint16_t>& set) {
      std::uint32_t c = 0;
      for (const auto& t : trans)
        c += std::includes(t.begin(), t.end(), set.begin(), set.end()) ? 1 : 0;
      return c;
    };
    const int pk = 1 + static_cast<int>(seed % 3);
    tid_scratch s;
    lists.start_iteration(pk + 2, s);
    s.block_counters = seed % 4 == 0 ? kGroupPairCounters : 1 + seed % 7;
    // Every ascending prefix of pk items, in order.
    std::vector<std::uint16_t> prefix(static_cast<std::size_t>(pk));
    for (int q = 0; q < pk; ++q) prefix[q] = static_cast<std::uint16_t>(q);
    int exact = 0;
    while (true) {
      std::vector<std::uint16_t> last;
      for (std::uint32_t y = prefix.back() + 1u; y < n; ++y)
        if (rng() % 3 != 0) last.push_back(static_cast<std::uint16_t>(y));
      if (last.size() >= 2 && rng() % 5 != 0) {
        lists.start_group(prefix.data(), pk, last.data(), static_cast<std::uint32_t>(last.size()),
                          min_count, s);
        for (std::size_t a = 0; a < last.size(); ++a) {
          if (rng() % 4 == 0) continue;
          for (std::size_t b = a + 1; b < last.size(); ++b) {
            if (rng() % 3 == 0) continue;
            std::vector<std::uint16_t> set = prefix;
            set.push_back(last[a]);
            set.push_back(last[b]);
            const std::uint32_t expected = support(set);
            const std::uint32_t got = lists.pair_count(last[a], last[b], s);
            if (expected >= min_count) {
              ASSERT_EQ(got, expected) << seed;
              ++exact;
            } else {
              ASSERT_LT(got, min_count) << seed;
            }
          }
        }
      }
      int q = pk - 1;
      while (q >= 0 && prefix[q] == n - 2 - static_cast<std::uint32_t>(pk - 1 - q)) --q;
      if (q < 0) break;
      ++prefix[q];
      for (int r = q + 1; r < pk; ++r) prefix[r] = static_cast<std::uint16_t>(prefix[r - 1] + 1);
    }
    EXPECT_GT(exact, 0) << seed;  // the case tests counting, not only rejection
  }
}

TEST(VerticalLayout, DensityChoosesTheRepresentationAndTheMemoryRuleMeasuresIt) {
  struct Case {
    const char* name;
    std::uint32_t items, trans;
    std::uint64_t occurrences, budget;
    vertical_layout layout;
    bool lists, fits;
  };
  // 1000 items x 100000 transactions: a 12.5 MB matrix; 1,562,500 occurrences
  // is the density where tid-lists start (one cell in 64).
  const std::uint64_t ample = std::uint64_t{1} << 32;
  const std::vector<Case> cases = {
      {"dense", 1000, 100000, 40000000, ample, vertical_layout::by_density, false, true},
      {"at the density limit", 1000, 100000, 1562500, ample, vertical_layout::by_density, false,
       true},
      {"just below it", 1000, 100000, 1562499, ample, vertical_layout::by_density, true, true},
      {"sparse, lists forced off", 1000, 100000, 1000, ample, vertical_layout::bit_matrix, false,
       true},
      {"dense, lists forced on", 1000, 100000, 40000000, ample, vertical_layout::tid_lists, true,
       true},
      // Lists of 100,000 occurrences take 800,000 + 8,008 + 800,000 bytes: they
      // fit a budget of 4.9 MB (a third: 1.63 MB) where the matrix does not.
      {"lists fit where the matrix would not", 1000, 100000, 100000, 4900000,
       vertical_layout::tid_lists, true, true},
      {"lists too large for the budget", 1000, 100000, 100000, 4800000, vertical_layout::tid_lists,
       true, false},
      {"matrix too large for the budget", 1000, 100000, 40000000, 4900000,
       vertical_layout::by_density, false, false},
  };
  for (const Case& c : cases) {
    vertical_dataset<std::uint16_t> data;
    EXPECT_EQ(data.fits_in_memory(c.items, c.trans, c.occurrences, c.budget, c.layout), c.fits)
        << c.name;
    EXPECT_EQ(data.uses_lists, c.lists) << c.name;
    // The progress rows report the matrix's size whichever is used.
    EXPECT_EQ(data.reported_bytes(), std::uint64_t{1000} * 3125 * 4) << c.name;
  }
}

TEST(VerticalLayout, CompactTestGivesTheSameVerdictOnTidLists) {
  // The compact test picks the levels' variant: it must not depend on the
  // representation. Dense data with frequent top items passes it, sparse data
  // does not.
  const std::vector<std::vector<std::uint32_t>> shapes = {{5, 99, 97, 98}, {2, 4}, {60, 95}};
  int passed = 0;
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 4 + seed % 5, n_trans = 64 + 50 * seed;
    const tx_list trans = random_transactions(rng, n, n_trans, shapes[seed % shapes.size()]);
    std::uint64_t occurrences = 0;
    for (const auto& t : trans) occurrences += t.size();
    bool verdict[2];
    for (int use_lists = 0; use_lists < 2; ++use_lists) {
      vertical_dataset<std::uint16_t> data;
      ASSERT_TRUE(data.fits_in_memory(
          n, n_trans, occurrences, std::uint64_t{1} << 30,
          use_lists ? vertical_layout::tid_lists : vertical_layout::bit_matrix));
      data.allocate();
      fill(data, trans);
      data.finish_filling();
      verdict[use_lists] = data.try_make_compact(n);
    }
    EXPECT_EQ(verdict[1], verdict[0]) << seed;
    passed += verdict[0];
  }
  EXPECT_GT(passed, 0);
  EXPECT_LT(passed, 12);
}

}  // namespace
