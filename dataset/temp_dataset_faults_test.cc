// The temporary dataset's reader and writer on damaged or failing files: every
// problem is a run_error with the file's name, never a short or garbled record.
// A cut that fails is the dataset rewriter's test (engine/dataset_rewriter_test.cc).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/temp_dataset.h"
#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

// Reads every record through the fixed-capacity reader of the engine.
std::string read_error(const std::string& path, std::uint32_t capacity) {
  return run_error_of([&] {
    temp_dataset_reader<std::uint32_t> in(path);
    counting_transaction<std::uint32_t> t(capacity, 8);
    while (in.read_next(t)) {
    }
  });
}

TEST(TemporaryDatasetFaults, DamagedFilesAreReportedByName) {
  test_dir dir;
  const std::string path = dir.file("damaged.tmp");
  struct Case {
    std::vector<std::uint32_t> words;
    std::size_t cut_bytes;  // bytes removed from the end
    std::string what;
  } cases[] = {
      {{2, 1, 2, 1, 7}, 0, ""},
      {{2, 1, 2, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, " holds a record longer than expected!"},
      {{2, 1, 2, 3, 4}, 0, " is truncated!"},
      {{2, 1, 2, 1, 7}, 2, " is truncated!"},
      {{2, 1, 2, 1}, 2, " is truncated!"},  // a length cut in half
  };
  for (const Case& c : cases) {
    write_file(path, std::string(reinterpret_cast<const char*>(c.words.data()),
                                 c.words.size() * sizeof(std::uint32_t) - c.cut_bytes));
    EXPECT_EQ(read_error(path, 4), c.what.empty() ? "no error" : path + c.what) << c.what;
  }
  // A directory opens for reading but every read fails.
  EXPECT_EQ(read_error("/tmp", 4), "/tmp could not be read!");
}

TEST(TemporaryDatasetFaults, WritesToAFullDeviceFail) {
  // Few records stay in the buffer until close; many fail at a write.
  for (int records : {1, 300000}) {
    temp_dataset_writer<std::uint32_t> out("/dev/full", true);
    ASSERT_TRUE(out.is_open());
    const std::uint32_t items[3] = {1, 2, 3};
    EXPECT_EQ(run_error_of([&] {
                for (int i = 0; i < records; ++i) out.write_record(items, 3);
                out.close();
              }),
              "/dev/full could not be written!")
        << records;
  }
}

}  // namespace
