// itemset_filter against the real kestrel binary: mining everything and filtering
// must give the itemsets that mining under the same constraints writes, for each
// keyword the filter knows, at the thresholds where a rule changes (empty itemset,
// negative and wrapped thresholds, exact means). Then its error lines.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs a shell command line; returns its exit status (-1 when killed).
int run(const std::string& cmd) {
  const int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Items of each line sorted as numbers, then the lines sorted: kestrel writes the
// items in its own order, which depends on the constraints.
std::vector<std::string> normalised(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t paren = line.find('(');
    std::istringstream items(line.substr(0, paren));
    std::vector<unsigned long> ids;
    for (unsigned long id; items >> id;) ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    std::string out;
    for (unsigned long id : ids) out += std::to_string(id) + " ";
    lines.push_back(out + line.substr(paren));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

class ItemsetFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrel-filter-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { run("rm -rf '" + dir_ + "'"); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(ItemsetFilter, KeepsWhatConstrainedMiningWrites) {
  const std::string data = std::string(KESTREL_SOURCE_DIR) + "/examples/basket.dat";
  const std::string attrs = std::string(KESTREL_SOURCE_DIR) + "/examples/prices.txt";
  auto mine = [&](const std::string& output, const std::string& constraints) {
    return run("cd '" + dir_ + "' && " + KESTREL_BIN + " input " + data + " sigma 30 attributes " +
               attrs + " output " + output + constraints + " >/dev/null");
  };
  ASSERT_EQ(mine("all.txt", ""), 0);
  const std::vector<std::string> all = normalised(read_file(path("all.txt")));
  ASSERT_GT(all.size(), 100u);
  const struct {
    const char* words;
    bool keeps_some, drops_some;
  } cases[] = {
      {"maxleq [0,40]", true, true},
      {"maxleq [0,-1]", true, false},  // wraps to 2^32-1: every value is below
      {"minleq [1,2]", true, true},
      {"minleq [0,0]", true, true},  // only the empty itemset has no minimum
      {"sumleq [0,60]", true, true},
      {"sumleq [0,-1]", false, true},  // not even the empty sum, 0
      {"sumgeq [1,30]", true, true},
      {"sumgeq [0,-5]", true, false},
      {"avggeq2 [0,50]", true, true},  // exact means: 50 * n against the sum
      {"avggeq2 [0,-1]", true, true},  // everything but the empty itemset
      {"lengeq [3]", true, true},
      {"lengeq [-1]", false, true},  // wraps: no itemset is that long
      {"sumleq [0,120] lengeq [2]", true, true},
      {"avggeq2 [1,10] maxleq [0,70] minleq [0,30]", true, true},
  };
  for (const auto& c : cases) {
    std::string quoted;  // the bracketed parameters stay one word each
    std::istringstream words(c.words);
    for (std::string w; words >> w;) quoted += " '" + w + "'";
    ASSERT_EQ(mine("pushed.txt", quoted), 0) << c.words;
    ASSERT_EQ(run(std::string(ITEMSET_FILTER_BIN) + " " + path("all.txt") + " " + attrs + " " +
                  path("filtered.txt") + quoted),
              0)
        << c.words;
    const std::vector<std::string> pushed = normalised(read_file(path("pushed.txt")));
    EXPECT_EQ(normalised(read_file(path("filtered.txt"))), pushed) << c.words;
    EXPECT_EQ(!pushed.empty(), c.keeps_some) << c.words;
    EXPECT_EQ(pushed.size() < all.size(), c.drops_some) << c.words;
  }
}

TEST_F(ItemsetFilter, ErrorsAreOneLineAndLeaveNoOutput) {
  write_file(path("in.txt"), "(9)\n1 2 (5)\n7 (3)\n");
  write_file(path("attrs.txt"), "5 6 7\n");
  write_file(path("bad.txt"), "1 2 (5)\n1 2\n");
  const std::string in = path("in.txt"), attrs = path("attrs.txt"), out = path("out.txt");
  const struct {
    std::string args, message;
  } cases[] = {
      {"", "Usage: itemset_filter <itemsets> <attributes> <filtered-out> [<keyword> <param>]...\n"
           "keywords: sumleq sumgeq maxleq minleq avggeq2 [<attr>,<threshold>], lengeq "
           "[<threshold>]\n"},
      {in + " " + attrs + " " + out + " varleq [0,1]", "varleq: not a keyword this filter knows\n"},
      {in + " " + attrs + " " + out + " sumleq 0,1", "sumleq: malformed parameters \"0,1\"\n"},
      {in + " " + attrs + " " + out + " sumleq [0]", "sumleq: malformed parameters \"[0]\"\n"},
      {in + " " + attrs + " " + out + " lengeq [1,2]", "lengeq: malformed parameters \"[1,2]\"\n"},
      {in + " " + attrs + " " + out + " sumleq [0,x]", "sumleq: \"x\" is not a whole number\n"},
      {in + " " + attrs + " " + out + " sumleq [0,4294967295]",
       "sumleq: \"4294967295\" does not fit 32 bits\n"},
      {in + " " + attrs + " " + out + " maxleq [0,4294967296]",
       "maxleq: \"4294967296\" does not fit 32 bits\n"},
      {in + " " + attrs + " " + out + " maxleq [1,5]",
       attrs + ": attribute line 1 is missing\n"},
      {in + " " + attrs + " " + out + " maxleq [0,5]",
       attrs + ": attribute line 0 has 3 values, item 7 needs one\n"},
      {path("bad.txt") + " " + attrs + " " + out + " lengeq [1]",
       path("bad.txt") + ":2: not an itemset line\n"},
      {path("none.txt") + " " + attrs + " " + out + " lengeq [1]",
       path("none.txt") + " could not be opened!\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(std::string(ITEMSET_FILTER_BIN) + " " + c.args + " 2>" + path("err.txt")), 1)
        << c.args;
    EXPECT_EQ(read_file(path("err.txt")), c.message) << c.args;
    EXPECT_NE(access(out.c_str(), F_OK), 0) << c.args;
  }
  // Without keywords every line is kept, byte for byte.
  ASSERT_EQ(run(std::string(ITEMSET_FILTER_BIN) + " " + in + " " + attrs + " " + out), 0);
  EXPECT_EQ(read_file(out), read_file(in));
}

}  // namespace
