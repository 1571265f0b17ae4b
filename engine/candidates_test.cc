#include "engine/candidates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "tests/support/itemsets.h"

namespace {

using counted8 = candidate_store<std::uint8_t, std::uint16_t>;

// Counts one transaction; returns the position counters.
std::vector<std::uint32_t> count(counted8& c, const std::vector<std::uint8_t>& items, std::uint32_t n) {
  const auto capacity = std::max<std::uint32_t>(16, static_cast<std::uint32_t>(items.size()));
  counting_transaction<std::uint8_t> t(capacity, static_cast<int>(n));
  std::copy(items.begin(), items.end(), t.elems.begin());
  t.length = static_cast<std::uint8_t>(items.size());
  std::fill(t.counters.begin(), t.counters.end(), 0u);
  std::vector<std::uint8_t> local(c.n_loose, 0);
  c.count_contained_candidates(t, local.data());
  for (std::uint8_t m : t.marks) EXPECT_EQ(m, 0) << "marks must be reset";
  return std::vector<std::uint32_t>(t.counters.begin(), t.counters.begin() + items.size());
}

using itemsets = std::vector<std::vector<std::uint8_t>>;

TEST(PairPrefixIndex, FindsEveryAddedPairAndNoOther) {
  pair_prefix_index index;
  // Pairs whose keys differ only in high bits of the first item, and a pair
  // with the largest items, share no range.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> pairs;
  for (std::uint64_t a = 0; a < 40; ++a) pairs.push_back({a << 20, (a << 20) + 7});
  pairs.push_back({0xFFFFFFFEu, 0xFFFFFFFFu});
  index.reset(pairs.size());
  EXPECT_EQ(index.bytes(), pair_prefix_index::bytes_for(pairs.size()));
  std::uint32_t at = 0;
  for (const auto& p : pairs) {
    index.add(p.first, p.second, at, at + 3);
    at += 3;
  }
  at = 0;
  for (const auto& p : pairs) {
    std::size_t begin = 9, end = 9;
    index.find(p.first, p.second, &begin, &end);
    EXPECT_EQ(begin, at);
    EXPECT_EQ(end, at + 3u);
    at += 3;
    index.find(p.first, p.second + 1, &begin, &end);
    EXPECT_EQ(begin, end) << p.first;
  }
  // The table is at most half full, so a missing pair's probe ends.
  EXPECT_GE(pair_prefix_index::bytes_for(41) / 16, 82u);
}

using level8 = frequent_level<std::uint8_t, std::uint16_t>;

// Every r-subset of {0 .. n-1} in lexicographic order, except those in `missing`.
itemsets subsets(int n, int r, const itemsets& missing = {}) {
  itemsets out;
  for (const auto& s : subsets_of<std::uint8_t>(n, r))
    if (std::find(missing.begin(), missing.end(), s) == missing.end()) out.push_back(s);
  return out;
}

itemsets read_all(counted8& store) {
  itemsets out;
  std::vector<std::uint8_t> buf(store.k);
  store.init_read_itemsets();
  while (store.next_itemset(buf.data()) >= 0) out.push_back(buf);
  return out;
}

// Generates level k from previous in chunks of at most limit bytes; each chunk
// is also counted against the transaction holding every item, which contains
// each candidate once.
std::vector<itemsets> chunks_of(const level8& previous, int k, std::uint32_t n,
                                const frequent_pairs<std::uint8_t>* pairs, std::uint64_t limit) {
  typed_constraints<std::uint8_t> table;
  item_table items(2);
  items.n_items = n;
  candidate_chunks<std::uint8_t, std::uint16_t> chunks(previous, items, k, pairs, table, limit);
  std::vector<itemsets> out;
  counted8 store(k);
  std::vector<std::uint8_t> all(n);
  for (std::uint32_t x = 0; x < n; ++x) all[x] = static_cast<std::uint8_t>(x);
  do {
    chunks.fill_next(store);
    out.push_back(read_all(store));
    if (store.n_itemsets > 0) count(store, all, n);
    for (int c = 0; c < store.n_itemsets; ++c) EXPECT_EQ(store.supports[c], 1) << limit;
  } while (!chunks.finished());
  return out;
}

TEST(CandidateChunks, ChunksCutAtGroupsAndTogetherAreTheWholeLevel) {
  typed_constraints<std::uint8_t> table;
  // Level 3 over 7 items without {1,2,4}: the 4-sets holding it are no candidates.
  level8 previous(3);
  for (const auto& s : subsets(7, 3, {{1, 2, 4}})) previous.add_itemset(s.data(), 9, table);
  const itemsets whole = subsets(7, 4, {{0, 1, 2, 4}, {1, 2, 3, 4}, {1, 2, 4, 5}, {1, 2, 4, 6}});
  const auto one = chunks_of(previous, 4, 7, nullptr, UINT64_MAX);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], whole);

  std::vector<std::size_t> counts;
  for (std::uint64_t limit : {1000, 400, 250, 0}) {
    const auto chunks = chunks_of(previous, 4, 7, nullptr, limit);
    itemsets joined;
    for (std::size_t c = 0; c < chunks.size(); ++c) {
      // Only the last chunk may be empty; a chunk never splits the candidates
      // of one 3-item prefix, so the next chunk starts with another.
      if (c + 1 < chunks.size()) {
        ASSERT_FALSE(chunks[c].empty()) << limit;
      }
      if (c > 0 && !chunks[c].empty()) {
        const auto& first = chunks[c][0];
        const auto& before = chunks[c - 1].back();
        EXPECT_FALSE(std::equal(first.begin(), first.begin() + 3, before.begin())) << limit;
      }
      joined.insert(joined.end(), chunks[c].begin(), chunks[c].end());
    }
    EXPECT_EQ(joined, whole) << limit;
    counts.push_back(chunks.size());
  }
  // A smaller limit never gives fewer chunks.
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_GT(counts[1], 1u);
  // Limit 0: one 3-item prefix per chunk.
  for (const auto& chunk : chunks_of(previous, 4, 7, nullptr, 0))
    for (const auto& c : chunk) EXPECT_TRUE(std::equal(c.begin(), c.begin() + 3, chunk[0].begin()));
}

