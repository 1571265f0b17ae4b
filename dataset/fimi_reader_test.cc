#include "dataset/fimi_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

using lines_t = std::vector<std::vector<std::uint32_t>>;

lines_t read_all(const std::string& name) {
  fimi_reader r(name, "cannot open");
  lines_t out;
  std::vector<std::uint32_t> items;
  while (r.next_line(items)) out.push_back(items);
  return out;
}

std::string error_of(const std::string& name) {
  return run_error_of([&] { read_all(name); });
}

TEST(FimiReader, ReadsTheLineSyntax) {
  struct Case {
    std::string text;
    lines_t lines;
  } cases[] = {
      {"", {}},
      {"\n", {{}}},
      {"3 5 3\n", {{3, 5, 3}}},  // duplicates are the caller's business
      {"12a7\n", {{12, 7}}},     // letters separate
      {"1 2\r\n\r\n3\r\n", {{1, 2}, {}, {3}}},
      {"1 2\n\n2 3", {{1, 2}, {}, {2, 3}}},  // final line without newline
      {"4294967295 0\n", {{4294967295u, 0}}},
      {"1,2\t3 \n", {{1, 2, 3}}},
      {"5-\n", {{5}}},       // a minus after a number is a separator
      {"1. 2\n", {{1, 2}}},  // a point not followed by a digit
      {"a.5\n", {{5}}},      // a point not preceded by a digit
      {"007\n", {{7}}},
  };
  test_dir dir;
  for (const Case& c : cases) {
    write_file("in.dat", c.text);
    EXPECT_EQ(read_all("in.dat"), c.lines) << c.text;
  }
}

TEST(FimiReader, ReportsNumbersThatWouldChangeSilently) {
  struct Case {
    std::string text, message;
  } cases[] = {
      {"1 2\n3\n4 -5\n", "in.dat:3: minus sign before a number"},
      {"-1\n", "in.dat:1: minus sign before a number"},
      {"1\n2\n1.5\n", "in.dat:3: decimal point inside a number"},
      {"4294967296\n", "in.dat:1: item id 4294967296 does not fit 32 bits"},
      {"1\n99999999999999 2\n", "in.dat:2: item id 99999999999999 does not fit 32 bits"},
      {"1\n2\n3\n4 2.5", "in.dat:4: decimal point inside a number"},
  };
  test_dir dir;
  for (const Case& c : cases) {
    write_file("in.dat", c.text);
    EXPECT_EQ(error_of("in.dat"), c.message) << c.text;
  }
  EXPECT_EQ(run_error_of([] { fimi_reader r("absent.dat", "ERROR: Cannot open input file!"); }),
            "ERROR: Cannot open input file!");
}

}  // namespace
