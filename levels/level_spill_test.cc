#include "levels/level_spill.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

using level8 = frequent_level<std::uint8_t, std::uint16_t>;

// Level 3 in groups of 3, 1, 4 and 2 itemsets; the support encodes the
// itemset and every third one carries the second loose flag.
level8 sample_level() {
  level8 s(3);
  const std::vector<std::vector<std::uint8_t>> sets = {{0, 1, 2}, {0, 1, 3}, {0, 1, 9}, {0, 2, 3},
                                                       {1, 2, 3}, {1, 2, 4}, {1, 2, 5}, {1, 2, 6},
                                                       {4, 5, 6}, {4, 5, 7}};
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const std::uint8_t flags[2] = {1, static_cast<std::uint8_t>(i % 3 == 0)};
    const auto& v = sets[i];
    s.add_itemset(v.data(), static_cast<std::uint16_t>(v[0] * 100 + v[1] * 10 + v[2] + 1000), flags,
                  2);
  }
  return s;
}

// Every itemset of s as "a b c:support:flags", in order.
std::vector<std::string> lines_of(level8& s) {
  std::vector<std::string> lines;
  std::uint8_t buf[8];
  s.init_read_itemsets();
  for (int i; (i = s.next_itemset(buf)) >= 0;) {
    std::string line;
    for (int q = 0; q < s.k; ++q) line += std::to_string(buf[q]) + " ";
    line += ":" + std::to_string(s.supports[i]) + ":";
    for (int u = 0; u < s.n_loose; ++u) line += s.flag(i, u) ? "1" : "0";
    lines.push_back(line);
  }
  return lines;
}

// A window stops only where a group ends, and holds no more groups than it
// needs to reach the itemsets or the joins allowed (groups of 3, 1, 4 and 2
// itemsets give 3, 0, 6 and 1 joins); together the windows are the level.
TEST(LevelSpill, WindowsReadBackHoldWholeGroupsInOrder) {
  test_dir dir;
  level8 whole = sample_level();
  const std::vector<std::string> expected = lines_of(whole);
  struct Case {
    std::uint64_t itemsets, joins;
    std::vector<int> sizes;
  } cases[] = {
      {1, 1000, {3, 1, 4, 2}}, {2, 1000, {3, 5, 2}}, {3, 1000, {3, 5, 2}}, {4, 1000, {4, 4, 2}},
      {5, 1000, {8, 2}},       {100, 1000, {10}},    {100, 3, {3, 5, 2}},
  };
  for (const Case& c : cases) {
    level_spill<std::uint8_t, std::uint16_t> spill(dir.file("spill"));
    spill.start_writing(3, 2);
    // Written in two parts, cut between groups.
    level8 first(3), second(3);
    std::uint8_t buf[3];
    whole.init_read_itemsets();
    for (int i; (i = whole.next_itemset(buf)) >= 0;) {
      const std::uint8_t flags[2] = {whole.flag(i, 0), whole.flag(i, 1)};
      (i < 4 ? first : second).add_itemset(buf, whole.supports[i], flags, 2);
    }
    spill.append(first);
    spill.append(second);
    EXPECT_EQ(spill.itemsets(), 10u);
    spill.start_reading();
    level8 window(2);
    std::vector<std::string> read;
    std::vector<int> sizes;
    while (spill.read_window(window, c.itemsets, c.joins)) {
      EXPECT_EQ(window.k, 3);
      sizes.push_back(window.n_itemsets);
      for (const std::string& line : lines_of(window)) read.push_back(line);
    }
    EXPECT_EQ(read, expected) << c.itemsets << " " << c.joins;
    EXPECT_EQ(sizes, c.sizes) << c.itemsets << " " << c.joins;
    // Read to its end: further reads find nothing.
    EXPECT_FALSE(spill.read_window(window, 100, 1000));
  }
}

// Starting again empties the file: a new level written to the same file
// reads back only its own records. The object removes its file at the end;
// a symbolic link at the name is written through and kept, its target emptied.
TEST(LevelSpill, StartingAgainEmptiesTheFileAndTheEndRemovesItOrEmptiesALinksTarget) {
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "link" : "file");
    test_dir dir;
    const std::string name = dir.file("spill"), target = dir.file("elsewhere");
    if (link) {
      write_file(target, "");
      ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
    }
    {
      level_spill<std::uint8_t, std::uint16_t> spill(name);
      level8 window(3);
      spill.start_writing(3, 2);
      spill.append(sample_level());
      spill.start_reading();
      ASSERT_TRUE(spill.read_window(window, 100, 1000));
      ASSERT_EQ(lines_of(window).size(), 10u);
      EXPECT_FALSE(read_file(name).empty());
      level8 small(3);
      const std::uint8_t v[3] = {7, 8, 9}, flags[2] = {0, 1};
      small.add_itemset(v, 5, flags, 2);
      spill.start_writing(3, 2);
      spill.append(small);
      spill.start_reading();
      ASSERT_TRUE(spill.read_window(window, 100, 1000));
      EXPECT_EQ(lines_of(window), (std::vector<std::string>{"7 8 9 :5:01"}));
      EXPECT_FALSE(spill.read_window(window, 100, 1000));
      EXPECT_TRUE(path_exists(name));
    }
    if (!link) {
      EXPECT_FALSE(path_exists(name));
      continue;
    }
    char link_text[4096];
    const ssize_t n = readlink(name.c_str(), link_text, sizeof link_text);
    ASSERT_GT(n, 0) << "the link was removed";
    EXPECT_EQ(std::string(link_text, static_cast<std::size_t>(n)), target);
    EXPECT_TRUE(path_exists(target));
    EXPECT_TRUE(read_file(target).empty());
  }
}

// A full disk (the name links to /dev/full; the records fit the file's buffer,
// so the failure shows when it is flushed) and a file cut short under the
// reader are reported with the file's name, never taken for a written or a
// shorter level.
TEST(LevelSpill, FullDiskAndTruncatedFileAreErrors) {
  test_dir dir;
  const std::string full = dir.file("full"), cut = dir.file("cut");
  ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
  level_spill<std::uint8_t, std::uint16_t> on_full(full);
  on_full.start_writing(3, 2);
  EXPECT_EQ(run_error_of([&] {
              on_full.append(sample_level());
              on_full.start_reading();
            }),
            full + " could not be written!");
  level_spill<std::uint8_t, std::uint16_t> spill(cut);
  spill.start_writing(3, 2);
  spill.append(sample_level());
  spill.start_reading();
  ASSERT_EQ(truncate(cut.c_str(), 5 * 7 + 3), 0);
  level8 window(3);
  EXPECT_EQ(run_error_of([&] {
              while (spill.read_window(window, 1, 1000)) {
              }
            }),
            cut + " is truncated!");
}

}  // namespace
