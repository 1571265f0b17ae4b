// Items by name on the command line: names2fimi's FIMI file and map mined with
// the "names" option write every item as its name and change nothing else;
// a map that lacks a written id fails the run; a file without any item id
// completes as before and says so on stderr.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

using args = std::vector<std::string>;

run_outcome run(const args& a, const std::string& program = KESTREL_BIN) {
  return run_here(program, a);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The map file's names by id.
std::map<std::string, std::string> read_map(const std::string& file) {
  std::map<std::string, std::string> names;
  for (std::string l : lines_of(read_file(file))) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (!l.empty()) names[l.substr(0, l.find(' '))] = l.substr(l.find(' ') + 1);
  }
  return names;
}

// An output file of ids with every item replaced by its name.
std::string with_names(const std::string& output, const std::map<std::string, std::string>& names) {
  std::string out;
  for (const std::string& line : lines_of(output)) {
    const std::size_t support = line.rfind('(');
    std::istringstream items(line.substr(0, support));
    for (std::string id; items >> id;) out += names.at(id) + " ";
    out += line.substr(support) + "\n";
  }
  return out;
}

TEST(Names, OutputLinesCarryNamesAndNothingElseChanges) {
  test_dir dir;
  // Digits, non-ASCII bytes and parentheses inside names; several supports.
  std::string basket;
  for (int t = 0; t < 60; ++t) {
    basket += "milk";
    if (t % 2) basket += " bread";
    if (t % 3) basket += ",eggs2";
    if (t % 4) basket += "\tcaf\xC3\xA9";
    if (t % 5) basket += " (x)";
    basket += "\n";
  }
  write_file("basket.txt", basket);
  ASSERT_EQ(run({"basket.txt", "b.dat", "b.map"}, NAMES2FIMI_BIN).exit_status, 0);
  // A map written by hand may hold names with blanks and commas too; a long
  // one (read in many blocks, looked up in a table by id) may name ids the
  // data never holds, before the ones it does.
  const std::string hand = "0 whole milk\n1 rye, sliced\n2 eggs\r\n\n3 caf\xC3\xA9\n4 (x)";
  write_file("hand.map", hand);
  std::string unused;
  for (int id = 100; id < 20100; ++id) unused += std::to_string(id) + " unused\n";
  write_file("long.map", unused + hand);
  for (const std::string map : {"b.map", "hand.map", "long.map"}) {
    for (const args& more : {args{"sigma", "10"}, args{"sigma", "20", "supseteq", "[3,1]"},
                             args{"sigma", "5", "threads", "2", "hop", "2"}}) {
      args plain = {"input", "b.dat", "output", "ids.txt"};
      plain.insert(plain.end(), more.begin(), more.end());
      args named = plain;
      named[3] = "names.txt";
      named.insert(named.end(), {"names", map});
      const run_outcome ids = run(plain), names = run(named);
      ASSERT_EQ(ids.exit_status, 0) << ids.stderr_text;
      ASSERT_EQ(names.exit_status, 0) << names.stderr_text;
      EXPECT_EQ(names.stderr_text, "");
      EXPECT_GT(lines_of(read_file("ids.txt")).size(), 4u);
      EXPECT_EQ(read_file("names.txt"), with_names(read_file("ids.txt"), read_map(map)))
          << map << " " << more[1];
    }
  }
}

TEST(Names, AMissingNameOrABadMapIsOneLine) {
  test_dir dir;
  write_file("in.dat", "0 1 2\n0 1\n0 7\n");
  struct Case {
    std::string map, text, sigma, message;
  } cases[] = {
      {"some.map", "0 a\n1 b\n7 c\n", "1", "some.map: item 2 has no name"},  // 2 is frequent at 1
      {"dup.map", "0 a\n1 b\n0 c\n", "2", "dup.map:3: item 0 is named twice"},
      {"bad1.map", "0 a\nx b\n", "2", "bad1.map:2: expected \"<id> <name>\""},
      {"bad2.map", "0 a\n1\n", "2", "bad2.map:2: expected \"<id> <name>\""},
      {"bad3.map", "0 a\n1 \n", "2", "bad3.map:2: expected \"<id> <name>\""},
      {"bad4.map", "4294967296 a\n", "2", "bad4.map:1: item id 4294967296 does not fit 32 bits"},
      {"absent.map", "", "2", "absent.map could not be opened!"},
      {".", "", "2", ". could not be read!"},
  };
  for (const Case& c : cases) {
    if (!c.text.empty()) write_file(c.map, c.text);
    const run_outcome o =
        run({"input", "in.dat", "output", "out.txt", "sigma", c.sigma, "names", c.map});
    EXPECT_EQ(o.exit_status, 1) << c.map;
    EXPECT_EQ(o.stderr_text, c.message + "\n");
    EXPECT_FALSE(o.output_exists) << c.map;
  }
  // An id the run does not write needs no name.
  const run_outcome o =
      run({"input", "in.dat", "output", "out.txt", "sigma", "2", "names", "some.map"});
  ASSERT_EQ(o.exit_status, 0) << o.stderr_text;
  std::vector<std::string> lines = lines_of(read_file("out.txt"));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"(3)", "a (3)", "b (2)", "b a (2)"}));
}

TEST(Names, AFileWithoutItemIdsSaysSoAndCompletes) {
  test_dir dir;
  const std::string warning =
      " holds no decimal item ids (every line is an empty transaction); "
      "names2fimi converts a file of named items\n";
  struct Case {
    std::string text, output;
    bool warns;
  } cases[] = {
      {"milk bread\nmilk eggs\nmilk bread eggs\n", "(3)\n", true},
      {"\n\n", "(2)\n", true},
      {"", "", false},
      {"milk2 bread\nmilk2\n", "(2)\n2 (2)\n", false},  // digits inside a name are an item
      {"1 2\n1\n", "(2)\n1 (2)\n", false},
  };
  for (const Case& c : cases) {
    write_file("in.dat", c.text);
    const run_outcome o = run({"input", "in.dat", "output", "out.txt", "sigma", "2"});
    EXPECT_EQ(o.exit_status, 0) << c.text;
    EXPECT_EQ(o.stderr_text, c.warns ? "in.dat" + warning : "") << c.text;
    EXPECT_EQ(read_file("out.txt"), c.output) << c.text;
  }
}

}  // namespace
