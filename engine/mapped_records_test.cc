#include "engine/mapped_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "tests/support/files.h"

namespace {

// Each test writes its file in a directory of its own (test_dir): ctest runs
// tests side by side, and a shared name let one test read another's file.
constexpr const char* kFile = "mapped_records_test.tmp";

// Input ids: small ones (a table indexed by id) and large ones (the hash map);
// the odd ones occur once, so with sigma 2 they are dropped.
std::uint32_t input_id(std::mt19937& rng) {
  const std::uint32_t small = rng() % 64;
  return rng() % 3 == 0 ? 4000000000u - small : small + 1;
}

struct fixture {
  std::vector<std::vector<std::uint32_t>> records;
  item_table items{2};
};

// n records of 1..max_len distinct ids, plus the long records asked for; every
// even id counted twice, every odd one once.
void make(fixture& f, int n, int max_len, std::uint32_t seed, const std::vector<int>& long_at = {},
          std::size_t long_len = 0) {
  std::mt19937 rng(seed);
  for (int r = 0; r < n; ++r) {
    std::vector<std::uint32_t> t;
    const std::size_t len =
        std::count(long_at.begin(), long_at.end(), r) ? long_len : 1 + rng() % max_len;
    while (t.size() < len) {
      const std::uint32_t id = len > 64 ? static_cast<std::uint32_t>(t.size() + 1) : input_id(rng);
      if (std::find(t.begin(), t.end(), id) == t.end()) t.push_back(id);
    }
    f.records.push_back(t);
  }
  for (std::uint32_t small = 0; small < 2048; ++small) {
    for (std::uint32_t id : {small + 1, 4000000000u - small}) {
      f.items.counts.add(id);
      if (id % 2 == 0) f.items.counts.add(id);
    }
  }
  f.items.n_transactions = static_cast<std::uint32_t>(n);
  f.items.remap_items(false);
  temp_dataset_writer<std::uint32_t> out(kFile, true);
  for (const auto& t : f.records) out.write_record(t.data(), static_cast<std::uint32_t>(t.size()));
  out.close();
}

// Every record handed out equals the record mapped on its own, in file order.
// (That the mapping itself is right, short records and long ones, the
// differential test sees in every run.)
void expect_same_as_one_by_one(const fixture& f, std::uint32_t capacity) {
  mapped_records<std::uint32_t> in(kFile, capacity, f.items);
  std::vector<std::uint32_t> buf(capacity), want(capacity);
  transaction_view<std::uint32_t> got{buf.data(), 0};
  std::size_t r = 0;
  while (in.next(got)) {
    ASSERT_LT(r, f.records.size());
    std::vector<std::uint32_t> raw = f.records[r];
    const transaction_view<std::uint32_t> from{raw.data(), static_cast<std::uint32_t>(raw.size())};
    transaction_view<std::uint32_t> one{want.data(), 0};
    map_to_dense_sorted(from, one, f.items);
    ASSERT_EQ(std::vector<std::uint32_t>(got.items, got.items + got.length),
              std::vector<std::uint32_t>(one.items, one.items + one.length))
        << "record " << r;
    ++r;
  }
  EXPECT_EQ(r, f.records.size());
  EXPECT_FALSE(in.next(got));  // the end stays the end
}

// Counts of records around the ring's size: none, fewer, as many, one more,
// several rounds; long records, read one at a time.
TEST(MappedRecords, HandsOutEveryRecordMappedInFileOrder) {
  test_dir dir;
  for (int n : {0, 7, 8, 9, 203}) {
    fixture f;
    make(f, n, 6, 10 + static_cast<std::uint32_t>(n));
    expect_same_as_one_by_one(f, 6);
  }
  fixture with_long;
  make(with_long, 30, 6, 3, {0, 17, 29}, 3000);
  EXPECT_EQ(mapped_records<std::uint32_t>(kFile, 3000, with_long.items).lines_ahead(), 1u);
  expect_same_as_one_by_one(with_long, 3000);
}

TEST(MappedRecords, ARecordLongerThanTheCapacityAndAMissingFileAreErrors) {
  test_dir dir;
  fixture f;
  make(f, 12, 6, 4, {10}, 40);
  mapped_records<std::uint32_t> in(kFile, 6, f.items);
  std::vector<std::uint32_t> buf(6);
  transaction_view<std::uint32_t> t{buf.data(), 0};
  EXPECT_THROW(while (in.next(t)){}, run_error);
  EXPECT_THROW(mapped_records<std::uint32_t>("no_such_dir/dataset.tmp", 4, f.items), run_error);
}

}  // namespace
