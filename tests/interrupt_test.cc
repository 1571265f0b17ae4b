// Whole-program tests of SIGINT and SIGTERM: a run stopped by either removes
// "dataset.tmp", its spill files and the output it had begun, says so in one
// line on stderr and exits with 128 + the signal's number.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

// Dense data whose levels run long: every transaction holds each of 40 items
// with probability 0.85, so at support 1200 of 2500 the levels go past ten.
std::string long_running_data() {
  std::mt19937 rng(17);
  std::bernoulli_distribution holds(0.85);
  std::string text;
  for (int t = 0; t < 2500; ++t) {
    for (int i = 0; i < 40; ++i)
      if (holds(rng)) text += std::to_string(i) + " ";
    text += "\n";
  }
  return text;
}

// Waits up to 60 s until path exists; false if it never did.
bool wait_for(const std::string& path) {
  for (int i = 0; i < 6000; ++i) {
    if (path_exists(path)) return true;
    usleep(10000);
  }
  return false;
}

// Starts a run that spills every in-memory level a group at a time, sends it
// signal_number once a level lies in a spill file, and checks what it leaves.
void expect_clean_stop(int signal_number, const std::vector<std::string>& more) {
  test_dir dir("interrupt");
  write_file("in.dat", long_running_data());
  std::vector<std::string> args = {"input",  "in.dat", "output", "out.txt", "sigma", "1200",
                                   "testing.level_window_bytes", "1"};
  args.insert(args.end(), more.begin(), more.end());
  kestrel_run run(dir.path(), args);
  // A spill file exists from the first in-memory level on, and the output
  // file since the first scan.
  ASSERT_TRUE(wait_for(dir.file("dataset.tmp.level1")));
  ASSERT_TRUE(path_exists(dir.file("out.txt")));
  run.send_signal(signal_number);
  const run_outcome& r = run.finish();
  EXPECT_EQ(r.signal_number, 0) << r.command;
  EXPECT_EQ(r.exit_status, 128 + signal_number) << r.command << "\n" << r.stderr_text;
  EXPECT_EQ(r.stderr_text, "interrupted\n") << r.command;
  EXPECT_FALSE(r.output_exists) << r.command;
  EXPECT_FALSE(r.temporary_left) << r.command;
  EXPECT_FALSE(path_exists(dir.file("dataset.tmp.level0"))) << r.command;
  EXPECT_FALSE(path_exists(dir.file("dataset.tmp.level1"))) << r.command;
}

TEST(Interrupt, CtrlCRemovesTheTemporaryFilesAndTheOutput) {
  expect_clean_stop(SIGINT, {"threads", "1"});
}

TEST(Interrupt, SigtermOnSeveralThreadsRemovesTheTemporaryFilesAndTheOutput) {
  expect_clean_stop(SIGTERM, {"threads", "2"});
}

// A signal during the passes over "dataset.tmp" (every level out of core).
TEST(Interrupt, CtrlCDuringTheOutOfCorePassesRemovesTheTemporaryDataset) {
  test_dir dir("interrupt");
  write_file("in.dat", long_running_data());
  kestrel_run run(dir.path(),
                  {"input", "in.dat", "output", "out.txt", "sigma", "1200", "hop", "100"});
  ASSERT_TRUE(wait_for(dir.file("dataset.tmp")));
  // Past the first scan: the output holds the frequent items.
  for (int i = 0; i < 6000 && read_file(dir.file("out.txt")).empty(); ++i) usleep(10000);
  run.send_signal(SIGINT);
  const run_outcome& r = run.finish();
  EXPECT_EQ(r.exit_status, 130) << r.command << "\n" << r.stderr_text;
  EXPECT_EQ(r.stderr_text, "interrupted\n") << r.command;
  EXPECT_FALSE(r.output_exists) << r.command;
  EXPECT_FALSE(r.temporary_left) << r.command;
}

// A signal during the first scan of a long input: the input is a pipe that
// stays open, so a run that waited for the end of the scan would never end
// (the test support kills it after 300 s, and the test fails).
TEST(Interrupt, CtrlCDuringTheFirstScanStopsItBeforeTheInputEnds) {
  test_dir dir("interrupt");
  ASSERT_EQ(mkfifo(dir.file("in.fifo").c_str(), 0600), 0);
  kestrel_run run(dir.path(), {"input", "in.fifo", "output", "out.txt", "sigma", "2"});
  const int fifo = open(dir.file("in.fifo").c_str(), O_WRONLY);  // waits for the run to open it
  ASSERT_GE(fifo, 0);
  // Once the run has stopped, a write fails with EPIPE instead of killing the test.
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  std::string lines;
  for (int i = 0; i < 4096; ++i) lines += "1 2 3 " + std::to_string(i % 50 + 4) + "\n";
  // Writes n rounds of the lines; false once the run has closed its end.
  auto feed = [&](int rounds) {
    for (int r = 0; r < rounds; ++r) {
      std::size_t done = 0;
      while (done < lines.size()) {
        const ssize_t n = write(fifo, lines.data() + done, lines.size() - done);
        if (n < 0) return false;
        done += static_cast<std::size_t>(n);
      }
    }
    return true;
  };
  ASSERT_TRUE(feed(8));  // 32,768 lines read or in the pipe
  ASSERT_TRUE(wait_for(dir.file("dataset.tmp")));
  run.send_signal(SIGINT);
  // Another 131,072 lines at most: the stop is noticed within 65,536 lines.
  feed(32);
  const run_outcome& r = run.finish();
  close(fifo);
  sigaction(SIGPIPE, &previous, nullptr);
  EXPECT_EQ(r.exit_status, 130) << r.command << "\n" << r.stderr_text;
  EXPECT_EQ(r.stderr_text, "interrupted\n") << r.command;
  EXPECT_FALSE(r.output_exists) << r.command;
  EXPECT_FALSE(r.temporary_left) << r.command;
}

}  // namespace
