// Whole-program tests of the command line and the first scan: they run the real
// kestrel binary in a fresh directory and check exit status, stderr and files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "constraints/registry.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

using args = std::vector<std::string>;

// Runs kestrel with a in the current directory, a test_dir.
run_outcome run(const args& a, const run_io& io = {}) { return run_kestrel(".", a, io); }

// The input and output options followed by more.
args io_and(args more) {
  more.insert(more.begin(), {"input", "ok.dat", "output", "out.txt"});
  return more;
}

// For messages: the arguments joined by spaces.
std::string joined(const args& a) {
  std::string s;
  for (const std::string& w : a) s += w + " ";
  return s;
}

std::vector<std::string> sorted_lines(const std::string& file) {
  std::istringstream in(read_file(file));
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string expected_usage() {
  std::string text =
      "Usage: KESTREL <mandatory options> [other_options]\n\n"
      " <mandatory options> are needed for basic unconstrained mining: \n"
      "input <filename>        : FIMI ASCII plain file\n"
      "output <filename>\n"
      "sigma <threshold>       : absolute minimum support threshold\n\n"
      " [other_options] are needed for constrained itemset mining: \n"
      "hop <k>                 : force out-of-core until k-th iteration\n"
      "preloops <n>            : number of Winnow preprocessing loops\n"
      "attributes <filename>   : plain ASCII file with integer values\n"
      "tmpdir <dir>            : directory of the temporary file dataset.tmp\n"
      "memory <MiB>            : cap on the memory the run plans for\n"
      "threads <n>             : threads of the in-memory levels (default: all processors)\n";
  for (const keyword_row& row : KEYWORD_TABLE) text += std::string(row.usage) + "\n";
  return text + "\n\n";
}

TEST(CommandLine, UsageTextByteForByte) {
  test_dir dir;
  for (const args& a : {args{}, args{"input"}, args{"bogus"}}) {
    const run_outcome o = run(a);
    EXPECT_EQ(o.exit_status, 1) << joined(a);
    EXPECT_EQ(o.stderr_text, expected_usage()) << joined(a);
    EXPECT_EQ(o.stdout_text, "");
  }
  // Asked for, the usage goes to stdout with status 0, whatever follows.
  for (const args& a : {args{"--help"}, args{"-h"}, args{"--help", "input", "x"}}) {
    const run_outcome o = run(a);
    EXPECT_EQ(o.exit_status, 0) << joined(a);
    EXPECT_EQ(o.stdout_text, expected_usage()) << joined(a);
    EXPECT_EQ(o.stderr_text, "") << joined(a);
  }
  const run_outcome v = run({"--version"});
  EXPECT_EQ(v.exit_status, 0);
  EXPECT_EQ(v.stdout_text, "kestrel " KESTREL_VERSION "\n");
  EXPECT_EQ(v.stderr_text, "");
  run_io full;
  full.stdout_path = "/dev/full";
  const run_outcome f = run({"--version"}, full);
  EXPECT_EQ(f.exit_status, 1);
  EXPECT_EQ(f.stderr_text, "standard output could not be written!\n");
}

// Each progress row reaches a pipe as its level ends, not when the run does.
// The output is a FIFO, which the run opens again for level 2 and waits there
// for a reader; the test becomes one only once it has read row 1 from the pipe.
TEST(CommandLine, ProgressRowsReachAPipeWhileTheRunGoesOn) {
  test_dir dir;
  write_file("ok.dat", "1 2 3\n1 2\n2 3\n1 2 3 4\n");
  ASSERT_EQ(mkfifo("out.fifo", 0600), 0);
  int rows[2];
  ASSERT_EQ(pipe(rows), 0);
  run_io io;
  io.stdout_fd = rows[1];
  kestrel_run running(dir.path(), {"input", "ok.dat", "output", "out.fifo", "sigma", "1"}, io);
  close(rows[1]);
  std::FILE* in = fdopen(rows[0], "r");
  ASSERT_NE(in, nullptr);
  std::string before, after;
  char line[1024];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    before += line;
    if (std::strncmp(line, " 1: \t scan", 10) == 0) break;
  }
  const int reader = open("out.fifo", O_RDWR);  // lets the run go on (its rest fits the FIFO)
  ASSERT_GE(reader, 0);
  while (std::fgets(line, sizeof line, in) != nullptr) after += line;
  std::fclose(in);
  const run_outcome& r = running.finish();
  close(reader);
  EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
  EXPECT_EQ(before.rfind("Dataset statistics.\n", 0), 0u) << before;
  EXPECT_NE(before.find(" 1: \t scan"), std::string::npos) << before;
  EXPECT_NE(after.find(" 2: \t scan"), std::string::npos) << after;
  EXPECT_NE(after.find("Total time: "), std::string::npos) << after;
}

