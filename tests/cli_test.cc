// Whole-program tests of the command line and the first scan: they run the real
// kestrel binary in a fresh directory and check exit status, stderr and files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/test_dir.h"

namespace {

struct outcome {
  int status;
  std::string out, err;
};

// Runs kestrel with args (already shell-quoted where needed) in the current
// directory; stdin_from, when given, is a shell command piped into it.
outcome run(const std::string& args, const std::string& stdin_from = "") {
  std::string cmd = std::string(KESTREL_BIN) + " " + args + " >stdout.txt 2>stderr.txt";
  if (!stdin_from.empty()) cmd = stdin_from + " | " + cmd;
  int raw = std::system(cmd.c_str());
  outcome o{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("stdout.txt"),
            read_file("stderr.txt")};
  return o;
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
      "attributes <filename>   : plain ASCII file with integer values\n";
  for (auto* prototype : GLOBAL_TABLE) text += std::string(prototype->usage()) + "\n";
  return text + "\n\n";
}

TEST(CommandLine, UsageTextByteForByte) {
  test_dir dir;
  for (const char* args : {"", "input", "bogus"}) {
    outcome o = run(args);
    EXPECT_EQ(o.status, 1) << args;
    EXPECT_EQ(o.err, expected_usage()) << args;
    EXPECT_EQ(o.out, "");
  }
}

TEST(CommandLine, EveryErrorIsOneLineAndExitOne) {
  test_dir dir;
  write_file("ok.dat", "1 2\n2 3\n");
  write_file("minus.dat", "1 2\n-3\n");
  write_file("point.dat", "1 2.5\n");
  write_file("huge.dat", "4294967296\n");
  write_file("attr.txt", "5 5\n");
  const std::string io = "input ok.dat output out.txt ";
  struct Case {
    std::string args, message;
  } cases[] = {
      {"input ok.dat", "input, output and sigma are mandatory!"},
      {"input ok.dat output out.txt", "input, output and sigma are mandatory!"},
      {"output out.txt sigma 1", "input, output and sigma are mandatory!"},
      {io + "sigma abc", "sigma: \"abc\" is not a whole number"},
      {io + "sigma 2.5", "sigma: \"2.5\" is not a whole number"},
      {io + "sigma 10x", "sigma: \"10x\" is not a whole number"},
      {io + "sigma ''", "sigma: \"\" is not a whole number"},
      {io + "sigma -1", "sigma: \"-1\" must not be negative"},
      {io + "sigma 4294967296", "sigma: \"4294967296\" does not fit 32 bits"},
      {io + "sigma 1 preloops x", "preloops: \"x\" is not a whole number"},
      {io + "sigma 1 hop 1e3", "hop: \"1e3\" is not a whole number"},
      {io + "sigma 1 hop", "hop: a value must follow the keyword"},
      {io + "sigma 1 nosuch '[1]'", " ... Error in constraints!"},
      {"input absent.dat output out.txt sigma 1", "ERROR: Cannot open input file!"},
      {"input minus.dat output out.txt sigma 1", "minus.dat:2: minus sign before a number"},
      {"input point.dat output out.txt sigma 1", "point.dat:1: decimal point inside a number"},
      {"input huge.dat output out.txt sigma 1",
       "huge.dat:1: item id 4294967296 does not fit 32 bits"},
      {"input ok.dat output /nonexistent/out.txt sigma 1",
       "/nonexistent/out.txt could not be opened for writing!"},
      {"input ok.dat output /dev/full sigma 1", "/dev/full could not be written!"},
      {io + "sigma 1 sumleq '[0,100]'",
       "attributes option missing: a constraint needs attribute 0"},
      {io + "sigma 1 attributes absent.txt sumleq '[0,100]'", "absent.txt could not be opened!"},
      {io + "sigma 1 attributes attr.txt sumleq '[1,100]'",
       "attr.txt: attribute line 1 is missing"},
      {io + "sigma 1 attributes attr.txt sumleq '[0,100]'",
       "attr.txt: attribute line 0 has 2 values, item 2 needs one"},
  };
  for (const Case& c : cases) {
    outcome o = run(c.args);
    EXPECT_EQ(o.status, 1) << c.args;
    EXPECT_EQ(o.err, c.message + "\n") << c.args;
  }
}

TEST(CommandLine, PipeInputGivesTheSameOutputAsTheFile) {
  test_dir dir;
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += std::to_string(i % 7) + " " + std::to_string(i % 11 + 7) + " " + std::to_string(i % 3) +
            "\n";
  write_file("in.dat", text);
  outcome file = run("input in.dat output file.txt sigma 100");
  ASSERT_EQ(file.status, 0) << file.err;
  outcome pipe = run("input /dev/stdin output pipe.txt sigma 100", "cat in.dat");
  ASSERT_EQ(pipe.status, 0) << pipe.err;
  EXPECT_EQ(sorted_lines("file.txt"), sorted_lines("pipe.txt"));
  EXPECT_GT(sorted_lines("file.txt").size(), 20u);
}

TEST(CommandLine, LongFileNamesAndOptionOrder) {
  test_dir dir;
  const std::string name(200, 'n');
  write_file(name, "1 2\n1 2\n3\n");
  outcome o = run("sigma 2 output " + name + ".out input " + name);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(sorted_lines(name + ".out"),
            (std::vector<std::string>{"(3)", "1 (2)", "1 2 (2)", "2 (2)"}));
}

TEST(CommandLine, SigmaZeroWritesOnlyWhatOccurs) {
  test_dir dir;
  write_file("in.dat", "5\n\n5 9 9");  // ids 0..4 and 6..8 never occur
  outcome o = run("input in.dat output out.txt sigma 0");
  ASSERT_EQ(o.status, 0) << o.err;
  // Items of a line stand in ascending support order.
  EXPECT_EQ(sorted_lines("out.txt"),
            (std::vector<std::string>{"(3)", "5 (2)", "9 (1)", "9 5 (1)"}));
  write_file("none.dat", "");
  o = run("input none.dat output none.txt sigma 0");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(read_file("none.txt"), "");
}

TEST(CommandLine, SparseHugeIdsAndStopPath) {
  test_dir dir;
  write_file("in.dat", "1000000000 3000000000 4294967295\n3000000000 4294967295\n");
  outcome o = run("input in.dat output out.txt sigma 2");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(sorted_lines("out.txt"),
            (std::vector<std::string>{"(2)", "3000000000 (2)", "3000000000 4294967295 (2)",
                                      "4294967295 (2)"}));
  EXPECT_NE(o.out.find(" 1: \t scan \t\t 4294967296 \t      2 \t      2 \t        2 \t "),
            std::string::npos)
      << o.out;
  // One frequent item: mining stops after level 1.
  o = run("input in.dat output one.txt sigma 1 lenleq '[1]'");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(sorted_lines("one.txt").size(), 4u);
  EXPECT_NE(o.out.find("Total time: "), std::string::npos);
  EXPECT_EQ(o.out.find("\n Total time: "), std::string::npos);
}

TEST(CommandLine, CompletedRunRemovesTheTemporaryDataset) {
  test_dir dir;
  write_file("in.dat", "1 2 3\n1 2 3\n1 2\n");
  outcome o = run("input in.dat output out.txt sigma 2");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("\n Total time: "), std::string::npos);
  EXPECT_EQ(read_file("dataset.tmp"), "");
  EXPECT_EQ(sorted_lines("out.txt").size(), 8u);
}

}  // namespace
