#include "dataset/items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

item_table counted(std::uint32_t sigma, const std::vector<std::pair<std::uint32_t, int>>& supports,
                  std::uint32_t n_transactions = 100) {
  item_table items(sigma);
  for (auto [id, n] : supports)
    for (int i = 0; i < n; ++i) items.counts.add(id);
  items.n_transactions = n_transactions;
  return items;
}

std::vector<std::string> labels(const item_table& items) {
  std::vector<std::string> out;
  for (std::uint32_t k = 0; k < items.n_items; ++k)
    out.emplace_back(items.label(k), items.label_length(k));
  return out;
}

std::vector<std::uint32_t> input_ids(const item_table& items) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t k = 0; k < items.n_items; ++k) out.push_back(items.input_id(k));
  return out;
}

// The dense id of each input id (kNotFrequent for those not kept).
std::vector<std::uint32_t> dense_ids(const item_table& items,
                                     const std::vector<std::uint32_t>& ids) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t id : ids) out.push_back(items.map_input(id));
  return out;
}

constexpr std::uint32_t kNone = item_table::kNotFrequent;

TEST(ItemTable, RenumbersByAscendingSupportWithLabels) {
  item_table items = counted(2, {{10, 5}, {11, 9}, {12, 2}, {13, 7}, {14, 1}});
  items.remap_items(true);
  EXPECT_EQ(items.n_items, 4u);
  EXPECT_EQ(input_ids(items), (std::vector<std::uint32_t>{12, 10, 13, 11}));
  EXPECT_EQ(labels(items), (std::vector<std::string>{"12 ", "10 ", "13 ", "11 "}));
  EXPECT_EQ(items.max_support, 9u);
  EXPECT_EQ(items.map_input(14), kNone);
}

TEST(ItemTable, SparseHugeIdsKeepMemorySmall) {
  item_table items = counted(1, {{1000000000u, 2}, {3000000000u, 1}, {4294967295u, 3}, {5, 1}});
  EXPECT_LE(items.counts.dense_table_size(), 16u);  // no table up to the largest id
  EXPECT_EQ(items.counts.id_bound(), 4294967296ull);
  EXPECT_EQ(items.counts.support_of(4294967295u), 3u);
  items.remap_items(true);
  EXPECT_EQ(items.n_items, 4u);
  EXPECT_EQ(labels(items)[3], "4294967295 ");
  // Equal supports keep the input order: 5 before 3000000000.
  EXPECT_EQ(dense_ids(items, {4294967295u, 5, 3000000000u, 3000000001u}),
            (std::vector<std::uint32_t>{3, 0, 1, kNone}));
  // Small ids spread thinly go the way of the large ones.
  items = counted(1, {{5000000u, 2}, {3000000u, 1}, {70000u, 3}, {70001u, 1}});
  EXPECT_LE(items.counts.dense_table_size(), std::size_t{item_table::kDenseIdFloor});
  items.remap_items(true);
  EXPECT_EQ(input_ids(items), (std::vector<std::uint32_t>{70001u, 3000000u, 5000000u, 70000u}));
  EXPECT_EQ(dense_ids(items, {3000000u, 70000u, 70002u}),
            (std::vector<std::uint32_t>{1, 3, kNone}));
  items.compact({0, 3});
  EXPECT_EQ(dense_ids(items, {70000u, 3000000u}), (std::vector<std::uint32_t>{1, kNone}));
}

TEST(ItemTable, CompactAfterTheInputMapIsFreedKeepsIdsSupportsAndLabels) {
  // Global pruning may shrink the numbering after level 2 freed the map of
  // input ids: small and large ids alike must neither come back into a map
  // nor be written through a freed one.
  item_table items = counted(1, {{7, 4}, {3000000000u, 2}, {9, 3}, {4000000000u, 5}});
  items.remap_items(true);
  ASSERT_EQ(input_ids(items), (std::vector<std::uint32_t>{3000000000u, 9, 7, 4000000000u}));
  items.release_input_map();
  items.compact({1, 3});
  EXPECT_EQ(items.n_items, 2u);
  EXPECT_EQ(input_ids(items), (std::vector<std::uint32_t>{9, 4000000000u}));
  EXPECT_EQ(std::vector<std::uint32_t>({items.support(0), items.support(1)}),
            (std::vector<std::uint32_t>{3, 5}));
  EXPECT_EQ(labels(items), (std::vector<std::string>{"9 ", "4000000000 "}));
}

TEST(ItemTable, DenseSupportDoesNotDependOnTheItemOrder) {
  // The choice of the in-memory variant reads it: an attribute order must not
  // hide a dense dataset from the key-pattern levels.
  const std::vector<std::pair<std::uint32_t, int>> supports = {{0, 90}, {1, 30}, {2, 5}, {3, 60}};
  item_table by_support = counted(2, supports);
  by_support.remap_items(false);
  EXPECT_DOUBLE_EQ(by_support.dense_support_pct, 60.0);  // (90 + 30 + 60) / 3 of 100
  item_table by_attribute = counted(2, supports);
  by_attribute.remap_items(std::vector<std::uint32_t>{4, 3, 2, 1}, true);
  EXPECT_EQ(input_ids(by_attribute), (std::vector<std::uint32_t>{3, 2, 1, 0}));
  EXPECT_DOUBLE_EQ(by_attribute.dense_support_pct, 60.0);
}

}  // namespace
