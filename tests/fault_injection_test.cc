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
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh directory, removed with its files (links are not followed) at the end.
struct scratch {
  scratch() {
    char tmpl[] = "/tmp/kestrel-fault-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir = tmpl;
  }
  ~scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string at(const std::string& name) const { return dir + "/" + name; }
  std::string dir;
};

// A kestrel process (or another program) working in dir; stdout goes to stdout_path (default a file
// in dir), stderr to a file of its own in dir.
struct run {
  run(const std::string& dir, const std::vector<std::string>& args,
      const std::string& stdout_path = "", const std::string& program = KESTREL_BIN)
      : dir(dir), out_path(stdout_path.empty() ? dir + "/stdout.txt" : stdout_path) {
    std::vector<std::string> store{program};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    static int n_runs = 0;
    err_path = dir + "/stderr-" + std::to_string(n_runs++) + ".txt";
    pid = fork();
    if (pid == 0) {
      const int o = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (chdir(dir.c_str()) != 0 || o < 0 || e < 0) _exit(126);
      dup2(o, 1);
      dup2(e, 2);
      alarm(300);  // a hung run dies and shows as a signal
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~run() {
    if (!done) {
      kill(pid, SIGKILL);
      finish();
    }
  }
  run& finish() {
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    done = true;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    err = read_file(err_path);
    struct stat st;
    if (stat(out_path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) out = read_file(out_path);
    return *this;
  }
  std::string dir, out_path, err_path;
  pid_t pid = -1;
  bool done = false;
  int status = -1;
  std::string out, err;
};

// The shape of every failed run.
void expect_clean_failure(const run& r, const std::string& message) {
  EXPECT_EQ(r.status, 1) << message;
  EXPECT_EQ(r.err, message + "\n");
  EXPECT_EQ(r.out.find("Total time"), std::string::npos) << message;
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

// Writes all of text into fd (a FIFO: blocks until the reader has taken enough).
void write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    ASSERT_GT(n, 0);
    done += static_cast<std::size_t>(n);
  }
}

// More than a pipe holds: when its write returns, the reader has consumed part
// of it, so the run is inside its first scan with "dataset.tmp" open.
std::string more_than_a_pipe() { return chain_lines(40000); }

TEST(FaultInjection, OutputOnAFullDevice) {
  scratch s;
  write_file(s.at("in.dat"), chain_lines(200));
  // Directly, and through a link in the working directory.
  ASSERT_EQ(symlink("/dev/full", s.at("full.txt").c_str()), 0);
  for (const std::string& out : {std::string("/dev/full"), std::string("full.txt")}) {
    run r = run(s.dir, {"input", "in.dat", "output", out, "sigma", "2"}).finish();
    expect_clean_failure(r, out + " could not be written!");
    EXPECT_FALSE(exists(s.at("dataset.tmp"))) << out;
  }
  EXPECT_TRUE(exists("/dev/full"));
  EXPECT_TRUE(exists(s.at("full.txt")));
}

TEST(FaultInjection, StandardOutputOnAFullDevice) {
  scratch s;
  write_file(s.at("in.dat"), chain_lines(200));
  run r = run(s.dir, {"input", "in.dat", "output", "out.txt", "sigma", "2"}, "/dev/full").finish();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "standard output could not be written!\n");
  EXPECT_FALSE(exists(s.at("out.txt")));
}

// Standard output is a pipe nobody reads: a write error, not death by SIGPIPE.
TEST(FaultInjection, StandardOutputIntoAClosedPipe) {
  scratch s;
  write_file(s.at("in.dat"), chain_lines(200));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const std::string err_path = s.at("err.txt"), bin = KESTREL_BIN;
  const pid_t pid = fork();
  if (pid == 0) {
    const int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(s.dir.c_str()) != 0 || e < 0) _exit(126);
    dup2(fds[1], 1);
    dup2(e, 2);
    signal(SIGPIPE, SIG_DFL);
    execl(bin.c_str(), bin.c_str(), "input", "in.dat", "output", "out.txt", "sigma", "2",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(raw)) << "signal " << WTERMSIG(raw);
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_EQ(read_file(err_path), "standard output could not be written!\n");
  EXPECT_FALSE(exists(s.at("out.txt")));
}

TEST(FaultInjection, TemporaryDatasetOnAFullDevice) {
  // Small input: the failure shows at the flush; large: at a write.
  for (int lines : {10, 200000}) {
    scratch s;
    write_file(s.at("in.dat"), chain_lines(lines));
    ASSERT_EQ(symlink("/dev/full", s.at("dataset.tmp").c_str()), 0);
    run r = run(s.dir, {"input", "in.dat", "output", "out.txt", "sigma", "2"}).finish();
    expect_clean_failure(r, "dataset.tmp could not be written!");
    EXPECT_FALSE(exists(s.at("out.txt"))) << lines;
  }
}

TEST(FaultInjection, TemporaryDatasetThatCannotBeCut) {
  // Writes to /dev/null succeed, truncating it does not.
  scratch s;
  write_file(s.at("in.dat"), chain_lines(100));
  ASSERT_EQ(symlink("/dev/null", s.at("dataset.tmp").c_str()), 0);
  run r = run(s.dir, {"input", "in.dat", "output", "out.txt", "sigma", "2"}).finish();
  expect_clean_failure(r, "dataset.tmp could not be cut!");
  EXPECT_FALSE(exists(s.at("out.txt")));
}

TEST(FaultInjection, TemporaryDatasetThatCannotBeCreated) {
  // A directory of that name stops even root, for whom permission bits do not.
  scratch s;
  write_file(s.at("in.dat"), chain_lines(100));
  ASSERT_EQ(mkdir(s.at("dataset.tmp").c_str(), 0755), 0);
  run r = run(s.dir, {"input", "in.dat", "output", "out.txt", "sigma", "2"}).finish();
  expect_clean_failure(r, "dataset.tmp could not be opened!");
  EXPECT_FALSE(exists(s.at("out.txt")));
  struct stat st;
  ASSERT_EQ(stat(s.at("dataset.tmp").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(FaultInjection, UnreadableInputs) {
  scratch s;
  ASSERT_EQ(mkdir(s.at("adir").c_str(), 0755), 0);
  write_file(s.at("in.dat"), chain_lines(100));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"input", "adir", "output", "out.txt", "sigma", "2"}, "adir could not be read!"},
      {{"input", "absent.dat", "output", "out.txt", "sigma", "2"},
       "ERROR: Cannot open input file!"},
      {{"input", "in.dat", "output", "out.txt", "sigma", "2", "attributes", "adir", "sumleq",
        "[0,5]"},
       "adir could not be read!"},
  };
  for (const Case& c : cases) {
    run r = run(s.dir, c.args).finish();
    expect_clean_failure(r, c.message);
    EXPECT_FALSE(exists(s.at("out.txt"))) << c.message;
    EXPECT_FALSE(exists(s.at("dataset.tmp"))) << c.message;
  }
}

TEST(FaultInjection, FailureBeforeTheOutputIsCreatedLeavesAnOldFileAlone) {
  scratch s;
  write_file(s.at("bad.dat"), "1 2\n3 -4\n");
  write_file(s.at("out.txt"), "kept\n");
  run r = run(s.dir, {"input", "bad.dat", "output", "out.txt", "sigma", "1"}).finish();
  expect_clean_failure(r, "bad.dat:2: minus sign before a number");
  EXPECT_EQ(read_file(s.at("out.txt")), "kept\n");
}

#ifdef __has_feature
#if __has_feature(address_sanitizer)
#define KESTREL_ASAN 1
#endif
#endif

// A 30 MB address-space limit and a line of two million distinct items: the
// first scan runs out of memory. (The sanitizer runtime needs far more address
// space than any limit can leave, so that build skips this.)
TEST(FaultInjection, MemoryExhausted) {
#if defined(__SANITIZE_ADDRESS__) || defined(KESTREL_ASAN)
  GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#endif
  scratch s;
  std::string line;
  for (int i = 0; i < 2000000; ++i) line += std::to_string(i) + " ";
  write_file(s.at("big.dat"), line + "\n");
  run r = run(s.dir,
              {"-c", "ulimit -v 30000 && exec \"$0\" input big.dat output out.txt sigma 1",
               KESTREL_BIN},
              "", "/bin/sh")
              .finish();
  expect_clean_failure(r, "out of memory");
  EXPECT_FALSE(exists(s.at("out.txt")));
  EXPECT_FALSE(exists(s.at("dataset.tmp")));
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
    scratch s;
    ASSERT_EQ(mkfifo(s.at("in.fifo").c_str(), 0644), 0);
    std::vector<std::string> args{"input", "in.fifo", "output", "out.txt", "sigma", "2"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    run r(s.dir, args);
    const int fd = open(s.at("in.fifo").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    write_all(fd, more_than_a_pipe());
    ASSERT_EQ(unlink(s.at("dataset.tmp").c_str()), 0);
    if (c.directory_instead) {
      ASSERT_EQ(mkdir(s.at("dataset.tmp").c_str(), 0755), 0);
    }
    write_all(fd, chain_lines(100));
    close(fd);
    r.finish();
    expect_clean_failure(r, c.message);
    // Levels 0 and 1 had been written: the partial output is removed.
    EXPECT_FALSE(exists(s.at("out.txt"))) << c.message;
  }
}

// "dataset.tmp" named as the input (which the first scan would empty before
// reading it) or as the output (which would overwrite the data being mined).
TEST(FaultInjection, TemporaryDatasetAsInputOrOutput) {
  scratch s;
  const std::string text = chain_lines(100);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"input", "dataset.tmp", "output", "out.txt", "sigma", "2"},
       "dataset.tmp: the input file cannot be the temporary dataset!"},
      {{"input", "./link.dat", "output", "out.txt", "sigma", "2"},
       "./link.dat: the input file cannot be the temporary dataset!"},
      {{"input", "in.dat", "output", "dataset.tmp", "sigma", "2"},
       "dataset.tmp: the output file cannot be the temporary dataset!"},
  };
  ASSERT_EQ(symlink("dataset.tmp", s.at("link.dat").c_str()), 0);
  write_file(s.at("in.dat"), text);
  for (const Case& c : cases) {
    write_file(s.at("dataset.tmp"), text);
    run r = run(s.dir, c.args).finish();
    expect_clean_failure(r, c.message);
    EXPECT_FALSE(exists(s.at("out.txt"))) << c.message;
    if (c.args[1] != "in.dat") {
      EXPECT_EQ(read_file(s.at("dataset.tmp")), text) << c.message;
    }
  }
}

