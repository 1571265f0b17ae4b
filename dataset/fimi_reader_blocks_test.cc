// The line syntax, and the numbers that would change silently, read with every
// block size down to one byte: the reader keeps its state across read blocks,
// so the lines, items and errors (with their line numbers) are the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/fimi_reader.h"
#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

// Every line of the file, or the error message.
std::string read_all(const std::string& path, std::size_t block) {
  std::string result;
  const std::string error = run_error_of([&] {
    fimi_reader reader(path, "cannot open", block);
    std::vector<std::uint32_t> items;
    while (reader.next_line(items)) {
      for (std::uint32_t v : items) result += std::to_string(v) + " ";
      result += "|";
    }
  });
  return error == "no error" ? result : result + "error " + error;
}

TEST(FimiReaderBlocks, EveryBlockSizeReadsTheSame) {
  test_dir dir;
  const std::string path = dir.file("in.dat");
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"", ""},
      {"\n", "|"},
      {"3 5 3\n", "3 5 3 |"},  // duplicates are the caller's business
      {"12a7\n", "12 7 |"},    // letters separate
      {"1 2\r\n\r\n3\r\n", "1 2 ||3 |"},
      {"1 2\n\n2 3", "1 2 ||2 3 |"},  // final line without newline
      {"4294967295 0\n", "4294967295 0 |"},
      {"1,2\t3 \n", "1 2 3 |"},
      {"5-\n", "5 |"},       // a minus after a number is a separator
      {"1. 2\n", "1 2 |"},   // a point not followed by a digit
      {"a.5\n", "5 |"},      // a point not preceded by a digit
      {"007\n", "7 |"},
      {"12 345\r\n\n6,7 7\n4294967295", "12 345 ||6 7 7 |4294967295 |"},
      {"1 2\n3\n4 -5\n", "1 2 |3 |error " + path + ":3: minus sign before a number"},
      {"-1\n", "error " + path + ":1: minus sign before a number"},
      {"1\n2\n1.5\n", "1 |2 |error " + path + ":3: decimal point inside a number"},
      {"4294967296\n", "error " + path + ":1: item id 4294967296 does not fit 32 bits"},
      {"1\n99999999999999 2\n",
       "1 |error " + path + ":2: item id 99999999999999 does not fit 32 bits"},
      {"1\n2\n3\n4 2.5", "1 |2 |3 |error " + path + ":4: decimal point inside a number"},
      {"1 2\n3 -45\n", "1 2 |error " + path + ":2: minus sign before a number"},
      {"1 2\n\n7 0.55\n", "1 2 ||error " + path + ":3: decimal point inside a number"},
      {"9\n4294967296 1\n", "9 |error " + path + ":2: item id 4294967296 does not fit 32 bits"},
      {"1.\n.5 -\n5- x-y\n", "1 |5 |5 |"},
      // The two bytes before a number lie in the block, straddle its start or
      // lie wholly in the block before, depending on the size.
      {"x.5 a-b 7 8.x9 .-6\n", "error " + path + ":1: minus sign before a number"},
      {"x.5 a-b 7 8.x9 -.6 10\n", "5 7 8 9 6 10 |"},
      {"10 20 300\n4000 5.07\n", "10 20 300 |error " + path + ":2: decimal point inside a number"},
      {"123 45 6789-4\n", "error " + path + ":1: minus sign before a number"},
      {"4294967295 42949672950\n", "error " + path + ":1: item id 42949672950 does not fit 32 bits"},
  };
  for (const Case& c : cases) {
    write_file(path, c.text);
    for (std::size_t block : {1, 2, 3, 4, 5, 6, 7, 11, 4096, 1 << 20})
      EXPECT_EQ(read_all(path, block), c.expected) << "block " << block << ": " << c.text;
  }
}

}  // namespace
