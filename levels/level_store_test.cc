#include "levels/level_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "constraints/test_support.h"
#include "tests/support/itemsets.h"
#include "tests/support/mappings.h"

namespace {

// The tree, groups, suffixes and supports of two stores are the same (`case_id`
// names the case in a failure).
template <class T, class T1>
void expect_same_tree(const frequent_level<T, T1>& a, const frequent_level<T, T1>& b,
                      std::size_t case_id) {
  EXPECT_EQ(a.n_itemsets, b.n_itemsets) << case_id;
  EXPECT_EQ(a.node_items, b.node_items) << case_id;
  EXPECT_EQ(a.node_ends, b.node_ends) << case_id;
  EXPECT_EQ(a.last_prefix, b.last_prefix) << case_id;
  EXPECT_EQ(a.group_last, b.group_last) << case_id;
  EXPECT_EQ(a.suffixes, b.suffixes) << case_id;
  EXPECT_EQ(a.supports.values(), b.supports.values()) << case_id;
}

// Cut at any itemset (inside a group or at its border) and appended back, a
// store is the store it was cut from: groups, supports, keys and loose flags,
// whichever of the stores keep their key records in their supports.
TEST(ItemsetStore, AppendedPartsEqualTheWholeStore) {
  // Cut at every itemset of a level of 4-itemsets, parts continue the store's
  // last path down to every depth of the tree.
  typed_constraints<std::uint8_t> table;
  std::vector<std::vector<std::uint8_t>> sets;
  for (const auto& v : subsets_of<std::uint8_t>(8, 4))
    if ((v[0] * 7 + v[1] * 3 + v[2] + v[3]) % 4 != 0) sets.push_back(v);
  frequent_level<std::uint8_t, std::uint16_t> whole(4);
  for (std::size_t i = 0; i < sets.size(); ++i) {
    whole.add_itemset(sets[i].data(), static_cast<std::uint16_t>(i + 1), table);
    whole.keys.push_back(sets[i][0]);
    whole.loose_flags.push_back(i % 3 == 0);
  }
  whole.n_loose = 1;
  for (int layouts = 0; layouts < 4; ++layouts) {
    for (std::size_t cut = 0; cut <= sets.size(); ++cut) {
      frequent_level<std::uint8_t, std::uint16_t> first(4), second(4);
      if (layouts & 1) first.pack_keys();
      if (layouts & 2) second.pack_keys();
      for (std::size_t i = 0; i < sets.size(); ++i) {
        auto& part = i < cut ? first : second;
        part.add_itemset(sets[i].data(), static_cast<std::uint16_t>(i + 1), table);
        part.add_key(sets[i][0]);
        part.loose_flags.push_back(i % 3 == 0);
        part.n_loose = 1;
      }
      first.append(second);
      expect_same_tree(first, whole, cut);
      ASSERT_TRUE(first.has_keys()) << layouts << " " << cut;
      for (std::size_t i = 0; i < sets.size(); ++i)
        ASSERT_EQ(first.key(i), whole.keys[i]) << layouts << " " << cut << " " << i;
      EXPECT_EQ(first.loose_flags, whole.loose_flags) << cut;
    }
  }
}

// Groups (k 2) and tree nodes (k 3) of 300 entries each: their ends lie past
// a byte's reach of their blocks' bases, so the blocks spill to 32 bits; every
// itemset is still found, read back in order and absent itemsets are not.
TEST(ItemsetStore, WideRangesKeepEveryItemsetReachable) {
  typed_constraints<std::uint16_t> table;
  for (int k : {2, 3}) {
    frequent_level<std::uint16_t, std::uint32_t> level(k);
    std::vector<std::vector<std::uint16_t>> sets;
    for (std::uint16_t a = 0; a < 260; ++a)
      for (std::uint16_t b = 300; b < 600; ++b) {
        sets.push_back(k == 2 ? std::vector<std::uint16_t>{a, b}
                              : std::vector<std::uint16_t>{a, b, 1000});
        level.add_itemset(sets.back().data(), a * 1000u + b, table);
      }
    EXPECT_GT(k == 2 ? level.group_last.spilled_blocks() : level.node_ends[0].spilled_blocks(), 0u)
        << k;
    level.init_read_itemsets();
    std::vector<std::uint16_t> buffer(static_cast<std::size_t>(k));
    for (std::size_t i = 0; i < sets.size(); ++i) {
      ASSERT_EQ(level.next_itemset(buffer.data()), static_cast<int>(i));
      ASSERT_EQ(buffer, sets[i]) << i;
      std::uint32_t support = 0;
      ASSERT_TRUE(level.lookup(sets[i].data(), &support, nullptr)) << i;
      EXPECT_EQ(support, sets[i][0] * 1000u + sets[i][1]);
    }
    EXPECT_EQ(level.next_itemset(buffer.data()), -1);
    const std::vector<std::uint16_t> absent =
        k == 2 ? std::vector<std::uint16_t>{259, 600} : std::vector<std::uint16_t>{259, 599, 999};
    EXPECT_FALSE(level.lookup(absent.data(), nullptr, nullptr));
  }
}

// A level built from reserved room never reallocates an array (the old and the
// grown array would be held at once); a tight budget reserves nothing, and
// clear gives the memory back.
TEST(ItemsetStore, RoomReservedForTheJoinsHoldsThemAllWithoutGrowing) {
  typed_constraints<std::uint8_t> table;
  frequent_level<std::uint8_t, std::uint16_t> previous(2);
  // Groups of 1, 3 and 5 itemsets: 0 + 3 + 10 joins in 2 + 4 groups.
  const std::vector<std::vector<std::uint8_t>> groups = {{0, 1}, {1, 2, 3, 4}, {2, 3, 4, 5, 6, 7}};
  for (const auto& g : groups)
    for (std::size_t j = 1; j < g.size(); ++j) {
      const std::uint8_t v[2] = {g[0], g[j]};
      previous.add_itemset(v, 9, table);
    }
  frequent_level<std::uint8_t, std::uint16_t> next(3);
  next.reserve_for_joins(previous, true, 1 << 20);
  auto arrays = [&next] {
    return std::vector<const void*>{next.node_items[0].data(), next.node_ends[0].storage(),
                                    next.node_items[1].data(), next.group_last.storage(),
                                    next.suffixes.data(),      next.supports.data(),
                                    next.keys.data()};
  };
  const std::vector<const void*> reserved = arrays();
  for (const auto& g : groups)
    for (std::size_t i = 1; i < g.size(); ++i)
      for (std::size_t j = i + 1; j < g.size(); ++j) {
        const std::uint8_t v[3] = {g[0], g[i], g[j]};
        next.add_itemset(v, 5, table);
        next.keys.push_back(key_column::kKey);
      }
  EXPECT_EQ(next.n_itemsets, 13);
  EXPECT_EQ(next.number_of_groups(), 6);
  EXPECT_EQ(arrays(), reserved);
  // 13 itemsets of 3 bytes and a half-byte key record each, 6 groups and the
  // 3 nodes above them (an item and a byte end each, and a 32-bit base per
  // offset column) do not fit in 71 bytes.
  frequent_level<std::uint8_t, std::uint16_t> tight(3);
  tight.reserve_for_joins(previous, true, 71);
  EXPECT_EQ(tight.bytes(), 0u);
  tight.reserve_for_joins(previous, true, 72);
  EXPECT_EQ(tight.bytes(), 72u);
  next.clear(4);
  EXPECT_EQ(next.bytes(), 0u);
}

// The joins a store gives are kept once counted: they must follow the store
// when it grows (a new itemset joining the last group, or a new group) and
// when it is cleared and refilled, also to the same number of itemsets.
TEST(ItemsetStore, JoinsFollowTheGroupsAsTheStoreGrowsAndIsRefilled) {
  typed_constraints<std::uint8_t> table;
  frequent_level<std::uint8_t, std::uint16_t> level(2);
  EXPECT_EQ(level.joins(), 0u);
  auto add = [&](std::vector<std::vector<std::uint8_t>> sets) {
    for (const auto& v : sets) level.add_itemset(v.data(), 3, table);
    return level.joins();
  };
  EXPECT_EQ(add({{0, 1}, {0, 2}, {0, 3}}), 3u);
  EXPECT_EQ(add({{0, 4}}), 6u);          // the last group grows: 4 members
  EXPECT_EQ(add({{1, 2}, {1, 3}}), 7u);  // a group of 2 more
  // Refilled with as many itemsets in as many groups, spread otherwise.
  level.clear(2);
  EXPECT_EQ(level.joins(), 0u);
  EXPECT_EQ(add({{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {1, 4}}), 6u);
}

// A level reserved for its joins fills its arrays from the front: its room
// must not be marked for huge pages (which every large block gets), or each
// array holds up to 2 MiB it has not reached, a dozen arrays per level, twice
// over while the level before is still read.
TEST(ItemsetStore, RoomReservedForTheJoinsTakesSmallPages) {
  std::ifstream probe("/proc/self/smaps");
  if (!probe) GTEST_SKIP() << "no /proc/self/smaps";
  typed_constraints<std::uint16_t> table;
  frequent_level<std::uint16_t, std::uint32_t> previous(2);
  // One group of 4,500 itemsets: about 10 million joins, 20 MB of suffixes
  // and 5 MB of key records (two to a byte).
  for (std::uint16_t j = 1; j <= 4500; ++j) {
    const std::uint16_t v[2] = {0, j};
    previous.add_itemset(v, 7, table);
  }
  frequent_level<std::uint16_t, std::uint32_t> next(3);
  next.reserve_for_joins(previous, true, std::uint64_t{1} << 30);
  ASSERT_GE(next.suffixes.capacity(), 4000000u);
  const void* middles[] = {next.suffixes.data() + next.suffixes.capacity() / 2,
                           next.supports.data() + next.supports.entry_bytes() / 8,
                           next.keys.data() + next.keys.capacity_bytes() / 2};
  for (const void* middle : middles) {
    const std::string flags = flags_of_mapping_holding(middle);
    ASSERT_NE(flags, "");
    EXPECT_EQ(flags.find(" hg"), std::string::npos) << flags;
    EXPECT_NE(flags.find(" nh"), std::string::npos) << flags;
  }
}

}  // namespace
