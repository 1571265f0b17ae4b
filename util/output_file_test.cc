#include "util/output_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

TEST(OutputFile, WritesLabelsAndSupportsAndAppends) {
  test_dir dir;
  output_file f("out.txt", "w+");
  f.write_uint_blank(0);
  f.write_uint_blank(4294967295u);
  f.write_support(7);
  f.close();
  output_file g("out.txt", "a");
  g.write(std::string(100000, 'x'));  // larger than the buffer
  g.write_support(0);
  g.close();
  EXPECT_EQ(read_file("out.txt"), "0 4294967295 (7)\n" + std::string(100000, 'x') + "(0)\n");
}

TEST(OutputFile, FullDiskAndUnopenableFileAreErrors) {
  output_file full("/dev/full", "a");
  full.write_support(1);
  EXPECT_EQ(run_error_of([&] { full.close(); }), "/dev/full could not be written!");
  EXPECT_EQ(run_error_of([] { output_file bad("/nonexistent/dir/out.txt", "w+"); }),
            "/nonexistent/dir/out.txt could not be opened for writing!");
}

}  // namespace
