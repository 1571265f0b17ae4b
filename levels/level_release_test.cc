#include "levels/level_release.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "levels/candidate_cursor.h"
#include "levels/subset_cursor.h"
#include "tests/support/files.h"
#include "tests/support/itemsets.h"

namespace {

using level = frequent_level<std::uint16_t, std::uint32_t>;
constexpr std::uint16_t kItems = 56;

std::uint32_t mix(std::uint32_t h) {
  h ^= h >> 15;
  h *= 0x2c1b3c6dU;
  h ^= h >> 12;
  return h;
}

// A level of about half the 4-itemsets of kItems items (chosen by a hash, so
// groups and sibling runs vary in size), supports never 0, with key records:
// every array spans many pages. folded: supports folded, and the same along
// each two-item prefix, so that most blocks fold.
void fill(level& l, bool folded = false) {
  typed_constraints<std::uint16_t> none;
  l.supports.fold_blocks(folded);
  for (std::uint16_t a = 0; a < kItems; ++a)
    for (std::uint16_t b = a + 1; b < kItems; ++b)
      for (std::uint16_t c = b + 1; c < kItems; ++c)
        for (std::uint16_t d = c + 1; d < kItems; ++d) {
          const std::uint32_t h = mix((a * 64u + b) * 4096u + c * 64u + d);
          if (h % 2 == 0) continue;
          const std::uint16_t v[4] = {a, b, c, d};
          l.add_itemset(v, folded ? 1 + mix(a * 64u + b) % 50000 : 1 + h % 50000, none);
        }
  l.keys.assign(static_cast<std::size_t>(l.n_itemsets), 0);
  for (int i = 0; i < l.n_itemsets; ++i) l.keys.set(i, static_cast<std::uint8_t>(1 + i % 7));
}

struct two_levels {
  explicit two_levels(bool folded = false) {
    fill(reference, folded);
    fill(released, folded);
  }
  level reference{4};
  level released{4};
};

// Index of group g's (d+1)-item prefix among the distinct ones, in order.
std::vector<std::vector<std::size_t>> ancestors(const level& l) {
  const int width = l.k - 1;
  std::vector<std::vector<std::size_t>> at(static_cast<std::size_t>(width));
  std::vector<std::uint16_t> prefix(width), last(width);
  std::vector<std::size_t> count(width, 0);
  for (int g = 0; g < l.number_of_groups(); ++g) {
    l.group_prefix(g, prefix.data());
    for (int d = 0; d < width; ++d) {
      const bool same = g > 0 && std::equal(prefix.begin(), prefix.begin() + d + 1, last.begin());
      if (g > 0 && !same) ++count[d];
      at[d].push_back(count[d]);
    }
    last = prefix;
  }
  return at;
}

TEST(LevelRelease, MarksKeepTheGroupItsAncestorsAndTheEntriesBeforeThem) {
  two_levels t;
  const level& l = t.reference;
  const auto at = ancestors(l);
  for (int g : {1, 2, 77, 1000, l.number_of_groups() / 2, l.number_of_groups() - 1}) {
    const release_marks m = release_marks_below(l, g);
    EXPECT_EQ(m.itemsets, static_cast<std::size_t>(l.group_first(g))) << g;
    EXPECT_EQ(m.group_ends, static_cast<std::size_t>(g - 1)) << g;
    ASSERT_EQ(m.items.size(), 3u);
    ASSERT_EQ(m.ends.size(), 2u);
    for (int d = 0; d < 3; ++d) EXPECT_EQ(m.items[d], at[d][g]) << g << " depth " << d;
    for (int d = 0; d < 2; ++d)
      EXPECT_EQ(m.ends[d], at[d][g] > 0 ? at[d][g] - 1 : 0) << g << " depth " << d;
  }
  const release_marks none = release_marks_below(l, 0);
  EXPECT_EQ(none.itemsets, 0u);
  EXPECT_EQ(none.items, std::vector<std::size_t>(3, 0));
  const release_marks all = release_marks_below(l, l.number_of_groups());
  EXPECT_EQ(all.itemsets, static_cast<std::size_t>(l.n_itemsets));
  EXPECT_EQ(all.items[0], l.node_items[0].size());
}

// Everything a join from group g on reads: its candidates, the joined
// itemsets' keys and supports, and the subsets it looks up.
std::vector<std::uint64_t> walk_from(const level& l, int g) {
  std::vector<std::uint64_t> seen;
  const int k = l.k + 1;
  candidate_cursor<std::uint16_t, std::uint32_t> cursor(l, k, true, g, -1);
  subset_cursor<std::uint16_t, std::uint32_t> subsets(l, k);
  if (!cursor.valid()) return seen;
  do {
    const std::uint16_t* c = cursor.candidate();
    std::uint64_t h = 0;
    for (int q = 0; q < k; ++q) h = h * 131 + c[q];
    h = h * 31 + cursor.key_i() + 7 * cursor.key_j() + cursor.support_i() + cursor.support_j();
    for (int p = k - 3; p >= 0; --p) {
      const int at = subsets.find_without(cursor, p);
      h = h * 17 + static_cast<std::uint64_t>(at + 1);
      if (at >= 0) h += l.supports[at] + l.keys[at];
    }
    seen.push_back(h);
  } while (cursor.advance());
  return seen;
}

// The same with folded supports: their entries and their blocks' heads go
// back up to the block the release point falls in.
// Every array's pages go back when each whole page does (least 0); with the
// usual least range the readers see the same.
TEST(LevelRelease, ReadersPastTheReleasePointSeeTheLevelUnchanged) {
  for (const bool folded : {false, true})
    for (const std::size_t least : {std::size_t{0}, kLeastReleaseBytes}) {
    two_levels t(folded);
    ASSERT_EQ(t.released.supports.folded(), folded);
    if (folded) {
      ASSERT_GT(t.released.supports.equal_block_share(), 0.5);
    }
    const int n = t.released.number_of_groups();
    const int g = n / 3;
    const int early = t.released.group_first(g) / 2;
    const support_column<std::uint32_t>& supports = t.released.supports;
    // Where early's support is kept (read before its block's head goes).
    const std::size_t early_entry = supports.entries_before(static_cast<std::size_t>(early));
    level_release<std::uint16_t, std::uint32_t> release(t.released, 0, least);
    release.writer_done();
    release.joins_passed(g);
    EXPECT_GT(release.released_bytes(),
              least > 0 ? 100u * 1024 : folded ? 200u * 1024 : 300u * 1024);
    if (least == 0) {
      // Pages of every kind of array went back: the early itemsets read zeros
      // (but for those on the arrays' first pages, which they share).
      EXPECT_EQ(supports.data()[early_entry], 0u);
      if (folded) {
        EXPECT_EQ(supports.heads()[static_cast<std::size_t>(early) / supports.kBlock], 0u);
      }
      EXPECT_EQ(t.released.suffixes[early], 0u);
      EXPECT_EQ(t.released.keys[early], 0u);
      EXPECT_EQ(t.released.node_items[2][g / 2], 0u);
    }
    // From group g on, lookups, prefixes and joins are those of the level kept.
    for (int h = g; h < n; h += 7) {
      std::uint16_t p[3], q[3];
      t.released.group_prefix(h, p);
      t.reference.group_prefix(h, q);
      ASSERT_TRUE(std::equal(p, p + 3, q)) << h;
    }
    t.reference.init_read_itemsets();
    std::uint16_t v[4];
    for (int i; (i = t.reference.next_itemset(v)) >= 0;) {
      if (i < t.reference.group_first(g)) continue;
      std::uint32_t support = 0;
      std::uint8_t key = 0;
      int index = -1;
      ASSERT_TRUE(t.released.lookup(v, &support, &key, &index)) << i;
      ASSERT_EQ(index, i);
      ASSERT_EQ(support, t.reference.supports[i]);
      ASSERT_EQ(key, t.reference.keys[i]);
    }
    EXPECT_EQ(walk_from(t.released, g), walk_from(t.reference, g));
    // A release past a reader's group is seen: that is what the marks prevent.
    EXPECT_NE(walk_from(t.released, 0), walk_from(t.reference, 0));
  }
}

// Readers that pass a few groups at a time: each array's pages wait until a
// least range of them can go (each range given back costs the processors a
// flush), and the level's last release takes what is left, so as many bytes
// go back in all as page by page (give or take the pages an array's ends
// share with its neighbours: the two levels lie at other addresses), in far
// fewer ranges.
TEST(LevelRelease, SmallRangesWaitForMoreAndTheLastReleaseTakesThem) {
  two_levels t;
  const int n = t.released.number_of_groups();
  level_release<std::uint16_t, std::uint32_t> by_page(t.reference, 0, 0);
  level_release<std::uint16_t, std::uint32_t> batched(t.released);
  by_page.writer_done();
  batched.writer_done();
  const int step = std::max(1, n / 2000);
  for (int g = step; g < n; g += step) {
    by_page.joins_passed(g);
    batched.joins_passed(g);
    ASSERT_LE(batched.released_bytes(), by_page.released_bytes()) << g;
    // At most the least range of each array waits (24 arrays or fewer here).
    ASSERT_LE(by_page.released_bytes() - batched.released_bytes(), 24 * kLeastReleaseBytes) << g;
  }
  EXPECT_GT(by_page.released_ranges(), 4 * batched.released_ranges());
  by_page.joins_passed(n);
  batched.joins_passed(n);
  const std::size_t a = batched.released_bytes(), b = by_page.released_bytes();
  EXPECT_LE((a > b ? a - b : b - a), 24 * 2 * page_bytes());
  EXPECT_GT(batched.released_bytes(), 1000u * 1024);
}

TEST(LevelRelease, NothingGoesBackBeforeTheWriterHasPassedIt) {
  two_levels t;
  const int n = t.released.number_of_groups();
  level_release<std::uint16_t, std::uint32_t> release(t.released);
  release.joins_passed(n);  // the joins are done, the writer has not started
  EXPECT_EQ(release.released_bytes(), 0u);
  EXPECT_EQ(walk_from(t.released, 0), walk_from(t.reference, 0));
  release.writer_group = n / 2;
  release.joins_passed(n);
  EXPECT_GT(release.released_bytes(), 0u);
  EXPECT_EQ(t.released.supports[t.released.group_first(n / 2) / 2], 0u);
  EXPECT_EQ(walk_from(t.released, n / 2), walk_from(t.reference, n / 2));
  // The joins behind the writer hold it back likewise, and neither goes back.
  const std::size_t before = release.released_bytes();
  release.joins_passed(1);
  EXPECT_EQ(release.released_bytes(), before);
  release.writer_done();
  release.joins_passed(n);
  EXPECT_GT(release.released_bytes(), before);
}

// A level of 3-itemsets with about 180,000 groups of one or two itemsets:
// its group ends span many pages of block bases.
void fill_many_groups(level& l) {
  typed_constraints<std::uint16_t> none;
  constexpr std::uint16_t kMany = 600;
  for (std::uint16_t a = 0; a < kMany; ++a)
    for (std::uint16_t b = a + 1; b + 2 < kMany; ++b) {
      const std::uint16_t v[3] = {a, b, static_cast<std::uint16_t>(b + 1)};
      l.add_itemset(v, 1 + a, none);
      if (mix(a * 1024u + b) % 2 == 0) continue;
      const std::uint16_t w[3] = {a, b, static_cast<std::uint16_t>(b + 2)};
      l.add_itemset(w, 1 + b, none);
    }
  l.keys.assign(static_cast<std::size_t>(l.n_itemsets), 0);
  for (int i = 0; i < l.n_itemsets; ++i) l.keys.set(i, static_cast<std::uint8_t>(1 + i % 5));
}

// Released bases read zero: the group ends of early blocks come out wrong,
// yet every group from the release point on spans what it spanned, and every
// search for an end at or past it finds the same entry. The release points
// include one whose block starts a page of bases (the page before it goes,
// the block of the group end just before the point stays).
TEST(LevelRelease, BlockBasesGoBackBehindTheReaders) {
  level kept(3);
  fill_many_groups(kept);
  const int n = kept.number_of_groups();
  ASSERT_GT(n, 150000);
  for (int pick = 0; pick < 2; ++pick) {
    level released(3);
    fill_many_groups(released);
    int g = n / 2 + 77;
    if (pick == 1) {
      const std::uintptr_t page = page_bytes();
      const std::uint32_t* bases = released.group_last.bases();
      std::size_t w = static_cast<std::size_t>(n) / 64;
      while ((reinterpret_cast<std::uintptr_t>(bases + w) & (page - 1)) != 0) ++w;
      g = static_cast<int>(w * released.group_last.block_entries());
    }
    level_release<std::uint16_t, std::uint32_t> release(released);
    release.writer_done();
    release.joins_passed(g);
    int wrong = 0;
    for (int h = 0; h < g / 2; ++h) wrong += released.group_last[h] != kept.group_last[h];
    EXPECT_GT(wrong, g / 4) << g;
    for (int h = g; h < n; ++h) {
      int a, b, c, d;
      released.group_span(h, a, b);
      kept.group_span(h, c, d);
      ASSERT_EQ(a, c) << g << " " << h;
      ASSERT_EQ(b, d) << g << " " << h;
    }
    for (int v = kept.group_last[g - 1]; v <= kept.group_last[n - 1]; v += 3)
      ASSERT_EQ(released.group_last.upper_bound(v), kept.group_last.upper_bound(v)) << v;
    EXPECT_EQ(walk_from(released, g), walk_from(kept, g)) << g;
  }
}

std::string dump(const level& l, std::atomic<int>* progress) {
  item_table items(1);
  std::vector<std::uint32_t> supports(kItems);
  for (std::uint16_t i = 0; i < kItems; ++i) supports[i] = 1000 + i;
  set_up_items(items, kItems, supports);
  typed_constraints<std::uint16_t> table;
  output_file out("out.txt", "w+");
  l.dump_itemsets(items, {}, out, table, 1, progress);
  out.close();
  return read_file("out.txt");
}

// The writer lays the level out while the joins, long done, release all the
// writer reports it has passed: its output is that of the level kept whole.
TEST(LevelRelease, AWriterReleasedBehindItselfWritesTheWholeLevel) {
  test_dir dir;
  for (const bool folded : {false, true}) {
    two_levels t(folded);
    const std::string expected = dump(t.reference, nullptr);
    level_release<std::uint16_t, std::uint32_t> release(t.released);
    std::atomic<bool> writing{true};
    std::thread releaser([&] {
      while (writing) release.joins_passed(t.released.number_of_groups());
    });
    const std::string written = dump(t.released, &release.writer_group);
    writing = false;
    releaser.join();
    EXPECT_GT(release.released_bytes(), 0u);
    EXPECT_EQ(written, expected) << folded;
  }
}

}  // namespace
