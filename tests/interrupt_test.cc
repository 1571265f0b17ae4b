// Whole-program tests of SIGINT and SIGTERM: a run stopped by either removes
// "dataset.tmp", its spill files and the output it had begun, says so in one
// line on stderr and exits with 128 + the signal's number.
#include <fcntl.h>
#include <gtest/gtest.h>
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

// Waits up to 60 s until done() holds, polling; false if it never did. The
// waits are for the run to reach a stage, not for time to pass.
template <class Done>
bool wait_until(Done done) {
  for (int i = 0; i < 6000; ++i) {
    if (done()) return true;
    usleep(10000);
  }
  return false;
}

bool wait_for(const std::string& path) {
  return wait_until([&] { return path_exists(path); });
}

// A run stopped by signal_number: status 128 + its number, one line, and
// neither the output nor "dataset.tmp" left.
void expect_interrupted(const run_outcome& r, int signal_number) {
  EXPECT_EQ(r.signal_number, 0) << r.command;
  EXPECT_EQ(r.exit_status, 128 + signal_number) << r.command << "\n" << r.stderr_text;
  EXPECT_EQ(r.stderr_text, "interrupted\n") << r.command;
  EXPECT_FALSE(r.output_exists) << r.command;
  EXPECT_FALSE(r.temporary_left) << r.command;
}

// A signal during the passes over "dataset.tmp" (every level out of core:
// SIGINT once the output's temporary file holds the frequent items), or while
// every in-memory level spills a group at a time (SIGINT on one thread, SIGTERM
// on two, once a level lies in a spill file): the spill files go too.
TEST(Interrupt, ASignalRemovesTheTemporaryFilesAndTheOutput) {
  const struct {
    int signal_number;
    std::vector<std::string> more;
    const char* awaited;  // a file whose appearance shows the run is far enough
  } cases[] = {
      {SIGINT, {"hop", "100"}, nullptr},
      {SIGINT, {"threads", "1", "testing.level_window_bytes", "1"}, "dataset.tmp.level1"},
      {SIGTERM, {"threads", "2", "testing.level_window_bytes", "1"}, "dataset.tmp.level1"},
  };
  for (const auto& c : cases) {
    test_dir dir("interrupt");
    write_file("in.dat", long_running_data());
    std::vector<std::string> args = {"input", "in.dat", "output", "out.txt", "sigma", "1200"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    kestrel_run run(dir.path(), args);
    ASSERT_TRUE(c.awaited == nullptr || wait_for(dir.file(c.awaited)));
    ASSERT_TRUE(wait_until([&] {
      const std::string partial = partial_output_of(dir.path(), "out.txt");
      return !partial.empty() && !read_file(partial).empty();
    }));
    run.send_signal(c.signal_number);
    expect_interrupted(run.finish(), c.signal_number);
    EXPECT_EQ(partial_output_of(dir.path(), "out.txt"), "") << c.signal_number;
    EXPECT_FALSE(path_exists(dir.file("dataset.tmp.level0"))) << c.signal_number;
    EXPECT_FALSE(path_exists(dir.file("dataset.tmp.level1"))) << c.signal_number;
  }
}

// SIGKILL (as the out-of-memory killer or a scheduler's time limit send it)
// ends a run that has written several levels, with no chance to clean up: the
// output's name holds nothing, or the file that was there before, unchanged.
// What is left is the temporary file, whose name says it is one.
TEST(Interrupt, SigkillWhileWritingLeavesTheOutputNameAsItWas) {
  for (const bool previous : {false, true}) {
    test_dir dir("interrupt");
    write_file("in.dat", long_running_data());
    if (previous) write_file("out.txt", "the previous result\n");
    kestrel_run run(dir.path(), {"input", "in.dat", "output", "out.txt", "sigma", "1200",
                                 "testing.level_window_bytes", "1"});
    // Levels 0 to 3 are written by the time the in-memory levels spill.
    ASSERT_TRUE(wait_for(dir.file("dataset.tmp.level1")));
    const std::string partial = partial_output_of(dir.path(), "out.txt");
    ASSERT_NE(partial, "");
    ASSERT_NE(read_file(partial), "");
    run.send_signal(SIGKILL);
    const run_outcome& r = run.finish();
    EXPECT_EQ(r.signal_number, SIGKILL) << r.command;
    if (previous)
      EXPECT_EQ(read_file("out.txt"), "the previous result\n") << r.command;
    else
      EXPECT_FALSE(path_exists("out.txt")) << r.command;
    EXPECT_TRUE(path_exists(partial)) << r.command;
  }
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
  expect_interrupted(r, SIGINT);
}

}  // namespace
