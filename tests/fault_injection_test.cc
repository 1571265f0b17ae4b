// Fault injection against the real binary: full devices, a temporary dataset
// that cannot be created or cut, unreadable inputs, a temporary dataset that
// vanishes during the run, and two runs sharing one working directory.
//
// Every failure must end with exactly one line on stderr, exit status 1, no
// "Total time" on stdout, and no output file that looks complete: a run removes
// the output file it created when it fails (an output that is not a regular
// file, such as /dev/full, is left alone; a file the run never opened is not
// touched).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/ranks.h"
#include "tests/support/sanitizer.h"

namespace {

// The shape of every failed run.
void expect_clean_failure(const run_outcome& r, const std::string& message) {
  EXPECT_EQ(r.exit_status, 1) << message << ", signal " << r.signal_number;
  EXPECT_EQ(r.stderr_text, message + "\n");
  EXPECT_EQ(r.stdout_text.find("Total time"), std::string::npos) << message;
}

// Lines "i i+1 i+2" (i cycling below 50): every item is frequent at sigma 2,
// so the engine runs.
std::string chain_lines(int n) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += std::to_string(i % 50) + " " + std::to_string(i % 50 + 1) + " " +
            std::to_string(i % 50 + 2) + "\n";
  return text;
}

// More than a pipe holds: when its write returns, the reader has consumed part
// of it, so the run is inside its first scan with "dataset.tmp" open.
std::string more_than_a_pipe() { return chain_lines(40000); }

// Standard output on a pipe nobody reads: a write error, not death by SIGPIPE
// (on a full device: tests/whole_output_test.cc).
TEST(FaultInjection, StandardOutputThatCannotBeWritten) {
  test_dir s("fault");
  write_file(s.file("in.dat"), chain_lines(200));
  int fds[2] = {-1, -1};
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  run_io io;
  io.stdout_fd = fds[1];
  kestrel_run running(s.path(), {"input", "in.dat", "output", "out.txt", "sigma", "2"}, io);
  close(fds[1]);
  const run_outcome& r = running.finish();
  ASSERT_EQ(r.signal_number, 0);
  expect_clean_failure(r, "standard output could not be written!");
  EXPECT_FALSE(path_exists(s.file("out.txt")));
}

// A 30 MB address-space limit and a line of two million distinct items: the
// first scan runs out of memory. (The sanitizer runtime needs far more address
// space than any limit can leave, so that build skips this.)
TEST(FaultInjection, MemoryExhausted) {
  if (kSanitizedBuild) GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
  test_dir s("fault");
  std::string line;
  for (int i = 0; i < 2000000; ++i) line += std::to_string(i) + " ";
  write_file(s.file("big.dat"), line + "\n");
  run_io io;
  io.program = "/bin/sh";
  const run_outcome r = run_kestrel(
      s.path(),
      {"-c", "ulimit -v 30000 && exec \"$0\" input big.dat output out.txt sigma 1", KESTREL_BIN},
      io);
  expect_clean_failure(r, "out of memory");
  EXPECT_FALSE(path_exists(s.file("out.txt")));
  EXPECT_FALSE(path_exists(s.file("dataset.tmp")));
}