// One case of each source of errors, as the user sees it: one line, status 1.
// The messages in full are in the tests of their sources: the parser's in
// driver/options_test.cc, the input's in dataset/fimi_reader_blocks_test.cc,
// the attribute file's in dataset/attributes_test.cc, and the files a run
// cannot open or write in tests/fault_injection_test.cc.
TEST(CommandLine, EveryErrorIsOneLineAndExitOne) {
  test_dir dir;
  write_file("ok.dat", "1 2\n2 3\n");
  write_file("huge.dat", "4294967296\n");
  write_file("attr.txt", "5 5\n");
  struct Case {
    args a;
    std::string message;
  } cases[] = {
      {{"input", "ok.dat"}, "input, output and sigma are mandatory!"},
      {io_and({"sigma", "abc"}), "sigma: \"abc\" is not a whole number"},
      {{"input", "huge.dat", "output", "out.txt", "sigma", "1"},
       "huge.dat:1: item id 4294967296 does not fit 32 bits"},
      {{"input", "ok.dat", "output", "/nonexistent/out.txt", "sigma", "1"},
       "/nonexistent/out.txt could not be opened for writing!"},
      {io_and({"sigma", "1", "sumleq", "[0,100]"}),
       "attributes option missing: a constraint needs attribute 0"},
      {io_and({"sigma", "1", "attributes", "attr.txt", "sumleq", "[0,100]"}),
       "attr.txt: attribute line 0 has 2 values, item 2 needs one"},
  };
  for (const Case& c : cases) {
    const run_outcome o = run(c.a);
    EXPECT_EQ(o.exit_status, 1) << joined(c.a);
    EXPECT_EQ(o.stderr_text, c.message + "\n") << joined(c.a);
  }
}

// The input is read once, so a pipe works: zcat f | kestrel input /dev/stdin ...
// More than a pipe holds, so the reads come short.
TEST(CommandLine, PipeInputGivesTheSameOutputAsTheFile) {
  test_dir dir;
  std::string text;
  for (int i = 0; i < 30000; ++i)
    text += std::to_string(i % 7) + " " + std::to_string(i % 11 + 7) + " " + std::to_string(i % 3) +
            "\n";
  write_file("in.dat", text);
  const run_outcome file = run({"input", "in.dat", "output", "file.txt", "sigma", "1000"});
  ASSERT_EQ(file.exit_status, 0) << file.stderr_text;
  run_io io;
  io.stdin_text = text;
  const run_outcome pipe = run({"input", "/dev/stdin", "output", "pipe.txt", "sigma", "1000"}, io);
  ASSERT_EQ(pipe.exit_status, 0) << pipe.stderr_text;
  EXPECT_EQ(sorted_lines("file.txt"), sorted_lines("pipe.txt"));
  EXPECT_GT(sorted_lines("file.txt").size(), 20u);
}

