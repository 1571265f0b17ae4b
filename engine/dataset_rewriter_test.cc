// The rewriter of "dataset.tmp" reports its failures as the first scan and the
// Winnow passes do: one message per kind of failure.
#include "engine/dataset_rewriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

TEST(DatasetRewriter, FailuresNameTheFileAndWhatFailed) {
  std::uint8_t items[3] = {1, 2, 3};
  struct Case {
    const char* path;
    const char* message;
  } cases[] = {
      {"/dev/null", "/dev/null could not be cut!"},    // writes succeed, truncating fails
      {"/dev/full", "/dev/full could not be written!"},  // the flush before the cut fails
      {"/nonexistent/dataset.tmp", "/nonexistent/dataset.tmp could not be opened!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run_error_of([&] {
                dataset_rewriter<std::uint8_t> sink(c.path);
                sink.add(items, 3);
                sink.finish();
              }),
              c.message);
  }
}

TEST(DatasetRewriter, FinishLeavesOnlyTheRecordsWritten) {
  test_dir dir;
  write_file("dataset.tmp", std::string(64, '\x07'));
  std::uint8_t items[2] = {4, 9};
  dataset_rewriter<std::uint8_t> sink("dataset.tmp");
  sink.add(items, 2);
  sink.finish();
  EXPECT_EQ(read_file("dataset.tmp"), std::string("\x02\x04\x09", 3));
}

}  // namespace
