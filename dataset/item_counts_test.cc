#include "dataset/item_counts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {

std::vector<std::uint32_t> ids_of(const std::vector<item_entry>& entries) {
  std::vector<std::uint32_t> ids;
  for (const item_entry& e : entries) ids.push_back(e.id);
  return ids;
}

// Against a std::map: small ids spread thinly (and large ones, to the largest)
// stay out of the direct table; once dense small ids come the table grows past
// some of them, which move over with their counts; clear() and a recount as
// well. frequent() lists exactly the ids at or above its threshold, ascending by
// id across both tables, throughout.
TEST(ItemCounts, ThinlySpreadSmallIdsStayOutOfTheTableUntilItIsDense) {
  std::mt19937 rng(17);
  item_counts counts;
  std::map<std::uint32_t, std::uint32_t> want;
  auto add = [&](std::uint32_t id) {
    counts.add(id);
    ++want[id];
  };
  auto check = [&](const char* phase) {
    for (std::uint32_t threshold : {1u, 2u}) {
      std::vector<std::uint32_t> ids;
      for (const auto& [id, count] : want)
        if (count >= threshold) ids.push_back(id);
      ASSERT_EQ(ids_of(counts.frequent(threshold)), ids) << phase << threshold;
    }
    for (const auto& [id, count] : want) ASSERT_EQ(counts.support_of(id), count) << phase << id;
    ASSERT_EQ(counts.support_of(4000000000u), 0u) << phase;
  };
  const std::uint32_t floor = item_counts::kDenseIdFloor, limit = item_counts::kDenseIdLimit;
  for (int i = 0; i < 1000; ++i) {
    add(floor + static_cast<std::uint32_t>(rng() % (limit - floor)));
    add(limit + static_cast<std::uint32_t>(rng() % 1000));
  }
  for (std::uint32_t id : {0u, floor - 1, 4294967295u, 3000000000u, 4294967295u}) add(id);
  check("thin");
  EXPECT_LE(counts.dense_table_size(), static_cast<std::size_t>(floor));
  EXPECT_EQ(counts.id_bound(), 4294967296ull);
  for (std::uint32_t id = 0; id < 300000; id += 2) add(id);
  check("dense");
  EXPECT_GE(counts.dense_table_size(), 300000u);
  // A Winnow pass recounts from zero, but the id range seen stays.
  const std::uint64_t bound = counts.id_bound();
  counts.clear();
  for (auto& [id, count] : want) count = 0;
  check("cleared");
  EXPECT_EQ(counts.id_bound(), bound);
  for (int i = 0; i < 5000; ++i) add(static_cast<std::uint32_t>(rng() % (2 * limit)));
  check("recount");
}

// Against std::stable_sort, for lists short and long, with keys over all 32
// bits, keys sharing a digit, and many ties (whose order must stay).
TEST(ItemCounts, RadixSortIsAStableSortByTheKey) {
  std::mt19937 rng(11);
  for (std::size_t n : {0u, 1u, 200u, 5000u}) {
    for (std::uint32_t mask : {0xFFFFFFFFu, 0x7u, 0xFFC00000u, 0x003FF800u}) {
      std::vector<item_entry> entries;
      for (std::uint32_t i = 0; i < n; ++i)
        entries.push_back(
            {i, static_cast<std::uint32_t>(rng()) & mask, static_cast<std::uint32_t>(rng())});
      std::vector<item_entry> expected = entries;
      std::stable_sort(expected.begin(), expected.end(),
                       [](const item_entry& a, const item_entry& b) { return a.count < b.count; });
      sort_entries_by(entries, [](const item_entry& e) { return e.count; });
      ASSERT_EQ(entries.size(), expected.size());
      for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(entries[i].id, expected[i].id) << n << " " << mask << " at " << i;
        ASSERT_EQ(entries[i].attr, expected[i].attr);
      }
    }
  }
}

// Counting behind the ids loses none: runs shorter and longer than the delay,
// ids on both sides of the direct table's limit, and a second run after flush.
TEST(ItemCounts, DeferredCountsEqualDirectCountsAfterFlush) {
  std::mt19937 rng(5);
  for (std::size_t n : {0, 1, 15, 16, 17, 1000}) {
    item_counts direct, deferred;
    deferred_counts behind(deferred);
    for (int run = 0; run < 2; ++run) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t id = rng() % 2 ? rng() % 50 : item_counts::kDenseIdLimit + rng() % 50;
        direct.add(id);
        behind.add(id);
      }
      behind.flush();
      const std::vector<item_entry> want = direct.frequent(1), got = deferred.frequent(1);
      ASSERT_EQ(got.size(), want.size()) << n;
      for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].id, want[i].id) << n;
        EXPECT_EQ(got[i].count, want[i].count) << n;
      }
    }
  }
}

}  // namespace
