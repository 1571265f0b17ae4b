#include "vertical/level_threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/itemsets.h"
#include "tests/support/run_error_of.h"

namespace {

using level = frequent_level<std::uint16_t, std::uint32_t>;

// A level of 2-itemsets {g, 10000 + j} with sizes[g] itemsets of support 1 + g
// in group g.
level level_with_groups(const std::vector<int>& sizes) {
  level l(2);
  typed_constraints<std::uint16_t> none;
  for (std::size_t g = 0; g < sizes.size(); ++g) {
    for (int j = 0; j < sizes[g]; ++j) {
      const std::uint16_t items[2] = {static_cast<std::uint16_t>(g),
                                      static_cast<std::uint16_t>(10000 + j)};
      l.add_itemset(items, static_cast<std::uint32_t>(1 + g), none);
    }
  }
  return l;
}

TEST(LevelThreads, GivenThreadsAreUsedAndTheDefaultFollowsTheWork) {
  const level small = level_with_groups({3, 1, 4});  // 3 + 0 + 6 joins
  EXPECT_EQ(threads_for_join(small, 2), 2u);
  EXPECT_EQ(threads_for_join(small, 1000), 9u);    // no more threads than candidates
  EXPECT_EQ(threads_for_join(small, 0), 1u);       // too little work to share
  const level single = level_with_groups({1, 1});  // no candidate at all
  EXPECT_EQ(threads_for_join(single, 4), 1u);
  const level large = level_with_groups(std::vector<int>(100, 200));
  EXPECT_EQ(threads_for_join(large, 100000), kMaxLevelThreads);
}

// Every chunk's store is appended in chunk order, whatever thread counted it,
// and an exception in one chunk reaches the caller.
TEST(LevelThreads, ChunkStoresAreAppendedInOrderAndErrorsReachTheCaller) {
  const level previous = level_with_groups(std::vector<int>(64, 3));
  typed_constraints<std::uint16_t> none;
  vertical_dataset<std::uint16_t> data;
  for (unsigned threads : {1u, 2u, 3u}) {
    std::vector<level_walker<std::uint16_t>> walkers =
        make_walkers(threads, 3, false, data, none, false, 0);
    const std::vector<group_chunk> chunks =
        threads == 1 ? std::vector<group_chunk>{{0, -1}} : chunk_groups(previous, threads);
    level next(3);
    join_on_threads(walkers, chunks, next,
                    [&](level_walker<std::uint16_t>& w, const group_chunk& c, level& out) {
                      const int end = c.end_group < 0 ? previous.number_of_groups() : c.end_group;
                      for (int g = c.first_group; g < end; ++g) {
                        const std::uint16_t items[3] = {static_cast<std::uint16_t>(g), 1, 2};
                        out.add_itemset(items, static_cast<std::uint32_t>(g), *w.table);
                        ++w.counters.frequent;
                      }
                    });
    ASSERT_EQ(next.n_itemsets, 64);
    for (int g = 0; g < 64; ++g) EXPECT_EQ(next.supports[g], static_cast<std::uint32_t>(g));
    level_counters counters;
    intersection_stats stats;
    merge_walkers(walkers, false, counters, stats, data.matrix);
    EXPECT_EQ(counters.frequent, 64);

    level failing(3);
    EXPECT_EQ(error_of<std::runtime_error>([&] {
                join_on_threads(walkers, chunk_groups(previous, threads), failing,
                                [&](level_walker<std::uint16_t>&, const group_chunk& c, level&) {
                                  if (c.first_group > 20) throw std::runtime_error("chunk failed");
                                });
              }),
              "chunk failed");
  }
}

// While the first chunk is held, the chunks after it all end and report, but
// nothing of the level goes back before the first chunk is done with it: each
// chunk finds its groups' supports intact. Once all are done, the level goes.
// The first chunk waits for the others at a latch (with one walker they come
// after it, and it does not wait).
TEST(LevelThreads, AChunkStillRunningKeepsItsGroupsWhileLaterChunksEnd) {
  const level previous = level_with_groups(std::vector<int>(2000, 100));
  typed_constraints<std::uint16_t> table;
  vertical_dataset<std::uint16_t> data;
  for (unsigned threads : {1u, 3u}) {
    level copy(2);
    copy.append(previous);
    level_release<std::uint16_t, std::uint32_t> release(copy);
    release.writer_done();
    std::vector<level_walker<std::uint16_t>> walkers =
        make_walkers(threads, 3, false, data, table, false, 0);
    const std::vector<group_chunk> chunks = chunk_groups(copy, threads);
    ASSERT_GT(chunks.size(), 4u);
    std::mutex lock;
    std::condition_variable others_ended;
    std::size_t ended = 0;  // chunks after the first whose body returned
    std::atomic<int> damaged{0};
    level next(3);
    join_on_threads(
        walkers, chunks, next,
        [&](level_walker<std::uint16_t>&, const group_chunk& c, level&) {
          if (c.first_group == 0 && threads > 1) {
            std::unique_lock<std::mutex> hold(lock);
            others_ended.wait(hold, [&] { return ended == chunks.size() - 1; });
          }
          for (int g = c.first_group; g < c.end_group; ++g)
            for (int i = copy.group_first(g); i <= copy.group_last[g]; ++i)
              if (copy.supports[i] != 1u + g) ++damaged;
          if (c.first_group != 0) {
            std::lock_guard<std::mutex> hold(lock);
            ++ended;
            others_ended.notify_all();
          }
        },
        &release);
    EXPECT_EQ(damaged, 0) << threads << " threads";
    // The whole level went back once every chunk was done.
    EXPECT_GT(release.released_bytes(), 700u * 1024) << threads << " threads";
    EXPECT_EQ(copy.supports[copy.n_itemsets / 2], 0u);
  }
}

// A writer far slower than the joins: no chunk starts more than the lead's
// itemsets ahead of it, and every chunk still runs. Without the pacing the
// joins would run to the end of the level while the writer is still near its
// start. The writer moves on only once every chunk within the lead of it has
// started, so the joins always stand at the edge of the lead.
TEST(LevelThreads, JoinsStayWithinTheLeadOfASlowWriter) {
  const level previous = level_with_groups(std::vector<int>(2000, 100));
  typed_constraints<std::uint16_t> table;
  vertical_dataset<std::uint16_t> data;
  const int n = previous.number_of_groups();
  for (unsigned threads : {1u, 3u}) {
    constexpr std::size_t kLead = 5000;  // 50 groups
    level_release<std::uint16_t, std::uint32_t> release(previous, kLead);
    std::vector<level_walker<std::uint16_t>> walkers =
        make_walkers(threads, 3, false, data, table, false, 0);
    const std::vector<group_chunk> chunks = chunk_groups(previous, threads);
    ASSERT_GT(chunks.size(), 40u);
    std::mutex lock;
    std::condition_variable started_more;
    std::size_t started = 0;
    // The chunks the joins may start with the writer at group w: those whose
    // first itemset lies within the lead of w's.
    auto within_lead = [&](int w) {
      const std::size_t at = static_cast<std::size_t>(previous.group_first(w)) + kLead;
      std::size_t m = 0;
      while (m < chunks.size() &&
             static_cast<std::size_t>(previous.group_first(chunks[m].first_group)) <= at)
        ++m;
      return m;
    };
    std::thread writer([&] {
      for (int g = 0; g < n; g += 20) {
        {
          std::unique_lock<std::mutex> hold(lock);
          started_more.wait(hold, [&] { return started >= within_lead(g); });
        }
        release.writer_group.store(g + 20 < n ? g + 20 : g);
      }
      release.writer_done();
    });
    std::atomic<int> ahead{0}, ran{0};
    level next(3);
    join_on_threads(
        walkers, chunks, next,
        [&](level_walker<std::uint16_t>&, const group_chunk& c, level&) {
          const int w = release.writer_group.load();
          const int at = w >= n ? previous.n_itemsets : previous.group_first(w);
          if (previous.group_first(c.first_group) > at + static_cast<int>(kLead)) ++ahead;
          ++ran;
          std::lock_guard<std::mutex> hold(lock);
          ++started;
          started_more.notify_all();
        },
        &release);
    writer.join();
    EXPECT_EQ(ahead, 0) << threads << " threads";
    EXPECT_EQ(ran, static_cast<int>(chunks.size())) << threads << " threads";
  }
}

// A level of k-itemsets: prefixes of k-1 items below `top` in lexicographic
// order, each kept at random, with 1..5 last items above them.
level random_level(int k, int top) {
  level l(k);
  typed_constraints<std::uint16_t> none;
  std::vector<std::uint16_t> items(static_cast<std::size_t>(k));
  std::uint32_t seed = 7;
  for (const auto& prefix : subsets_of<std::uint16_t>(top, k - 1)) {
    seed = seed * 1103515245u + 12345u;
    if ((seed >> 16) % 3 == 0) continue;
    std::copy(prefix.begin(), prefix.end(), items.begin());
    for (int j = 0; j < 1 + static_cast<int>((seed >> 8) % 5); ++j) {
      items[static_cast<std::size_t>(k - 1)] = static_cast<std::uint16_t>(100 + j);
      l.add_itemset(items.data(), 1, none);
    }
  }
  return l;
}

// The chunks a plain reading of the rule cuts groups [first, end) into: a cut
// after a group that brings its chunk to its share (about an equal part of
// threads * kChunksPerThread, kMostJoinsPerChunk at most), where the next
// group's prefix differs within its first two items.
std::vector<group_chunk> chunks_by_the_rule(const level& l, unsigned threads, int first, int end) {
  auto starts_alike = [&](int g, int h) {
    std::vector<std::uint16_t> a(static_cast<std::size_t>(l.k - 1)), b(a.size());
    l.group_prefix(g, a.data());
    l.group_prefix(h, b.data());
    return std::equal(a.begin(), a.begin() + std::min(2, l.k - 1), b.begin());
  };
  std::uint64_t joins = 0;
  for (int g = first; g < end; ++g) joins += joins_in_group(l, g);
  EXPECT_EQ(joins_in_groups(l, first, end), joins);
  const std::uint64_t wanted = threads * kChunksPerThread;
  const std::uint64_t share =
      std::clamp<std::uint64_t>((joins + wanted - 1) / wanted, 1, kMostJoinsPerChunk);
  std::vector<group_chunk> chunks;
  std::uint64_t in_chunk = 0;
  for (int g = first, from = first; g < end; ++g) {
    in_chunk += joins_in_group(l, g);
    if (g == end - 1 || (in_chunk >= share && !starts_alike(g, g + 1))) {
      chunks.push_back({from, g + 1});
      from = g + 1;
      in_chunk = 0;
    }
  }
  return chunks;
}

// Chunks end where the rule allows: on deep levels (whose cut places come
// from nodes two or more depths above the groups) and ranges of groups that
// start and end inside a two-item start, with groups of one to five itemsets;
// on a level with one group of far more joins than a chunk's share; and on a
// level of far more joins than threads * kChunksPerThread chunks of
// kMostJoinsPerChunk, cut into more chunks.
TEST(LevelThreads, ChunksEndWhereTheRuleAllows) {
  std::vector<int> uneven;
  for (int g = 0; g < 300; ++g) uneven.push_back(1 + (g * 37) % 23);
  uneven[150] = 200;
  std::vector<level> levels;
  for (int k : {2, 3, 4, 5, 6}) levels.push_back(random_level(k, k <= 3 ? 40 : 12));
  levels.push_back(level_with_groups(uneven));
  // Groups of 100 itemsets: 4,950 joins each, 40 x 16 x 4,950 in all.
  levels.push_back(level_with_groups(std::vector<int>(640, 100)));
  for (const level& l : levels) {
    const int n = l.number_of_groups();
    ASSERT_GT(n, 20) << l.k;
    for (unsigned threads : {1u, 2u, 5u, 7u}) {
      for (auto [first, end] : {std::pair{0, n}, std::pair{n / 3 + 1, 2 * n / 3 + 1},
                                std::pair{n - 7, n}, std::pair{5, 6}}) {
        SCOPED_TRACE("k " + std::to_string(l.k) + " groups " + std::to_string(n) + " threads " +
                     std::to_string(threads) + " from " + std::to_string(first));
        const std::vector<group_chunk> expected = chunks_by_the_rule(l, threads, first, end);
        const std::vector<group_chunk> chunks = chunk_groups(l, threads, first, end);
        ASSERT_EQ(chunks.size(), expected.size());
        for (std::size_t c = 0; c < chunks.size(); ++c) {
          EXPECT_EQ(chunks[c].first_group, expected[c].first_group) << c;
          EXPECT_EQ(chunks[c].end_group, expected[c].end_group) << c;
        }
      }
    }
    // The whole level by default: more chunks than threads, and more than
    // the share per thread only where the level is large.
    const std::vector<group_chunk> chunks = chunk_groups(l, 2);
    EXPECT_GT(chunks.size(), 2u);
    EXPECT_EQ(chunks.size() > 2 * kChunksPerThread, n == 640);
  }
}

}  // namespace
