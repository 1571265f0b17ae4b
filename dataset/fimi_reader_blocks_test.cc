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
  };
  for (const Case& c : cases) {
    write_file(path, c.text);
    for (std::size_t block : {1, 2, 3, 5, 7, 4096})
      EXPECT_EQ(read_all(path, block), c.expected) << "block " << block << ": " << c.text;
  }
}

}  // namespace
