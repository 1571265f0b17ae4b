#include "levels/level_spill.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/files.h"

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

TEST(LevelSpill, WindowsReadBackHoldWholeGroupsInOrder) {
  test_dir dir;
  level8 whole = sample_level();
  const std::vector<std::string> expected = lines_of(whole);
  for (std::uint64_t max_itemsets : {1u, 2u, 3u, 4u, 5u, 100u}) {
    level_spill<std::uint8_t, std::uint16_t> spill(dir.file("spill"));
    spill.start_writing(3, 2);
    // Written in two parts, cut between groups.
    level8 first(3), second(3);
    level8 all = sample_level();
    std::uint8_t buf[3];
    all.init_read_itemsets();
    for (int i; (i = all.next_itemset(buf)) >= 0;) {
      const std::uint8_t flags[2] = {all.flag(i, 0), all.flag(i, 1)};
      (i < 4 ? first : second).add_itemset(buf, all.supports[i], flags, 2);
    }
    spill.append(first);
    spill.append(second);
    EXPECT_EQ(spill.itemsets(), 10u);
    spill.start_reading();
    level8 window(2);
    std::vector<std::string> read;
    int windows = 0;
    while (spill.read_window(window, max_itemsets, 1000)) {
      ++windows;
      EXPECT_EQ(window.k, 3);
      // A window stops only where a group ends, and holds no more groups than
      // it needs to reach max_itemsets.
      const int groups = window.number_of_groups();
      const int before_last = window.group_first(groups - 1);
      EXPECT_LT(static_cast<std::uint64_t>(before_last), std::max<std::uint64_t>(1, max_itemsets));
      for (const std::string& line : lines_of(window)) read.push_back(line);
    }
    EXPECT_EQ(read, expected) << max_itemsets;
    EXPECT_EQ(windows, max_itemsets == 1 ? 4 : max_itemsets >= 10 ? 1 : windows);
    // Read to its end: further reads find nothing.
    EXPECT_FALSE(spill.read_window(window, 100, 1000));
  }
}

TEST(LevelSpill, JoinBoundCutsWindowsToo) {
  test_dir dir;
  level_spill<std::uint8_t, std::uint16_t> spill(dir.file("spill"));
  spill.start_writing(3, 2);
  spill.append(sample_level());
  spill.start_reading();
  level8 window(3);
  std::vector<int> sizes;
  // Groups of 3, 1, 4, 2 give 3, 0, 6, 1 joins: with 3 allowed the first
  // window ends after the first group, the second after the third.
  while (spill.read_window(window, 100, 3)) sizes.push_back(window.n_itemsets);
  EXPECT_EQ(sizes, (std::vector<int>{3, 5, 2}));
}

// Writes the sample level to spill and reads it back in one window; returns
// the window's itemsets (0 when nothing was read).
std::size_t spill_sample_and_read(level_spill<std::uint8_t, std::uint16_t>& spill, level8& window) {
  spill.start_writing(3, 2);
  spill.append(sample_level());
  spill.start_reading();
  return spill.read_window(window, 100, 1000) ? lines_of(window).size() : 0;
}

TEST(LevelSpill, StartingAgainEmptiesTheFileAndTheObjectRemovesIt) {
  test_dir dir;
  const std::string name = dir.file("spill");
  {
    level_spill<std::uint8_t, std::uint16_t> spill(name);
    level8 window(3);
    ASSERT_EQ(spill_sample_and_read(spill, window), 10u);
    // A new level in the same file: only its own records are read back.
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
  EXPECT_FALSE(path_exists(name));
}

// A symbolic link at the name is written through and kept: the target is
// emptied at the end, the link left as it was found.
TEST(LevelSpill, LinkAtTheNameIsKeptAndItsTargetEmptied) {
  test_dir dir;
  const std::string name = dir.file("spill"), target = dir.file("elsewhere");
  write_file(target, "");
  ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
  {
    level_spill<std::uint8_t, std::uint16_t> spill(name);
    level8 window(3);
    ASSERT_EQ(spill_sample_and_read(spill, window), 10u);
    EXPECT_FALSE(read_file(target).empty());
  }
  char link_text[4096];
  const ssize_t n = readlink(name.c_str(), link_text, sizeof link_text);
  ASSERT_GT(n, 0) << "the link was removed";
  EXPECT_EQ(std::string(link_text, static_cast<std::size_t>(n)), target);
  EXPECT_TRUE(path_exists(target));
  EXPECT_TRUE(read_file(target).empty());
}

// A full disk (the name links to /dev/full): the failure is reported with the
// file's name, never taken for a written level.
TEST(LevelSpill, FullDiskIsAnError) {
  test_dir dir;
  const std::string name = dir.file("spill");
  ASSERT_EQ(symlink("/dev/full", name.c_str()), 0);
  level_spill<std::uint8_t, std::uint16_t> spill(name);
  spill.start_writing(3, 2);
  try {
    // The records fit the file's buffer: the failure shows when it is flushed.
    spill.append(sample_level());
    spill.start_reading();
    FAIL() << "no error";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()), name + " could not be written!");
  }
}

// A file cut short under the reader is reported, not read as a shorter level.
TEST(LevelSpill, TruncatedFileIsAnError) {
  test_dir dir;
  const std::string name = dir.file("spill");
  level_spill<std::uint8_t, std::uint16_t> spill(name);
  spill.start_writing(3, 2);
  spill.append(sample_level());
  spill.start_reading();
  ASSERT_EQ(truncate(name.c_str(), 5 * 7 + 3), 0);
  level8 window(3);
  try {
    while (spill.read_window(window, 1, 1000)) {
    }
    FAIL() << "no error";
  } catch (const run_error& e) {
    EXPECT_EQ(std::string(e.what()), name + " is truncated!");
  }
}

}  // namespace
