#include "levels/line_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "constraints/test_support.h"
#include "tests/support/files.h"
#include "tests/support/itemsets.h"

namespace {

using store8 = frequent_level<std::uint8_t, std::uint8_t>;

template <class T1>
std::string dump(frequent_level<std::uint8_t, T1>& s, item_table& items,
                 const std::vector<std::uint32_t>& prefix_items,
                 typed_constraints<std::uint8_t>& table, int* written, unsigned threads = 1) {
  test_dir dir;
  {
    output_file out("out.txt", "w+");
    *written = write_level_lines(s, items, prefix_items, out, table, threads);
    out.close();
  }
  return read_file("out.txt");
}

TEST(LineWriter, WritesLabelsInDenseOrderWithPrefixItemsAndUnsignedSupport) {
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
  auto lines_after = [](const std::string& head) {
    return head + "12 7 300 (255)\n" + head + "12 7 4000000000 (1)\n" + head + "12 5 6 (128)\n" +
           head + "7 5 6 (0)\n";
  };
  int written = 0;
  EXPECT_EQ(dump(s, items, prefix_items, table, &written), lines_after("3 8 "));
  EXPECT_EQ(written, 4);
  store8 empty(3);
  EXPECT_EQ(dump(empty, items, prefix_items, table, &written), "");
  EXPECT_EQ(written, 0);
  // Lines longer than the output file's buffer (a long list of prefix items).
  const std::vector<std::uint32_t> long_prefix(9000, 1000000);
  std::string head;
  for (std::uint32_t v : long_prefix) head += std::to_string(v) + " ";
  EXPECT_EQ(dump(s, items, long_prefix, table, &written), lines_after(head));
  EXPECT_EQ(written, 4);
}

// A level large enough to be laid out on several threads gives the same bytes
// and count for any number, with and without a filter (each thread filtering
// with its own clone of the table); counting without laying out agrees.
TEST(LineWriter, OnThreadsWritesTheSameBytesAndCount) {
  item_table items(1);
  set_up_items(items, 120);
  const std::vector<std::uint32_t> prefix_items = {7};
  typed_constraints<std::uint8_t> none;
  store8 s(3);
  for (const auto& v : subsets_of<std::uint8_t>(120, 3))
    s.add_itemset(v.data(), static_cast<std::uint8_t>(v[0] ^ v[1] ^ v[2]), none);
  ASSERT_GT(s.n_itemsets, 3 * 65536);
  constraint_set active;
  constraint_testing::parse(active, "sumgeq", "[0,200]");
  std::vector<std::uint32_t> column(120);
  for (std::uint32_t i = 0; i < 120; ++i) column[i] = i;
  constraint_testing::bind_all(active, &column);
  typed_constraints<std::uint8_t> filtering(active);
  for (typed_constraints<std::uint8_t>* table : {&none, &filtering}) {
    int one_written = 0;
    const std::string one = dump(s, items, prefix_items, *table, &one_written, 1);
    EXPECT_EQ(one_written, std::count(one.begin(), one.end(), '\n'));
    EXPECT_EQ(one_written == s.n_itemsets, table == &none);
    EXPECT_EQ(count_level_lines(s, *table), one_written);
    for (unsigned threads : {2u, 3u, 5u}) {
      int written = 0;
      EXPECT_EQ(dump(s, items, prefix_items, *table, &written, threads), one) << threads;
      EXPECT_EQ(written, one_written) << threads;
    }
  }
}

// Levels of 2 and 4 items with groups of 1 to 100 itemsets, labels of 1 to 10
// digits and supports up to 65,535 (laid out from a table) or past it
// (formatted), written on one thread and on three, against lines built here.
TEST(LineWriter, LaysOutEveryGroupSizeLabelWidthAndSupport) {
  constexpr std::uint32_t kItems = 200;
  std::vector<std::uint32_t> input_ids(kItems);
  for (std::uint32_t i = 0; i < kItems; ++i)
    input_ids[i] = i % 3 == 0 ? i : static_cast<std::uint32_t>(i * 2654435761ull);
  item_table items(1);
  set_up_items(items, kItems, input_ids);
  const std::vector<std::uint32_t> prefix_items = {5};
  typed_constraints<std::uint8_t> none;
  const std::size_t group_sizes[] = {1, 2, 3, 31, 32, 33, 64, 65, 100};
  for (int k : {2, 4}) {
    for (std::uint32_t most : {65535u, 70001u}) {
      frequent_level<std::uint8_t, std::uint32_t> s(k);
      std::string expected;
      std::vector<std::uint8_t> v(static_cast<std::size_t>(k));
      std::size_t groups = 0;
      // Prefixes in lexicographic order, each with the next group size of suffixes.
      auto add_group = [&](int width) {
        const std::size_t size = group_sizes[groups++ % 9];
        const std::uint32_t after = width == 0 ? 0 : v[width - 1] + 1u;
        for (std::uint32_t d = after; d < after + size && d < kItems; ++d) {
          v[width] = static_cast<std::uint8_t>(d);
          const std::uint32_t support =
              s.n_itemsets == 777 ? most
                                  : static_cast<std::uint32_t>(s.n_itemsets * 7919ull % most);
          s.add_itemset(v.data(), support, none);
          expected += "5 ";
          for (std::uint8_t x : v) expected += std::to_string(input_ids[x]) + " ";
          expected += "(" + std::to_string(support) + ")\n";
        }
      };
      if (k == 2) {
        for (std::uint32_t a = 0; a + 1 < kItems && s.n_itemsets < 70000; ++a) {
          v[0] = static_cast<std::uint8_t>(a);
          add_group(1);
        }
      } else {
        for (std::uint32_t a = 0; a < 20 && s.n_itemsets < 70000; ++a)
          for (std::uint32_t b = a + 1; b < 60 && s.n_itemsets < 70000; ++b)
            for (std::uint32_t c = b + 1; c + 1 < kItems && s.n_itemsets < 70000; c += 7) {
              v[0] = static_cast<std::uint8_t>(a);
              v[1] = static_cast<std::uint8_t>(b);
              v[2] = static_cast<std::uint8_t>(c);
              add_group(3);
            }
        ASSERT_GE(s.n_itemsets, 70000);
      }
      for (unsigned threads : {1u, 3u}) {
        int written = 0;
        EXPECT_TRUE(dump(s, items, prefix_items, none, &written, threads) == expected)
            << k << " " << most << " " << threads;
        EXPECT_EQ(written, s.n_itemsets) << k << " " << most << " " << threads;
      }
    }
  }
}

}  // namespace
