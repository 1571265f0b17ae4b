#include "dataset/global_pruning.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/attributes.h"
#include "dataset/items.h"

namespace {

// Dense ids 0..3 = input ids 4294967295, 7, 3000000000, 13 (ascending support
// 1..4), with labels.
item_table four_items() {
  item_table items(1);
  const std::uint32_t ids[] = {4294967295u, 7, 3000000000u, 13};
  for (int k = 0; k < 4; ++k)
    for (int n = 0; n <= k; ++n) items.counts.add(ids[k]);
  items.n_transactions = 10;
  items.remap_items(true);
  return items;
}

void count_each(global_pruning& pruning, const std::vector<std::uint32_t>& times) {
  pruning.start(static_cast<std::uint32_t>(times.size()));
  for (std::uint32_t k = 0; k < times.size(); ++k)
    for (std::uint32_t n = 0; n < times[k]; ++n) pruning.count(k);
}

// Input id 4294967295 once equalled the pruning marker: it must survive as an item.
TEST(GlobalPruning, CompactsEveryPerItemArrayAndKeepsTheLargestId) {
  item_table items = four_items();
  attribute_table attributes;
  attributes.columns.push_back(
      std::make_unique<std::vector<std::uint32_t>>(std::vector<std::uint32_t>{100, 101, 102, 103}));
  const std::vector<std::uint32_t>* column = attributes.columns[0].get();
  global_pruning pruning;
  count_each(pruning, {5, 1, 5, 0});
  pruning.mark(2);
  EXPECT_EQ(pruning.n_kept(), 2u);
  EXPECT_EQ((std::vector<bool>{pruning.kept(0), pruning.kept(1), pruning.kept(2), pruning.kept(3)}),
            (std::vector<bool>{true, false, true, false}));
  const std::uint32_t* next = pruning.renumbering();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next[0], 0u);
  EXPECT_EQ(next[2], 1u);
  ASSERT_TRUE(pruning.compact(items, attributes));
  EXPECT_EQ(items.n_items, 2u);
  EXPECT_EQ(std::vector<std::uint32_t>({items.input_id(0), items.input_id(1)}),
            (std::vector<std::uint32_t>{4294967295u, 3000000000u}));
  EXPECT_EQ(std::string(items.label(1), items.label_length(1)), "3000000000 ");
  EXPECT_EQ(std::vector<std::uint32_t>({items.support(0), items.support(1)}),
            (std::vector<std::uint32_t>{1, 3}));
  EXPECT_EQ(attributes.columns[0].get(), column);  // constraints point at it
  EXPECT_EQ(*column, (std::vector<std::uint32_t>{100, 102}));
  const std::uint32_t none = item_table::kNotFrequent;
  EXPECT_EQ(std::vector<std::uint32_t>({items.map_input(4294967295u), items.map_input(3000000000u),
                                        items.map_input(7), items.map_input(13)}),
            (std::vector<std::uint32_t>{0, 1, none, none}));
  // The new numbering starts with every item kept; nothing below the threshold
  // changes nothing.
  EXPECT_TRUE(pruning.kept(0) && pruning.kept(1));
  EXPECT_EQ(pruning.renumbering(), nullptr);
  count_each(pruning, {2, 3});
  pruning.mark(2);
  EXPECT_EQ(pruning.n_kept(), 2u);
  EXPECT_EQ(pruning.renumbering(), nullptr);
  EXPECT_FALSE(pruning.compact(items, attributes));
  EXPECT_EQ(items.n_items, 2u);
}

}  // namespace
