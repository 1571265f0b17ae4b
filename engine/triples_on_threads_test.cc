#include "engine/triples_on_threads.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "constraints/test_support.h"

namespace {

using item = std::uint16_t;

// A level 2, its frequent pairs and transactions over n items; item 0 may
// have every other item as a neighbour and stand in most transactions, so one
// first item holds most of the work.
struct triple_data {
  std::uint32_t n = 0;
  frequent_level<item, std::uint32_t> level{2};
  frequent_pairs<item> pairs;
  std::vector<std::vector<item>> transactions;
};

void make_data(std::uint32_t seed, bool heavy_first, typed_constraints<item>& table,
               triple_data& d) {
  std::mt19937 rng(seed);
  d.n = 4 + rng() % 60;
  d.transactions.resize(1 + rng() % 200);
  for (auto& t : d.transactions) {
    if (heavy_first && rng() % 8 != 0) t.push_back(0);
    for (std::uint32_t x = heavy_first ? 1 : 0; x < d.n; ++x)
      if (rng() % 4 == 0) t.push_back(static_cast<item>(x));
    if (t.empty()) t.push_back(static_cast<item>(rng() % d.n));
  }
  for (item a = 0; a < d.n; ++a)
    for (item b = a + 1; b < d.n; ++b) {
      const std::uint32_t roll = rng() % 10;
      if (roll >= (heavy_first && a == 0 ? 10u : 7u)) continue;
      d.pairs.add(a, b);
      if (roll == 6) continue;  // frequent, but kept out of the store
      const item p[2] = {a, b};
      d.level.add_itemset(p, 1, table);
    }
  d.pairs.finish(d.n);
}

// What one count leaves: every candidate taken, in order, with count and
// flags; the candidates; the block's counters and flags.
struct tally {
  std::vector<std::tuple<std::array<item, 3>, std::uint32_t, std::vector<std::uint8_t>>> taken;
  std::uint64_t candidates = 0;
  std::vector<std::uint32_t> counters;
  std::vector<std::uint8_t> flags;
};

// d's transactions, each with the loose flags flag_start, indexed for level 3.
transaction_block<item> block_of(const triple_data& d, const std::vector<std::uint8_t>& flag_start) {
  transaction_block<item> block(static_cast<int>(flag_start.size()));
  for (const auto& t : d.transactions)
    block.add(t.data(), static_cast<std::uint32_t>(t.size()), flag_start.data());
  block.index_first_items(d.n, 3);
  return block;
}

tally count_on(triple_data& d, typed_constraints<item>& table, std::uint32_t min_count,
               const std::vector<std::uint8_t>& flag_start, unsigned threads) {
  const int n_loose = static_cast<int>(flag_start.size());
  transaction_block<item> block = block_of(d, flag_start);
  tally out;
  out.candidates = count_triples_on_threads<item, std::uint32_t>(
      d.level, d.pairs, table, d.n, min_count, block, threads,
      [&](const item* c, std::uint32_t count, const std::uint8_t* f) {
        out.taken.push_back({{c[0], c[1], c[2]}, count, std::vector<std::uint8_t>(f, f + n_loose)});
      });
  for (std::uint32_t t = 0; t < block.size(); ++t) {
    out.counters.insert(out.counters.end(), block.counters(t), block.counters(t) + block.length(t));
    out.flags.insert(out.flags.end(), block.flags(t), block.flags(t) + n_loose);
  }
  return out;
}

// Two to seven threads hand on the same candidates in the same order and leave
// the block's position counters and loose flags as one thread does: on even
// and on very uneven first items (one item holding most joins and
// transactions, so threads find no chunk left), with loose constraints whose
// flags start clear or set, and with more threads than first items.
TEST(TriplesOnThreads, AnyThreadsCountAndCreditAsOne) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    constraint_set set;
    constraint_testing::parse(set, "avggeq", "[0,50]");
    constraint_testing::parse(set, "maxgeq", "[0,80]");
    std::vector<std::uint32_t> column;
    std::mt19937 rng(seed * 7);
    for (int i = 0; i < 64; ++i) column.push_back(rng() % 100);
    constraint_testing::bind_all(set, &column);
    typed_constraints<item> table(set);
    ASSERT_EQ(table.loose_table.size(), 2u);
    triple_data d;
    make_data(seed, seed % 2 == 0, table, d);
    const std::vector<std::uint8_t> flag_start = {0, static_cast<std::uint8_t>(seed % 3 == 0)};
    const std::uint32_t min_count = 1 + seed % 3;
    const tally one = count_on(d, table, min_count, flag_start, 1);
    for (unsigned threads : {2u, 3u, 7u}) {
      const tally many = count_on(d, table, min_count, flag_start, threads);
      EXPECT_EQ(many.taken, one.taken) << "seed " << seed << " threads " << threads;
      EXPECT_EQ(many.candidates, one.candidates) << "seed " << seed << " threads " << threads;
      EXPECT_EQ(many.counters, one.counters) << "seed " << seed << " threads " << threads;
      EXPECT_EQ(many.flags, one.flags) << "seed " << seed << " threads " << threads;
    }
  }
}

