// The converter as a user runs it: a basket file of names becomes FIMI lines
// and a map, and every failure is one line on stderr with status 1. Mining
// with the map is tested in tests/names_test.cc.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

run_outcome names2fimi(const std::vector<std::string>& args) {
  return run_here(NAMES2FIMI_BIN, args);
}

TEST(Names2Fimi, NamesGetIdsInFirstSeenOrder) {
  test_dir dir;
  struct Case {
    std::string basket, fimi, map;
  } cases[] = {
      {"milk bread\nmilk eggs\nmilk bread eggs\n", "0 1\n0 2\n0 1 2\n",
       "0 milk\n1 bread\n2 eggs\n"},
      // Blanks, tabs and commas in runs separate; an empty line stays an empty
      // transaction; a CR before the newline ends the line; the last line
      // needs no newline; a name repeated in a line is written twice.
      {"a,, b\t\tc\r\n\n  \nb a a", "0 1 2\n\n\n1 0 0\n", "0 a\n1 b\n2 c\n"},
      // Any other byte belongs to the name: digits, UTF-8, quotes, "(", a CR inside.
      {"2% milk;caf\xC3\xA9 \"x\"\n(7) a\rb 12\n", "0 1 2\n3 4 5\n",
       "0 2%\n1 milk;caf\xC3\xA9\n2 \"x\"\n3 (7)\n4 a\rb\n5 12\n"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    write_file("in.txt", c.basket);
    const run_outcome r = names2fimi({"in.txt", "out.dat", "out.map"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(read_file("out.dat"), c.fimi) << c.basket;
    EXPECT_EQ(read_file("out.map"), c.map) << c.basket;
  }
}

TEST(Names2Fimi, ManyNamesAndLongLinesCrossTheBuffers) {
  test_dir dir;
  // 200,000 distinct names, three a line (the table grows many times), then
  // one line of 6 MB (longer than the read block) of two names.
  std::string basket, fimi, map;
  for (int i = 0; i < 200000; ++i) {
    const bool ends_line = i % 3 == 2 || i == 199999;
    basket += "name" + std::to_string(i) + (ends_line ? "\n" : " ");
    fimi += std::to_string(i) + (ends_line ? "\n" : " ");
    map += std::to_string(i) + " name" + std::to_string(i) + "\n";
  }
  for (int i = 0; i < 500000; ++i) {
    basket += i % 2 ? "name7 " : "longer-name ";
    fimi += (i % 2 ? "7" : "200000") + std::string(i + 1 < 500000 ? " " : "\n");
  }
  write_file("in.txt", basket + "\n");
  const run_outcome r = names2fimi({"in.txt", "out.dat", "out.map"});
  ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
  EXPECT_TRUE(read_file("out.dat") == fimi);
  EXPECT_TRUE(read_file("out.map") == map + "200000 longer-name\n");
}

TEST(Names2Fimi, FailuresAreOneLine) {
  test_dir dir;
  write_file("in.txt", "a b\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"absent.txt", "out.dat", "out.map"}, "absent.txt could not be opened!\n"},
      {{".", "out.dat", "out.map"}, ". could not be read!\n"},
      {{"in.txt", "/nonexistent/out.dat", "out.map"},
       "/nonexistent/out.dat could not be opened for writing!\n"},
      {{"in.txt", "out.dat", "/nonexistent/out.map"},
       "/nonexistent/out.map could not be opened for writing!\n"},
      {{"in.txt", "/dev/full", "out.map"}, "/dev/full could not be written!\n"},
      {{"in.txt", "out.dat", "/dev/full"}, "/dev/full could not be written!\n"},
      {{"in.txt", "out.dat"}, "Usage: names2fimi <basket-in> <fimi-out> <map-out>\n"},
  };
  for (const Case& c : cases) {
    const run_outcome r = names2fimi(c.args);
    EXPECT_EQ(r.exit_status, 1) << c.message;
    EXPECT_EQ(r.stderr_text, c.message);
  }
}

}  // namespace
