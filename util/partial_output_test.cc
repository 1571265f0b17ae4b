#include "util/partial_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/files.h"

namespace {

// Writes text through open_output and closes the file; the partial output.
partial_output write_output(const std::string& name, const std::string& text) {
  partial_output partial;
  std::FILE* f = open_output(name, partial);
  EXPECT_NE(f, nullptr) << name;
  if (f == nullptr) return partial;
  std::fputs(text.c_str(), f);
  EXPECT_EQ(std::fclose(f), 0);
  return partial;
}

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(PartialOutput, NewOrOldFileKeepsItsNameUntilTheOutputIsWhole) {
  test_dir dir;
  const mode_t old_umask = umask(022);
  partial_output partial = write_output("out.txt", "new\n");
  // Beside the output, under a name that says what it is, with a new file's mode.
  EXPECT_EQ(partial.path.rfind(std::string("out.txt") + kPartialSuffix, 0), 0u) << partial.path;
  EXPECT_FALSE(path_exists("out.txt"));
  EXPECT_EQ(mode_of(partial.path), 0644u);
  const std::string first = partial.path;
  ASSERT_TRUE(put_in_place(partial));
  EXPECT_EQ(read_file("out.txt"), "new\n");
  EXPECT_FALSE(path_exists(first));

  // An old file stays whole until replaced (or at all, when discarded), and
  // lends its mode to the new one.
  ASSERT_EQ(chmod("out.txt", 0604), 0);
  partial = write_output("out.txt", "newer\n");
  EXPECT_EQ(mode_of(partial.path), 0604u);
  EXPECT_EQ(read_file("out.txt"), "new\n");
  const std::string second = partial.path;
  discard(partial);
  EXPECT_FALSE(path_exists(second));
  EXPECT_EQ(read_file("out.txt"), "new\n");
  partial = write_output("out.txt", "newer\n");
  ASSERT_TRUE(put_in_place(partial));
  EXPECT_EQ(read_file("out.txt"), "newer\n");
  EXPECT_EQ(mode_of("out.txt"), 0604u);
  umask(old_umask);
}

TEST(PartialOutput, SymbolicLinksLeadToTheFileReplaced) {
  test_dir dir;
  ASSERT_EQ(mkdir("sub", 0755), 0);
  write_file("sub/target.txt", "old\n");
  // A chain: a link to a relative link in another directory.
  ASSERT_EQ(symlink("target.txt", "sub/inner"), 0);
  ASSERT_EQ(symlink("sub/inner", "link.txt"), 0);
  partial_output partial = write_output("link.txt", "new\n");
  EXPECT_EQ(partial.replaces, "sub/target.txt");
  EXPECT_EQ(partial.path.rfind("sub/target.txt", 0), 0u) << partial.path;
  EXPECT_EQ(read_file("sub/target.txt"), "old\n");
  ASSERT_TRUE(put_in_place(partial));
  EXPECT_EQ(read_file("sub/target.txt"), "new\n");
  char buf[64] = {};
  EXPECT_EQ(readlink("link.txt", buf, sizeof buf - 1), 9);  // still the link
  // A link to nothing yet: the file it names is created.
  ASSERT_EQ(symlink("sub/later.txt", "dangling.txt"), 0);
  partial = write_output("dangling.txt", "made\n");
  ASSERT_TRUE(put_in_place(partial));
  EXPECT_EQ(read_file("sub/later.txt"), "made\n");
  // A loop cannot be followed: fopen reports it.
  ASSERT_EQ(symlink("loop.txt", "loop.txt"), 0);
  EXPECT_EQ(open_output("loop.txt", partial), nullptr);
}

TEST(PartialOutput, WhatCannotBeReplacedIsWrittenInPlace) {
  test_dir dir;
  partial_output partial;
  std::FILE* f = open_output("/dev/null", partial);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(partial.path.empty());
  std::fclose(f);
  EXPECT_TRUE(put_in_place(partial));
  // A missing directory or a directory as the output: no file, errno set.
  EXPECT_EQ(open_output("no_dir/out.txt", partial), nullptr);
  ASSERT_EQ(mkdir("a_dir", 0755), 0);
  EXPECT_EQ(open_output("a_dir", partial), nullptr);
  // A name near the longest a file may have still gets a temporary name.
  const std::string longest(255, 'n');
  partial = write_output(longest, "long\n");
  ASSERT_TRUE(put_in_place(partial));
  EXPECT_EQ(read_file(longest), "long\n");
}

}  // namespace