// Threads take a heavy first item alone, so that the others find the rest.
TEST(TriplesOnThreads, TheHeavyFirstItemIsAChunkOfItsOwn) {
  typed_constraints<item> table;
  triple_data d;
  make_data(4, true, table, d);
  transaction_block<item> block = block_of(d, {});
  for (unsigned threads : {2u, 3u, 64u})
    EXPECT_EQ(chunk_first_items(d.level, block, threads).front(), std::make_pair(0, 1)) << threads;
}

// The threads asked are used as given unless the budget holds fewer; the
// default takes the processors where the work is enough; a budget that holds
// no thread beside the first, or not the results waiting, gives one.
TEST(TriplesOnThreads, ThreadsFollowTheAskAndTheBudget) {
  const std::uint64_t many_joins = 100 * kTripleJoinsPerThread;
  EXPECT_EQ(threads_for_triples(3, 2, 10, 1000, 10, 100), 3u);
  EXPECT_EQ(threads_for_triples(1, 8, many_joins, 1000, 10, 100), 1u);
  EXPECT_EQ(threads_for_triples(0, 2, many_joins, 1000, 10, 100), 2u);
  EXPECT_EQ(threads_for_triples(0, 8, 3 * kTripleJoinsPerThread, 1000, 10, 100), 3u);
  EXPECT_EQ(threads_for_triples(0, 8, kTripleJoinsPerThread - 1, 1000, 10, 100), 1u);
  EXPECT_EQ(threads_for_triples(1000, 8, many_joins, ~0ull, 0, 0), kMaxTripleThreads);
  // Room for the shared results and two threads' arrays beside the first.
  EXPECT_EQ(threads_for_triples(8, 8, many_joins, 100 + 25, 10, 100), 3u);
  EXPECT_EQ(threads_for_triples(8, 8, many_joins, 100 + 9, 10, 100), 1u);
  EXPECT_EQ(threads_for_triples(8, 8, many_joins, 99, 10, 100), 1u);
  // Few joins over long transactions (chess's level 3): the walks over the
  // transactions' pairs call for threads; over short ones they do not.
  EXPECT_EQ(threads_for_triples(0, 2, triples_work(7514, 121448, 3196), 1000, 10, 100), 2u);
  EXPECT_EQ(threads_for_triples(0, 2, triples_work(7514, 20000, 10000), 1000, 10, 100), 1u);
  EXPECT_EQ(triples_work(5, 10, 0), 5u);
}

// A thread's exception reaches the caller, and the run does not hang.
TEST(TriplesOnThreads, AThreadsFailureReachesTheCaller) {
  typed_constraints<item> table;
  triple_data d;
  make_data(9, false, table, d);
  transaction_block<item> block = block_of(d, {});
  int taken = 0;
  auto take = [&](const item*, std::uint32_t, const std::uint8_t*) {
    if (++taken == 2) throw std::runtime_error("full");
  };
  EXPECT_THROW((count_triples_on_threads<item, std::uint32_t>(d.level, d.pairs, table, d.n, 1,
                                                               block, 3, take)),
               std::runtime_error);
  EXPECT_EQ(taken, 2);
}

}  // namespace
