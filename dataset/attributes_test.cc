#include "dataset/attributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

// A succinct test constraint that records what the attribute table hands it.
struct Probe : succinct_constraint<std::uint32_t> {
  explicit Probe(int a) { attribute = a; }
  bool holds(const std::uint32_t*, int) override { return true; }
  void preprocess_transaction(transaction_view<std::uint32_t>&) override {}
  void fold_prefix(const std::vector<std::uint32_t>&) override {
    ++set_prefix_calls;
    column_at_prefix = attribute_values ? *attribute_values : std::vector<std::uint32_t>{};
  }
  int set_prefix_calls = 0;
  std::vector<std::uint32_t> column_at_prefix;
};

struct fixture {
  test_dir dir;
  constraint_set set;
  attribute_table table;
  Probe* add(int attribute) {
    set.succinct_table.push_back(new Probe(attribute));
    return static_cast<Probe*>(set.succinct_table.back());
  }
  void load(const std::string& file) { table.load(file, nullptr, set); }
  std::string load_error(const std::string& file) {
    return run_error_of([&] { load(file); });
  }
};

TEST(Attributes, LoadsTheNeededRowBindsEveryConstraintAndFollowsTheDenseIds) {
  fixture f;
  write_file("attr.txt", "1 2 3\n4 5 6\n7 8 9");  // final line without newline
  Probe* none = f.add(-1);
  Probe* a = f.add(2);
  Probe* b = f.add(2);
  f.load("attr.txt");
  ASSERT_EQ(f.table.columns.size(), 1u);
  std::vector<std::uint32_t>* column = f.table.columns[0].get();
  EXPECT_EQ(*column, (std::vector<std::uint32_t>{7, 8, 9}));
  EXPECT_EQ(a->attribute_values, column);
  EXPECT_EQ(b->attribute_values, column);
  EXPECT_EQ(a->column_at_prefix, (std::vector<std::uint32_t>{7, 8, 9}));
  EXPECT_EQ(none->set_prefix_calls, 1);  // prefix items count for it too
  EXPECT_EQ(f.table.shortest_column(), 3u);
  item_table items(1);
  for (std::uint32_t id : {2u, 2u, 0u}) items.counts.add(id);
  items.n_transactions = 2;
  items.remap_items(false);  // dense 0 = id 0, dense 1 = id 2
  f.table.rebuild_for_dense_ids(items, f.set);
  EXPECT_EQ(f.table.columns[0].get(), column);  // constraints keep valid pointers
  EXPECT_EQ(*column, (std::vector<std::uint32_t>{7, 9}));
  EXPECT_EQ(a->set_prefix_calls, 1);
}

TEST(Attributes, EveryBadFileIsAOneLineError) {
  struct Case {
    std::string file;
    int attribute;
    std::string message;
  } cases[] = {
      {"", 1, "attributes option missing: a constraint needs attribute 1"},
      {"absent.txt", 0, "absent.txt could not be opened!"},
      {"point.txt", 5, "point.txt:3: decimal point inside a number"},
      {"short.txt", 5, "short.txt: attribute line 5 is missing"},
      {"attr.txt", 1, "attr.txt:2: minus sign before a number"},
  };
  for (const Case& c : cases) {
    fixture f;
    write_file("attr.txt", "1 2 3\n4 -5 6\n");
    write_file("point.txt", "1 2 3\n4 5 6\n7 8.5 9\n");
    write_file("short.txt", "1 2 3\n4 5 6\n");
    f.add(c.attribute);
    EXPECT_EQ(f.load_error(c.file), c.message) << c.attribute;
  }
}

TEST(Attributes, PrefixItemsAndDataItemsNeedAValue) {
  fixture f;
  write_file("attr.txt", "1 2 3\n");
  f.add(0);
  f.set.prefix_items = {5};
  EXPECT_EQ(f.load_error("attr.txt"), "attr.txt: attribute line 0 has 3 values, item 5 needs one");
  f.set.prefix_items.clear();
  f.load("attr.txt");
  EXPECT_EQ(run_error_of([&] { f.table.report_missing_value(3); }),
            "attr.txt: attribute line 0 has 3 values, item 3 needs one");
}

}  // namespace
