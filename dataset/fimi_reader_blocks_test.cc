// The reader keeps its state across read blocks: the same lines, items and
// errors (with their line numbers) for every block size, down to one byte.
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
      {"12 345\r\n\n6,7 7\n4294967295", "12 345 ||6 7 7 |4294967295 |"},
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
    for (std::size_t block : {1, 2, 3, 4, 5, 6, 7, 11, 4096})
      EXPECT_EQ(read_all(path, block), c.expected) << "block " << block << ": " << c.text;
  }
}

}  // namespace