// Two runs in one directory: the second fails at once and leaves the first's
// temporary dataset and output intact.
TEST(FaultInjection, SecondRunInTheSameDirectoryIsRefused) {
  scratch s;
  write_file(s.at("plain.dat"), chain_lines(300));
  run alone = run(s.dir, {"input", "plain.dat", "output", "alone.txt", "sigma", "2"}).finish();
  ASSERT_EQ(alone.status, 0) << alone.err;
  const std::string expected = read_file(s.at("alone.txt"));
  ASSERT_NE(expected, "");

  ASSERT_EQ(mkfifo(s.at("in.fifo").c_str(), 0644), 0);
  run first(s.dir, {"input", "in.fifo", "output", "first.txt", "sigma", "2"},
            s.at("first_stdout.txt"));
  const int fd = open(s.at("in.fifo").c_str(), O_WRONLY);  // the first holds the lock now
  ASSERT_GE(fd, 0);
  write_all(fd, chain_lines(100));
  run second = run(s.dir, {"input", "plain.dat", "output", "second.txt", "sigma", "2"}).finish();
  expect_clean_failure(second, "dataset.tmp is in use by another KESTREL run in this directory!");
  EXPECT_FALSE(exists(s.at("second.txt")));
  EXPECT_TRUE(exists(s.at("dataset.tmp")));
  write_all(fd, chain_lines(300).substr(chain_lines(100).size()));
  close(fd);
  first.finish();
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(read_file(s.at("first.txt")), expected);
  EXPECT_FALSE(exists(s.at("dataset.tmp")));
  // The lock goes with the run: a third run works.
  run third = run(s.dir, {"input", "plain.dat", "output", "third.txt", "sigma", "2"}).finish();
  EXPECT_EQ(third.status, 0) << third.err;
  EXPECT_EQ(read_file(s.at("third.txt")), expected);
}

}  // namespace