// The temporary dataset disappears while the first scan still reads the input
// (through a FIFO, so the moment is under the test's control): the next pass
// cannot reopen it. Without Winnow passes that is pair counting; with a monotone
// constraint and preloops 2 it is the first Winnow pass. A directory in its
// place opens for reading but not for the in-place rewrite.
TEST(FaultInjection, TemporaryDatasetVanishesDuringTheRun) {
  struct Case {
    std::vector<std::string> extra;
    bool directory_instead;  // a directory takes the name: readable, not writable
    std::string message;
  } cases[] = {
      {{}, false, "dataset.tmp could not be opened!"},
      {{"preloops", "2", "lengeq", "[2]"}, false, "dataset.tmp i: could not be opened!"},
      {{"preloops", "2", "lengeq", "[2]"}, true, "dataset.tmp o: could not be opened!"},
      {{}, true, "dataset.tmp could not be opened!"},
  };
  for (const Case& c : cases) {
    test_dir s("fault");
    ASSERT_EQ(mkfifo(s.file("in.fifo").c_str(), 0644), 0);
    std::vector<std::string> args{"input", "in.fifo", "output", "out.txt", "sigma", "2"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    kestrel_run running(s.path(), args);
    const int fd = open(s.file("in.fifo").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    write_all(fd, more_than_a_pipe());
    ASSERT_EQ(unlink(s.file("dataset.tmp").c_str()), 0);
    if (c.directory_instead) {
      ASSERT_EQ(mkdir(s.file("dataset.tmp").c_str(), 0755), 0);
    }
    write_all(fd, chain_lines(100));
    close(fd);
    expect_clean_failure(running.finish(), c.message);
    // Levels 0 and 1 had been written: the partial output is removed.
    EXPECT_FALSE(path_exists(s.file("out.txt"))) << c.message;
  }
}

// Two runs in one directory: the second fails at once and leaves the first's
// temporary dataset and output intact.
TEST(FaultInjection, SecondRunInTheSameDirectoryIsRefused) {
  test_dir s("fault");
  write_file(s.file("plain.dat"), chain_lines(300));
  const run_outcome alone =
      run_kestrel(s.path(), {"input", "plain.dat", "output", "alone.txt", "sigma", "2"});
  ASSERT_EQ(alone.exit_status, 0) << alone.stderr_text;
  const std::string expected = read_file(s.file("alone.txt"));
  ASSERT_NE(expected, "");

  ASSERT_EQ(mkfifo(s.file("in.fifo").c_str(), 0644), 0);
  kestrel_run first(s.path(), {"input", "in.fifo", "output", "first.txt", "sigma", "2"});
  const int fd = open(s.file("in.fifo").c_str(), O_WRONLY);  // the first holds the lock now
  ASSERT_GE(fd, 0);
  write_all(fd, chain_lines(100));
  const run_outcome second =
      run_kestrel(s.path(), {"input", "plain.dat", "output", "second.txt", "sigma", "2"});
  expect_clean_failure(second, "dataset.tmp is in use by another KESTREL run in this directory!");
  EXPECT_FALSE(path_exists(s.file("second.txt")));
  EXPECT_TRUE(path_exists(s.file("dataset.tmp")));
  write_all(fd, chain_lines(300).substr(chain_lines(100).size()));
  close(fd);
  const run_outcome& first_outcome = first.finish();
  ASSERT_EQ(first_outcome.exit_status, 0) << first_outcome.stderr_text;
  EXPECT_EQ(read_file(s.file("first.txt")), expected);
  EXPECT_FALSE(path_exists(s.file("dataset.tmp")));
  // The lock goes with the run: a third run works.
  const run_outcome third =
      run_kestrel(s.path(), {"input", "plain.dat", "output", "third.txt", "sigma", "2"});
  EXPECT_EQ(third.exit_status, 0) << third.stderr_text;
  EXPECT_EQ(read_file(s.file("third.txt")), expected);
}

}  // namespace

// Under mpirun (KESTREL_RANKS set): the temporary dataset of one rank alone
// fails, on a full device during the first scan or when it is cut. Every rank
// ends with status 1, rank 0 alone prints that rank's line, and neither the
// output nor any rank's temporary dataset is left.
TEST(FaultInjection, OneRanksTemporaryDatasetEndsEveryRank) {
  if (mpi_ranks() == 0) GTEST_SKIP() << "KESTREL_RANKS unset";
  const std::string last = "dataset.tmp." + std::to_string(mpi_ranks() - 1);
  const struct {
    const char* device;
    int lines;
    const char* message;
  } cases[] = {{"/dev/full", 200000, "could not be written!"},
               {"/dev/null", 200, "could not be cut!"}};
  for (const auto& c : cases) {
    for (const std::string& name : {std::string("dataset.tmp.0"), last}) {
      test_dir s("fault");
      write_file(s.file("in.dat"), chain_lines(c.lines));
      ASSERT_EQ(symlink(c.device, s.file(name).c_str()), 0);
      const run_outcome r =
          run_ranks(s.path(), {"input", "in.dat", "output", "out.txt", "sigma", "2"});
      expect_clean_failure(r, name + " " + c.message);
      EXPECT_FALSE(path_exists(s.file("out.txt"))) << name;
      // Every rank's file goes; the link, not the run's, stays.
      for (int rank = 0; rank < mpi_ranks(); ++rank) {
        const std::string file = "dataset.tmp." + std::to_string(rank);
        EXPECT_EQ(path_exists(s.file(file)), file == name) << name;
      }
    }
  }
}

namespace {

// The directory's entries: each file with its bytes, each link with its
// target, each directory; the files that capture a run's streams aside.
std::map<std::string, std::string> entries_of(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("stdout-", 0) == 0 || name.rfind("stderr-", 0) == 0) continue;
    if (e.is_symlink())
      entries[name] = "link to " + std::filesystem::read_symlink(e.path()).string();
    else
      entries[name] = e.is_directory() ? "directory" : "file: " + read_file(e.path().string());
  }
  return entries;
}

