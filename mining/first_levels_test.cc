// The first scan, the Winnow passes and levels 0 and 1, run in the run's order.
#include "mining/first_levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/first_scan.h"
#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

// A monotone test constraint: a written itemset (prefix included) needs at least
// min_len items, so a transaction shorter than that cannot hold one. With
// strip set it also plays the prefix stripping of "supseteq": the item is removed
// from a transaction that holds it, and one without it is emptied.
struct MinLength : monotone_constraint<std::uint32_t> {
  std::size_t min_len;
  bool reapplied;
  std::uint32_t strip = UINT32_MAX;
  MinLength(std::size_t n, bool r, std::uint32_t s = UINT32_MAX)
      : min_len(n), reapplied(r), strip(s) {}
  bool holds(const std::uint32_t*, int n) override {
    return static_cast<std::size_t>(n) + n_prefix >= min_len;
  }
  std::size_t n_prefix = 0;
  void process_transaction(transaction_view<std::uint32_t>& t) override {
    std::uint32_t* end = t.items + t.length;
    std::uint32_t* it = std::find(t.items, end, strip);
    if (strip != UINT32_MAX)
      t.length = it == end ? 0 : static_cast<std::uint32_t>(std::copy(it + 1, end, it) - t.items);
    if (t.length < min_len) t.length = 0;
  }
  bool reapplied_by_winnow() const override { return reapplied; }
  monotone_constraint<std::uint8_t>* clone_m(std::uint8_t) const override { return nullptr; }
  monotone_constraint<std::uint16_t>* clone_m(std::uint16_t) const override { return nullptr; }
  monotone_constraint<std::uint32_t>* clone_m(std::uint32_t) const override { return nullptr; }
};

struct scan_result {
  std::string stdout_text;
  std::vector<std::string> output_lines;  // sorted
  std::string file;                       // the output file as written
  std::uint32_t max_tr_len = 0, n_items = 0, n_transactions = 0;
};

// Runs the first scan, level 0, the Winnow passes and level 1 on text in a fresh
// directory; setup adds constraints to the run before it starts.
scan_result scan(const std::string& text, std::uint32_t sigma, std::uint32_t preloops = 1,
                 const std::function<void(run_context&)>& setup = {}) {
  test_dir dir;
  write_file("in.dat", text);
  run_config config;
  config.sigma = sigma;
  config.preloops = preloops;
  run_context run(std::move(config));
  run.output.file = "out.txt";
  scan_result r;
  run.report.hook = [&r](const char* s) { r.stdout_text += s; };
  if (setup) setup(run);
  run.constraints.settle_length_bound();
  item_table items(sigma);
  fimi_file_source source("in.dat");
  first_scan_result first = first_scan(run, source, items);
  std::unique_ptr<output_file> level_file = write_level_zero(run, items, first);
  settle_items(run, items, first);
  write_level_one(run, items, first, std::move(level_file), 0.0);
  r.max_tr_len = first.max_tr_len;
  r.n_items = items.n_items;
  r.n_transactions = items.n_transactions;
  EXPECT_TRUE(put_in_place(run.output.partial));  // as a completed run does
  r.file = read_file("out.txt");
  std::istringstream out(r.file);
  for (std::string line; std::getline(out, line);) r.output_lines.push_back(line);
  std::sort(r.output_lines.begin(), r.output_lines.end());
  return r;
}

int count_rows(const std::string& text, const std::string& word) {
  int n = 0;
  for (std::size_t p = text.find(word); p != std::string::npos; p = text.find(word, p + 1)) ++n;
  return n;
}

TEST(FirstScan, PrintsTheStatisticsAndHeaderExactly) {
  scan_result r = scan("1 2\n\n2 3\n", 0);
  const std::string head =
      "Dataset statistics.\n # transactions = 3\n # items        = 4\n size in kB     = 0\n"
      "Iter \t Alg \t\t Ck \t\t Lk \t\t Rk \t\t #tr \t\t size kB \t\t Time\n"
      " 0: \t      \t\t      1 \t      1 \t      1 \t        2 \t        0 \n"
      " 1: \t scan \t\t      4 \t      3 \t      3 \t        2 \t        0 \t ";
  EXPECT_EQ(r.stdout_text.substr(0, head.size()), head);
  EXPECT_EQ(r.max_tr_len, 2u);
}

// Level 1 in ascending support (ties by id), each line the prefix items, the
// item's id and its support: ten-digit ids, and supports past those whose text
// is kept in a table, byte for byte.
TEST(FirstScan, LevelOneLinesByteForByte) {
  std::string text = "7 12\n";
  for (int i = 0; i < 70000; ++i) text += "4294967295 7\n";
  EXPECT_EQ(scan(text, 1).file, "(70001)\n12 (1)\n4294967295 (70000)\n7 (70001)\n");
  // The prefix item occurs in no line: level 0 has support 0 and is not written.
  scan_result r = scan(text, 1, 1, [](run_context& run) {
    run.constraints.prefix_items = {5, 31};
  });
  EXPECT_EQ(r.file, "5 31 12 (1)\n5 31 4294967295 (70000)\n5 31 7 (70001)\n");
}

