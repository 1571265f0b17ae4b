#include "levels/level_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/itemsets.h"

namespace {

using store8 = frequent_level<std::uint8_t, std::uint8_t>;

std::string dump(store8& s, item_table& items, const std::vector<std::uint32_t>& prefix_items,
                 typed_constraints<std::uint8_t>& table, int* written) {
  test_dir dir;
  {
    output_file out("out.txt", "w+");
    *written = s.dump_itemsets(items, prefix_items, out, table);
    out.close();
  }
  return read_file("out.txt");
}

TEST(ItemsetStore, LookupFindsStoredItemsetsInShortAndLongGroups) {
  typed_constraints<std::uint8_t> table;
  frequent_level<std::uint8_t, std::uint16_t> s(3);
  // Group (0,1) has 20 suffixes (searched by bisection), (2,5) has three.
  for (std::uint8_t x = 2; x < 42; x += 2) {
    const std::uint8_t v[3] = {0, 1, x};
    s.add_itemset(v, static_cast<std::uint16_t>(1000 + x), table);
  }
  for (std::uint8_t x : {7, 9, 11}) {
    const std::uint8_t v[3] = {2, 5, x};
    s.add_itemset(v, static_cast<std::uint16_t>(x), table);
  }
  s.keys.assign(s.n_itemsets, 0xFF);
  s.keys[20] = 3;
  struct Case {
    std::vector<std::uint8_t> set;
    bool found;
    int index;
    std::uint16_t support;
  };
  const std::vector<Case> cases = {
      {{0, 1, 2}, true, 0, 1002}, {{0, 1, 40}, true, 19, 1040}, {{0, 1, 22}, true, 10, 1022},
      {{0, 1, 3}, false, -1, 0},  {{0, 1, 41}, false, -1, 0},   {{2, 5, 7}, true, 20, 7},
      {{2, 5, 11}, true, 22, 11}, {{2, 5, 10}, false, -1, 0},   {{1, 2, 3}, false, -1, 0},
      {{3, 4, 5}, false, -1, 0},  {{0, 0, 2}, false, -1, 0},
  };
  for (const auto& c : cases) {
    std::uint16_t support = 0;
    std::uint8_t key = 0;
    int index = -1;
    EXPECT_EQ(s.lookup(c.set.data(), &support, &key, &index), c.found) << int(c.set[2]);
    if (!c.found) continue;
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(support, c.support);
    EXPECT_EQ(key, c.index == 20 ? 3 : 0xFF);
  }
}

TEST(ItemsetStore, DumpWritesLabelsInDenseOrderWithPrefixItemsAndUnsignedSupport) {
  item_table items(1);
  set_up_items(items, 6, {12, 7, 300, 4000000000u, 5, 6});
  const std::vector<std::uint32_t> prefix_items = {3, 8};
  typed_constraints<std::uint8_t> table;
  store8 s(3);
  const std::uint8_t a[3] = {0, 1, 2}, b[3] = {0, 1, 3}, c[3] = {0, 4, 5}, d[3] = {1, 4, 5};
  s.add_itemset(a, 255, table);
  s.add_itemset(b, 1, table);
  s.add_itemset(c, 128, table);
  s.add_itemset(d, 0, table);
  int written = 0;
  const std::string text = dump(s, items, prefix_items, table, &written);
  EXPECT_EQ(written, 4);
  EXPECT_EQ(text,
            "3 8 12 7 300 (255)\n"
            "3 8 12 7 4000000000 (1)\n"
            "3 8 12 5 6 (128)\n"
            "3 8 7 5 6 (0)\n");
  store8 empty(3);
  EXPECT_EQ(dump(empty, items, prefix_items, table, &written), "");
  EXPECT_EQ(written, 0);
}

}  // namespace