TEST(CandidateChunks, TriplesKeepTheirPairTestInEveryChunk) {
  typed_constraints<std::uint8_t> table;
  level8 pairs_level(2);
  for (const auto& s : subsets(6, 2, {{3, 5}})) pairs_level.add_itemset(s.data(), 9, table);
  // (3, 5) is infrequent: no candidate ends with it, whichever chunk it falls in.
  frequent_pairs<std::uint8_t> pairs;
  for (std::uint32_t a = 0; a < 6; ++a)
    for (std::uint32_t b = a + 1; b < 6; ++b)
      if (a != 3 || b != 5) pairs.add(a, b);
  pairs.finish(6);
  const itemsets whole = subsets(6, 3, {{0, 3, 5}, {1, 3, 5}, {2, 3, 5}, {3, 4, 5}});
  for (std::uint64_t limit : {UINT64_MAX, std::uint64_t{0}}) {
    itemsets joined;
    for (const auto& chunk : chunks_of(pairs_level, 3, 6, &pairs, limit))
      joined.insert(joined.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(joined, whole) << limit;
  }
}

// A previous level that takes nearly the whole budget must not leave the
// candidates chunks of almost nothing (a pass over the data per prefix).
TEST(CandidateBudget, KeepsASixteenthOfTheBudgetWhateverIsLeft) {
  EXPECT_EQ(candidate_budget(4000, 1600), 1000u);
  EXPECT_EQ(candidate_budget(0, 1600), 100u);
  EXPECT_EQ(candidate_budget(200, 1600), 100u);
}

}  // namespace
