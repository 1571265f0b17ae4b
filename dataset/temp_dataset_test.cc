#include "dataset/temp_dataset.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace {

template <class T>
std::string written_bytes(const std::vector<T>& items) {
  temp_dataset_writer<T> out("layout.bin", true);
  out.write_record(items.data(), static_cast<T>(items.size()));
  EXPECT_EQ(out.bytes_written, sizeof(T) * (1 + items.size()));
  out.close();
  return read_file("layout.bin");
}

TEST(TemporaryDataset, RecordLayoutsOfEveryWidth) {
  test_dir dir;
  EXPECT_EQ(written_bytes<std::uint8_t>({0, 4, 9}), std::string("\x03\x00\x04\x09", 4));
  EXPECT_EQ(written_bytes<std::uint16_t>({0, 4, 9}), std::string("\x03\0\0\0\x04\0\x09\0", 8));
  const std::string b32 = written_bytes<std::uint32_t>({0, 4, 9});
  std::uint32_t words[4] = {};
  std::memcpy(words, b32.data(), std::min<std::size_t>(b32.size(), 16));
  EXPECT_EQ(b32.size(), 16u);
  EXPECT_EQ(std::vector<std::uint32_t>(words, words + 4), (std::vector<std::uint32_t>{3, 0, 4, 9}));
}

// The items a file holds follow from its size and record count, in the
// width it was written in; a file that cannot be measured bounds nothing.
TEST(TemporaryDataset, ItemsFollowFromTheSizeAndTheRecords) {
  test_dir dir;
  const std::uint16_t a[] = {1, 2, 3}, b[] = {7};
  temp_dataset_writer<std::uint16_t> out("d.tmp", true);
  out.write_record(a, 3);
  out.write_record(b, 1);
  out.write_record(a, 2);
  out.close();
  EXPECT_EQ(items_in_temp_dataset("d.tmp", 3, sizeof(std::uint16_t)), 6u);
  EXPECT_EQ(items_in_temp_dataset("d.tmp", 20, sizeof(std::uint16_t)), 0u);
  EXPECT_EQ(items_in_temp_dataset("absent.tmp", 0, sizeof(std::uint16_t)), UINT64_MAX);
}

TEST(TemporaryDataset, InPlaceRewriteLeavesOnlyTheNewRecordsAndEmptyFilesHoldNone) {
  test_dir dir;
  std::vector<std::uint32_t> t = {1, 2, 3, 4, 5};
  {
    temp_dataset_writer<std::uint32_t> first("d.tmp", true);
    for (int i = 0; i < 1000; ++i) first.write_record(t.data(), 5);
    first.close();
    temp_dataset_reader<std::uint32_t> in("d.tmp");
    temp_dataset_writer<std::uint32_t> out("d.tmp", false);
    int n = 0;
    while (in.read_next(t))
      if (n++ % 500 == 0) out.write_record(t.data() + 3, 2);  // two short records
    EXPECT_EQ(n, 1000);
    out.cut();
    out.close();
  }
  EXPECT_EQ(read_file("d.tmp").size(), 2u * 3 * 4);
  temp_dataset_reader<std::uint32_t> in("d.tmp");
  ASSERT_TRUE(in.read_next(t));
  EXPECT_EQ(t, (std::vector<std::uint32_t>{4, 5}));
  ASSERT_TRUE(in.read_next(t));
  EXPECT_FALSE(in.read_next(t));
  // An empty file holds no record; an absent one does not open.
  write_file("empty.tmp", "");
  EXPECT_FALSE(temp_dataset_reader<std::uint32_t>("empty.tmp").read_next(t));
  EXPECT_FALSE(temp_dataset_reader<std::uint8_t>("absent.tmp").is_open());
}

}  // namespace
