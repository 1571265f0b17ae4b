#include "engine/triples_by_first_item.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "constraints/test_support.h"

namespace {

using item = std::uint16_t;
using triple = std::array<item, 3>;

// Random transactions over n items and a random split of the pairs into stored
// (level 2), frequent but not stored (as a loose constraint leaves them), and
// infrequent; the counter must count exactly the triples {a, b, c} with (a, b)
// and (a, c) stored and (b, c) frequent, like a brute-force walk of every
// triple of every transaction. Up to 42 items: the first items have from none
// to over 16 stored neighbours, whose transactions are matched by merging and
// through the rank table respectively.
TEST(TriplesByFirstItem, CountsAndCreditsLikeBruteForce) {
  typed_constraints<item> table;
  constraint_set kept_all;
  constraint_testing::parse(kept_all, "sumleq", "[0,1000]");
  std::vector<std::uint32_t> column(64, 7);
  constraint_testing::bind_all(kept_all, &column);
  typed_constraints<item> tested_table(kept_all);
  ASSERT_FALSE(tested_table.keeps_everything());
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    const std::uint32_t n = 3 + rng() % 40;
    std::vector<std::vector<item>> tx(1 + rng() % 60);
    for (auto& t : tx) {
      for (std::uint32_t x = 0; x < n; ++x)
        if (rng() % 3 == 0) t.push_back(static_cast<item>(x));
      if (t.empty()) t.push_back(static_cast<item>(rng() % n));
    }
    std::set<std::pair<item, item>> stored, frequent;
    frequent_level<item, std::uint32_t> level(2);
    frequent_pairs<item> pairs;
    for (item a = 0; a < n; ++a)
      for (item b = a + 1; b < n; ++b) {
        const std::uint32_t roll = rng() % 10;
        if (roll >= 7) continue;
        frequent.insert({a, b});
        pairs.add(a, b);
        if (roll == 6) continue;
        stored.insert({a, b});
        const item p[2] = {a, b};
        level.add_itemset(p, 1, table);
      }
    pairs.finish(n);

    std::map<triple, std::uint32_t> expected;
    for (const auto& [a, b] : stored)
      for (const auto& [a2, c] : stored)
        if (a2 == a && b < c && frequent.count({b, c})) expected[{a, b, c}] = 0;
    std::vector<std::vector<std::uint32_t>> expected_counters;
    for (const auto& t : tx) {
      std::vector<std::uint32_t> cnt(t.size(), 0);
      for (std::size_t i = 0; i < t.size(); ++i)
        for (std::size_t j = i + 1; j < t.size(); ++j)
          for (std::size_t l = j + 1; l < t.size(); ++l) {
            auto it = expected.find({t[i], t[j], t[l]});
            if (it == expected.end()) continue;
            ++it->second;
            ++cnt[i], ++cnt[j], ++cnt[l];
          }
      expected_counters.push_back(cnt);
    }
    // Every candidate once, in lexicographic order, with its count.
    const std::vector<std::pair<triple, std::uint32_t>> all(expected.begin(), expected.end());

    // An anti-monotone constraint that every triple meets sends generation
    // down the merge that tests each join: the same candidates, counts and
    // credits as the merge without constraints.
    for (typed_constraints<item>* constraints : {&table, &tested_table}) {
      SCOPED_TRACE("seed " + std::to_string(seed) +
                   (constraints == &table ? "" : ", each join tested"));
      transaction_block<item> block(0);
      for (const auto& t : tx) block.add(t.data(), static_cast<std::uint32_t>(t.size()), nullptr);
      block.index_first_items(n, 3);
      triples_by_first_item<item, std::uint32_t> triples(level, pairs, *constraints, n);
      EXPECT_EQ(triples.any_candidate(), !expected.empty());
      std::vector<std::pair<triple, std::uint32_t>> got;
      while (triples.next_first_item(block))
        for (std::size_t i = 0; i < triples.counts.size(); ++i)
          got.push_back(
              {{triples.first(), triples.seconds[i], triples.thirds[i]}, triples.counts[i]});
      ASSERT_EQ(got, all);
      for (std::uint32_t t = 0; t < block.size(); ++t)
        EXPECT_EQ(
            std::vector<std::uint32_t>(block.counters(t), block.counters(t) + block.length(t)),
            expected_counters[t])
            << "transaction " << t;
    }
  }
}

}  // namespace
