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
  // Only a regular file can be split; a file that cannot be opened gives the
  // caller's message.
  EXPECT_EQ(run_error_of([] { read_part("/dev/null", 0, 2, 4); }),
            "/dev/null: the input must be a regular file to be split");
  EXPECT_EQ(run_error_of([] { fimi_reader r("absent.dat", "ERROR: Cannot open input file!"); }),
            "ERROR: Cannot open input file!");
}

}  // namespace
