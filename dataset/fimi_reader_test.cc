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

// The lines of part p of n, read with blocks of block_size bytes.
lines_t read_part(const std::string& name, std::uint64_t p, std::uint64_t n,
                  std::size_t block_size) {
  fimi_reader r(name, "cannot open", block_size);
  r.keep_to_part(p, n);
  lines_t out;
  std::vector<std::uint32_t> items;
  while (r.next_line(items)) out.push_back(items);
  return out;
}

TEST(FimiReader, PartsOfAFileReadEveryLineOnceInOrder) {
  std::string long_line;
  for (int i = 0; i < 300; ++i) long_line += std::to_string(i) + " ";
  const std::string texts[] = {
      "",
      "\n",
      "\n\n\n\n\n",
      "7",
      "1 2\n\n3 4 5\n6\n",
      "1 2\n\n3 4 5\n6",  // final line without newline
      "10\n" + long_line + "\n11\n" + long_line + "\n\n12",
      "123456 7\n89 1011\n1213\n",
  };
  test_dir dir;
  for (const std::string& text : texts) {
    write_file("in.dat", text);
    const lines_t whole = read_all("in.dat");
    for (std::uint64_t n = 1; n <= 9; ++n) {
      for (std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
        lines_t joined;
        for (std::uint64_t p = 0; p < n; ++p) {
          const lines_t part = read_part("in.dat", p, n, block);
          joined.insert(joined.end(), part.begin(), part.end());
        }
        ASSERT_EQ(joined, whole) << text << " in " << n << " parts, blocks of " << block;
      }
    }
  }
  // Line numbers of errors count from the part's first line.
  write_file("in.dat", "1\n2\n3\n4\n5 -6\n");
  EXPECT_EQ(run_error_of([] { read_part("in.dat", 1, 2, 4); }),
            "in.dat:2: minus sign before a number");
  // Only a regular file can be split.
  EXPECT_EQ(run_error_of([] { read_part("/dev/null", 0, 2, 4); }),
            "/dev/null: the input must be a regular file to be split");
}

}  // namespace