// Small runs whose whole output is known: a long file name and the options in
// another order; sigma 0 writes only what occurs (the items of a line in
// ascending support order), an empty input nothing; sparse huge ids; one
// frequent item allowed, where mining stops after level 1.
TEST(CommandLine, SmallRunsWriteExactlyTheirItemsets) {
  test_dir dir;
  const std::string name(200, 'n');
  write_file(name, "1 2\n1 2\n3\n");
  write_file("zero.dat", "5\n\n5 9 9");  // ids 0..4 and 6..8 never occur
  write_file("none.dat", "");
  write_file("huge.dat", "1000000000 3000000000 4294967295\n3000000000 4294967295\n");
  const struct {
    args a;
    std::vector<std::string> lines;
    std::string shown = "", not_shown = "";  // in the progress rows, and not
  } cases[] = {
      {{"sigma", "2", "output", name + ".out", "input", name},
       {"(3)", "1 (2)", "1 2 (2)", "2 (2)"}},
      {{"input", "zero.dat", "output", "zero.txt", "sigma", "0"},
       {"(3)", "5 (2)", "9 (1)", "9 5 (1)"}},
      {{"input", "none.dat", "output", "none.txt", "sigma", "0"}, {}},
      {{"input", "huge.dat", "output", "huge.txt", "sigma", "2"},
       {"(2)", "3000000000 (2)", "3000000000 4294967295 (2)", "4294967295 (2)"},
       " 1: \t scan \t\t 4294967296 \t      2 \t      2 \t        2 \t "},
      {{"input", "huge.dat", "output", "one.txt", "sigma", "1", "lenleq", "[1]"},
       {"(2)", "1000000000 (1)", "3000000000 (2)", "4294967295 (2)"},
       "Total time: ",
       "\n Total time: "},
  };
  for (const auto& c : cases) {
    const run_outcome o = run(c.a);
    ASSERT_EQ(o.exit_status, 0) << joined(c.a) << o.stderr_text;
    const std::string output = *(std::find(c.a.begin(), c.a.end(), "output") + 1);
    EXPECT_EQ(sorted_lines(output), c.lines) << joined(c.a);
    EXPECT_NE(o.stdout_text.find(c.shown), std::string::npos) << o.stdout_text;
    if (!c.not_shown.empty()) {
      EXPECT_EQ(o.stdout_text.find(c.not_shown), std::string::npos) << o.stdout_text;
    }
  }
}

TEST(CommandLine, MemoryCapKeepsCountingOutOfCoreWithTheSameOutput) {
  test_dir dir;
  // 60000 transactions drawn from ten patterns of eight items among 100: the
  // bit matrix takes about 600 KB, more than a third of a 1 MiB budget and far
  // less than a third of any machine. Capped, the levels stay out of core until
  // the rewritten data has shrunk enough. (Without the real data, the one test
  // that the option reaches the run.)
  std::mt19937 rng(17);
  std::string text;
  for (int t = 0; t < 60000; ++t) {
    const unsigned pattern = rng() % 10;
    for (unsigned i = 0; i < 8; ++i)
      if (rng() % 5 != 0) text += std::to_string(pattern * 10 + i) + " ";
    for (int noise = 0; noise < 3; ++noise) text += std::to_string(rng() % 100) + " ";
    text += "\n";
  }
  write_file("in.dat", text);
  const run_outcome free_run = run({"input", "in.dat", "output", "free.txt", "sigma", "600"});
  ASSERT_EQ(free_run.exit_status, 0) << free_run.stderr_text;
  EXPECT_NE(free_run.stdout_text.find(" 4: \t zax"), std::string::npos) << free_run.stdout_text;
  const run_outcome capped =
      run({"input", "in.dat", "output", "capped.txt", "sigma", "600", "memory", "1"});
  ASSERT_EQ(capped.exit_status, 0) << capped.stderr_text;
  EXPECT_NE(capped.stdout_text.find(" 4: \t hop"), std::string::npos) << capped.stdout_text;
  EXPECT_EQ(read_file("free.txt"), read_file("capped.txt"));
  EXPECT_GT(sorted_lines("free.txt").size(), 1000u);
}

}  // namespace