TEST(WinnowLoops, PassRowsFollowPreloopsAndStability) {
  EXPECT_EQ(count_rows(scan("1 2 3\n1\n", 2, 0).stdout_text, "winnow"), 0);  // no monotone one
  auto min_length = [](run_context& run) {
    run.constraints.monotone_table.push_back(new MinLength(3, true));
  };
  const std::string cascade = "1 2 3\n1 2 3\n3 4 10\n4 5 6\n5 6 11\n6 7 8\n7 8 12\n";
  struct Case {
    std::string text;
    std::uint32_t preloops;
    int rows;
    std::uint32_t n_transactions, n_items;
  } cases[] = {
      {cascade, 1, 0, 7, 8},
      {cascade, 3, 2, 2, 3},
      {cascade, 0, 3, 2, 3},
      {"1 2 3\n1 2 3\n", 3, 1, 2, 3},  // the first pass removes nothing
  };
  for (const Case& k : cases) {
    scan_result r = scan(k.text, 2, k.preloops, min_length);
    EXPECT_EQ(count_rows(r.stdout_text, "winnow"), k.rows) << k.preloops;
    EXPECT_EQ(r.n_transactions, k.n_transactions) << k.preloops;
    EXPECT_EQ(r.n_items, k.n_items) << k.preloops;
  }
  scan_result r = scan(cascade, 2, 3, min_length);
  EXPECT_NE(
      r.stdout_text.find("( \t winnow \t     13 \t      8 \t      0 \t        4 \t        0 \t "),
      std::string::npos)
      << r.stdout_text;
}

TEST(WinnowLoops, StrippingIsNotReappliedByThePasses) {
  scan_result r = scan("1 2 3\n1 2 3\n2 3\n", 1, 3, [](run_context& run) {
    run.constraints.prefix_items = {1};
    auto* strip = new MinLength(0, false, 1);
    strip->n_prefix = 1;
    run.constraints.monotone_table.push_back(strip);
  });
  EXPECT_EQ(count_rows(r.stdout_text, "winnow"), 1);
  EXPECT_EQ(r.n_transactions, 2u);
  EXPECT_EQ(r.output_lines, (std::vector<std::string>{"1 (2)", "1 2 (2)", "1 3 (2)"}));
}

// Repeats of small and large ids, also across the direct table's limit, count
// once per line; a line of only repeats of one id keeps that id. Short lines
// and long ones (over 16 ids, deduplicated another way) alike.
TEST(FirstScan, RepeatedItemsInALineCountOnce) {
  scan_result r = scan(
      "4000000000 5 4000000000 3000000000 5 3000000000 4194304 4194304 4194303 4194303\n"
      "3000000000 3000000000 3000000000\n"
      "5 4000000000\n",
      2);
  EXPECT_EQ(r.max_tr_len, 5u);
  EXPECT_EQ(r.n_items, 3u);
  EXPECT_EQ(r.output_lines,
            (std::vector<std::string>{"(3)", "3000000000 (2)", "4000000000 (2)", "5 (2)"}));
  std::string long_lines;
  for (const char* large : {"4000000000 ", "3000000000 ", "4000000000 4100000000 "}) {
    for (int i = 10; i < 26; ++i) long_lines += std::to_string(i) + " " + large;
    long_lines += "10 " + std::string(large) + "\n";
  }
  r = scan(long_lines + "3000000000 3000000000\n", 2);
  EXPECT_EQ(r.max_tr_len, 18u);
  std::vector<std::string> expected = {"(4)", "3000000000 (2)", "4000000000 (2)"};
  for (int i = 10; i < 26; ++i) expected.push_back(std::to_string(i) + " (3)");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(r.output_lines, expected);
}

// Lines parsed on a thread of their own reach the scan whole and in order:
// thousands of lines of varied lengths (empty ones, repeats, a line as long as
// several of the parser's chunks) give one thread's counts, lengths and rows;
// a parse error arrives after the lines before it, with the same line number.
TEST(FirstScanThreads, ParsedBesideGiveTheSameScan) {
  std::string text;
  for (int line = 0; line < 6000; ++line) {
    for (int i = 0; i < line % 7; ++i) text += std::to_string((line * 31 + i * 17) % 97) + " ";
    if (line % 5 == 0) text += std::to_string(4000000000u + line % 3) + " 3 3";
    text += "\n";
  }
  for (int i = 0; i < 10000; ++i) text += std::to_string(i) + " ";
  text += "\n";
  auto threads = [](unsigned n) { return [n](run_context& run) { run.config.threads = n; }; };
  const scan_result one = scan(text, 40, 1, threads(1));
  const scan_result two = scan(text, 40, 1, threads(2));
  EXPECT_EQ(two.stdout_text, one.stdout_text);
  EXPECT_EQ(two.output_lines, one.output_lines);
  EXPECT_EQ(two.max_tr_len, 10000u);
  EXPECT_EQ(two.n_transactions, one.n_transactions);
  EXPECT_EQ(one.output_lines.size(), 101u);  // level 0, 97 small ids and three large ones
  const std::string bad = text + "1 2\n-3\n";
  EXPECT_EQ(run_error_of([&] { scan(bad, 40, 1, threads(2)); }),
            run_error_of([&] { scan(bad, 40, 1, threads(1)); }));
  EXPECT_NE(run_error_of([&] { scan(bad, 40, 1, threads(2)); }), "no error");
}

}  // namespace