// Runs that fail on what they find in the directory (each of its entries:
// 'f' a file of that text, 'l' a link to that target, 'd' a directory). A
// failed run leaves the directory as it found it: no output, no temporary
// dataset or spill file, and a file, link or directory that was there
// unchanged (an output that is not a regular file, such as /dev/full, is left
// alone; a file the run never opened is not touched).
TEST(FaultInjection, AFailedRunLeavesTheDirectoryAsItFoundIt) {
  // Eight items in 60 lines: levels that spill when the windows are planned
  // against one byte.
  std::string dense;
  for (int t = 0; t < 60; ++t) {
    for (int i = 0; i < 8; ++i)
      if ((t * 7 + i * 3) % 5 != 0) dense += std::to_string(i) + " ";
    dense += "\n";
  }
  const std::string chain = chain_lines(200);
  const struct {
    std::string input, output;
    std::vector<std::string> more;                    // after sigma 2
    std::vector<std::array<std::string, 3>> entries;  // kind, name, text or target
    std::string message;
  } cases[] = {
      // clang-format off
      // The output on a full device, directly and through a link.
      {"in.dat", "/dev/full", {}, {}, "/dev/full could not be written!"},
      {"in.dat", "full.txt", {}, {{"l", "full.txt", "/dev/full"}},
       "full.txt could not be written!"},
      // What stands at "dataset.tmp": a link to /dev/full (the failure shows at
      // the flush of a small input, at a write of a large one), a link to
      // /dev/null (writes succeed, truncating does not), or a directory (which
      // stops even root, for whom permission bits do not).
      {"in.dat", "out.txt", {},
       {{"f", "in.dat", chain_lines(10)}, {"l", "dataset.tmp", "/dev/full"}},
       "dataset.tmp could not be written!"},
      {"in.dat", "out.txt", {},
       {{"f", "in.dat", chain_lines(200000)}, {"l", "dataset.tmp", "/dev/full"}},
       "dataset.tmp could not be written!"},
      {"in.dat", "out.txt", {}, {{"l", "dataset.tmp", "/dev/null"}},
       "dataset.tmp could not be cut!"},
      {"in.dat", "out.txt", {}, {{"d", "dataset.tmp", ""}}, "dataset.tmp could not be opened!"},
      // Unreadable inputs.
      {"adir", "out.txt", {}, {{"d", "adir", ""}}, "adir could not be read!"},
      {"absent.dat", "out.txt", {}, {}, "ERROR: Cannot open input file!"},
      {"in.dat", "out.txt", {"attributes", "adir", "sumleq", "[0,5]"}, {{"d", "adir", ""}},
       "adir could not be read!"},
      // A failure before the output is created leaves an old file alone.
      {"in.dat", "out.txt", {}, {{"f", "in.dat", "1 2\n3 -4\n"}, {"f", "out.txt", "kept\n"}},
       "in.dat:2: minus sign before a number"},
      // "dataset.tmp" named as the input (which the first scan would empty
      // before reading it) or as the output (which would overwrite the data).
      {"dataset.tmp", "out.txt", {}, {{"f", "dataset.tmp", chain}},
       "dataset.tmp: the input file cannot be the temporary dataset!"},
      {"./link.dat", "out.txt", {}, {{"f", "dataset.tmp", chain}, {"l", "link.dat", "dataset.tmp"}},
       "./link.dat: the input file cannot be the temporary dataset!"},
      {"in.dat", "dataset.tmp", {}, {{"f", "dataset.tmp", chain}},
       "dataset.tmp: the output file cannot be the temporary dataset!"},
      // The file a level spills to on a full device (links in place of both
      // spill files; every in-memory level spills).
      {"in.dat", "out.txt", {"hop", "2", "threads", "1", "testing.level_window_bytes", "1"},
       {{"f", "in.dat", dense}, {"l", "dataset.tmp.level0", "/dev/full"},
        {"l", "dataset.tmp.level1", "/dev/full"}},
       "dataset.tmp.level1 could not be written!"},
      // clang-format on
  };
  for (const auto& c : cases) {
    test_dir s("fault");
    write_file("in.dat", chain);
    for (const auto& [kind, name, text] : c.entries) {
      if (kind == "f") write_file(name, text);
      const int made = kind == "l"   ? symlink(text.c_str(), name.c_str())
                       : kind == "d" ? mkdir(name.c_str(), 0755)
                                     : 0;
      ASSERT_EQ(made, 0) << name;
    }
    std::map<std::string, std::string> before = entries_of(s.path());
    // A run takes "dataset.tmp" as its own before it looks at the output's
    // name: named as the output, a stale one goes as any run's would.
    if (c.output == "dataset.tmp") before.erase("dataset.tmp");
    std::vector<std::string> args = {"input", c.input, "output", c.output, "sigma", "2"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const run_outcome r = run_kestrel(s.path(), args);
    SCOPED_TRACE(r.command);
    expect_clean_failure(r, c.message);
    EXPECT_TRUE(entries_of(s.path()) == before);
  }
  EXPECT_TRUE(path_exists("/dev/full"));
}

}  // namespace
