// The output file is whole or absent: a run writes it under a temporary name
// and renames it at the end (util/partial_output.h). These cases follow the
// name through the real binary and the library: a symbolic link, a rename that
// fails, a directory the run may not write in. A run killed on the way is in
// tests/interrupt_test.cc.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "include/kestrel/kestrel.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

const char kData[] = "1 2 3\n1 2\n2 3\n1 2 3 4\n";

// Through a symbolic link the file it names is replaced and the link stays;
// a run that fails at the very end (standard output full) leaves that file
// as it was, and no temporary file behind.
TEST(WholeOutput, ASymbolicLinkKeepsPointingAtTheReplacedFile) {
  test_dir dir("whole");
  write_file("in.dat", kData);
  write_file("target.txt", "the previous result\n");
  ASSERT_EQ(symlink("target.txt", "link.txt"), 0);
  const std::vector<std::string> args = {"input", "in.dat", "output", "link.txt", "sigma", "1"};
  run_io full;
  full.stdout_path = "/dev/full";
  const run_outcome failed = run_kestrel(dir.path(), args, full);
  EXPECT_EQ(failed.exit_status, 1);
  EXPECT_EQ(failed.stderr_text, "standard output could not be written!\n");
  EXPECT_EQ(read_file("target.txt"), "the previous result\n");
  EXPECT_EQ(partial_output_of(dir.path(), "target.txt"), "");

  const run_outcome r = run_kestrel(dir.path(), args);
  EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
  const run_outcome plain =
      run_kestrel(dir.path(), {"input", "in.dat", "output", "plain.txt", "sigma", "1"});
  ASSERT_NE(plain.output_text, "");
  EXPECT_EQ(read_file("target.txt"), plain.output_text);
  struct stat st;
  ASSERT_EQ(lstat("link.txt", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(partial_output_of(dir.path(), "target.txt"), "");
}

// The rename at the end fails: the output's name became a directory that is
// not empty while the run went on (chmod cannot make the case for root).
// One line, status 1, the temporary file gone, the directory untouched.
TEST(WholeOutput, AFailedRenameIsAnErrorAndLeavesNoFile) {
  test_dir dir("whole");
  const std::vector<std::vector<std::uint32_t>> rows = {{1, 2, 3}, {1, 2}, {2, 3}, {1, 2, 3, 4}};
  kestrel::run_description d;
  d.transactions = &rows;
  d.sigma = 1;
  d.output = "out.txt";
  kestrel::run_hooks hooks;
  hooks.report = [](const char* text) {
    if (std::strstr(text, "Total time") == nullptr) return;
    ASSERT_EQ(mkdir("out.txt", 0755), 0);
    write_file("out.txt/keep", "x");
  };
  try {
    kestrel::mine(d, hooks);
    ADD_FAILURE() << "the run did not fail";
  } catch (const kestrel::run_error& e) {
    EXPECT_STREQ(e.what(), "out.txt could not be written!");
  }
  EXPECT_EQ(partial_output_of(dir.path(), "out.txt"), "");
  EXPECT_EQ(read_file("out.txt/keep"), "x");
}

// A directory the run may not create files in: one line, status 1, and the
// file already there unchanged. Root may write anywhere: skipped for root.
TEST(WholeOutput, AReadOnlyDirectoryIsAnErrorAndKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes in a read-only directory";
  test_dir dir("whole");
  write_file("in.dat", kData);
  ASSERT_EQ(mkdir("ro", 0755), 0);
  write_file("ro/out.txt", "the previous result\n");
  ASSERT_EQ(chmod("ro", 0555), 0);
  const run_outcome r =
      run_kestrel(dir.path(), {"input", "in.dat", "output", "ro/out.txt", "sigma", "1"});
  chmod("ro", 0755);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.stderr_text, "ro/out.txt could not be opened for writing!\n");
  EXPECT_EQ(read_file("ro/out.txt"), "the previous result\n");
}

}  // namespace
