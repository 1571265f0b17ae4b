// The rewriter of "dataset.tmp" reports its failures as the first scan and the
// Winnow passes do: one message per kind of failure. What a cut leaves of the
// file is the temporary dataset's test.
#include "engine/dataset_rewriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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

}  // namespace
