#include "dataset/database.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dataset/test_dir.h"

namespace {

template <class T>
std::string written_bytes(const std::vector<T>& items) {
  {
    binFSout<T> out("layout.bin", true);
    out.writeTransaction(items.data(), static_cast<T>(items.size()));
    EXPECT_EQ(out.bytes_written, sizeof(T) * (1 + items.size()));
    out.close();
  }
  return read_file("layout.bin");
}

TEST(TemporaryDataset, RecordLayoutsOfEveryWidth) {
  test_dir dir;
  EXPECT_EQ(written_bytes<std::uint8_t>({0, 4, 9}), std::string("\x03\x00\x04\x09", 4));
  EXPECT_EQ(written_bytes<std::uint16_t>({0, 4, 9}).size(), 8u);
  std::string b32 = written_bytes<std::uint32_t>({0, 4, 9});
  ASSERT_EQ(b32.size(), 16u);
  std::uint32_t words[4];
  std::memcpy(words, b32.data(), 16);
  EXPECT_EQ(words[0], 3u);
  EXPECT_EQ(words[3], 9u);
}

TEST(TemporaryDataset, InPlaceRewriteAndTruncLeaveOnlyTheNewRecords) {
  test_dir dir;
  {
    binFSout<std::uint32_t> out("d.tmp", true);
    std::vector<std::uint32_t> t = {1, 2, 3, 4, 5};
    for (int i = 0; i < 1000; ++i) out.writeTransaction(t.data(), 5);
    out.close();
  }
  {
    binFSin<std::uint32_t> in("d.tmp");
    binFSout<std::uint32_t> out("d.tmp", false);
    std::vector<std::uint32_t> t;
    int n = 0;
    while (in.getNextTransaction(t)) {
      if (n++ % 500 == 0) out.writeTransaction(t.data() + 3, 2);  // two short records
    }
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(out.trunc(), 0);
    out.close();
  }
  EXPECT_EQ(read_file("d.tmp").size(), 2u * 3 * 4);
  binFSin<std::uint32_t> in("d.tmp");
  std::vector<std::uint32_t> t;
  ASSERT_TRUE(in.getNextTransaction(t));
  EXPECT_EQ(t, (std::vector<std::uint32_t>{4, 5}));
  ASSERT_TRUE(in.getNextTransaction(t));
  EXPECT_FALSE(in.getNextTransaction(t));
}

TEST(TemporaryDataset, EmptyAndCutFiles) {
  test_dir dir;
  write_file("empty.tmp", "");
  binFSin<std::uint16_t> empty("empty.tmp");
  std::vector<std::uint16_t> t;
  EXPECT_FALSE(empty.getNextTransaction(t));
  write_file("cut.tmp", std::string("\x03\x00\x01\x00", 4));  // length 3, one item
  binFSin<std::uint16_t> cut("cut.tmp");
  EXPECT_THROW(cut.getNextTransaction(t), run_error);
  EXPECT_FALSE(binFSin<std::uint8_t>("absent.tmp").isOpen());
}

TEST(TemporaryDataset, FullDiskIsAnError) {
  binFSout<std::uint32_t> out("/dev/full", false);
  ASSERT_TRUE(out.isOpen());
  std::vector<std::uint32_t> t = {1, 2};
  try {
    out.writeTransaction(t.data(), 2);
    out.close();
    FAIL() << "a write to /dev/full passed";
  } catch (const run_error& e) {
    EXPECT_STREQ(e.what(), "/dev/full could not be written!");
  }
}

TEST(Conversion, GeneratorLayoutToFimiText) {
  test_dir dir;
  std::vector<std::int32_t> raw = {1, 1, 3, 5, 7, 9, 2, 2, 0, 3, 3, 1, 42};
  write_file("in.bin", std::string(reinterpret_cast<const char*>(raw.data()), raw.size() * 4));
  {
    ibmFSin in("in.bin");
    asciiFSout out("out.dat");
    ASSERT_TRUE(in.isOpen() && out.isOpen());
    std::vector<std::int32_t> t;
    while (in.getNextTransaction(t)) out.writeTransaction(t);
    out.close();
  }
  EXPECT_EQ(read_file("out.dat"), "5 7 9 \n42 \n");  // the empty record writes nothing
  asciiFSout full("/dev/full");
  full.writeTransaction({1});
  EXPECT_THROW(full.close(), run_error);
}

TEST(Conversion, ConverterToolEndToEnd) {
  test_dir dir;
  std::vector<std::int32_t> raw = {0, 0, 2, 10, 20, 0, 1, 1, 30};
  write_file("in.bin", std::string(reinterpret_cast<const char*>(raw.data()), raw.size() * 4));
  std::string cmd = std::string(IBM2FIMI_BIN) + " in.bin out.dat";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(read_file("out.dat"), "10 20 \n30 \n");
  cmd = std::string(IBM2FIMI_BIN) + " absent.bin out.dat 2>/dev/null";
  EXPECT_NE(std::system(cmd.c_str()), 0);
}

}  // namespace
