// The converter as a user runs it: records of the generator's binary layout
// become FIMI lines, and every failure is one line on stderr with status 1.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

std::string raw_ints(const std::vector<std::int32_t>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4);
}

run_outcome ibm2fimi(const std::vector<std::string>& args) { return run_here(IBM2FIMI_BIN, args); }

TEST(Ibm2Fimi, RecordsBecomeLines) {
  test_dir dir;
  struct Case {
    std::vector<std::int32_t> ints;
    std::string text;
  } cases[] = {
      {{1, 1, 3, 5, 7, 9, 2, 2, 0, 3, 3, 1, 42}, "5 7 9 \n42 \n"},  // the empty record writes nothing
      {{0, 0, 2, 10, 20, 0, 1, 1, 30}, "10 20 \n30 \n"},
      {{0, 0, 2, 10, 20, 0, 1, -1, 30}, "10 20 \n"},  // a negative count ends the input
      {{0, 0, 2, 10, 20, 0, 1, 3, 30}, "10 20 \n"},   // so does a record cut short
      {{}, ""},
  };
  for (const Case& c : cases) {
    write_file("in.bin", raw_ints(c.ints));
    const run_outcome r = ibm2fimi({"in.bin", "out.dat"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(read_file("out.dat"), c.text);
  }
}

TEST(Ibm2Fimi, FailuresAreOneLine) {
  test_dir dir;
  write_file("in.bin", raw_ints({0, 0, 2, 10, 20}));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"absent.bin", "out.dat"}, "absent.bin could not be opened!\n"},
      {{"in.bin", "/nonexistent/out.dat"}, "/nonexistent/out.dat could not be opened for writing!\n"},
      {{"in.bin", "/dev/full"}, "/dev/full could not be written!\n"},
      {{"in.bin"}, "Usage: ibm2fimi <binary-in> <fimi-out>\n"},
  };
  for (const Case& c : cases) {
    const run_outcome r = ibm2fimi(c.args);
    EXPECT_EQ(r.exit_status, 1) << c.message;
    EXPECT_EQ(r.stderr_text, c.message);
  }
}

}  // namespace
