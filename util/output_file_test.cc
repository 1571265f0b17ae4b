#include "util/output_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "util/error.h"

namespace {

TEST(OutputFile, WritesLabelsAndSupportsAndAppends) {
  const std::string name = "/tmp/kestrel_output_file_test.txt";
  {
    output_file f(name, "w+");
    f.write_uint_blank(0);
    f.write_uint_blank(4294967295u);
    f.write_support(7);
    f.close();
  }
  {
    output_file f(name, "a");
    f.write(std::string(100000, 'x'));  // larger than the buffer
    f.write_support(0);
    f.close();
  }
  std::ifstream in(name);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "0 4294967295 (7)\n" + std::string(100000, 'x') + "(0)\n");
  std::remove(name.c_str());
}

TEST(OutputFile, FullDiskAndUnopenableFileAreErrors) {
  output_file full("/dev/full", "a");
  full.write_support(1);
  try {
    full.close();
    FAIL();
  } catch (const run_error& e) {
    EXPECT_STREQ(e.what(), "/dev/full could not be written!");
  }
  try {
    output_file bad("/nonexistent/dir/out.txt", "w+");
    FAIL();
  } catch (const run_error& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/dir/out.txt could not be opened for writing!");
  }
}

}  // namespace
