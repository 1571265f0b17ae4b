#include "dataset/first_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/attributes.h"
#include "dataset/test_dir.h"
#include "util/output_file.h"

namespace {

// A monotone test constraint: a written itemset (prefix included) needs at least
// min_len items, so a transaction shorter than that cannot hold one. With
// strip set it also plays the prefix stripping of "supseteq": the item is removed
// from a transaction that holds it, and one without it is emptied.
class MinLength : public CMonotone<std::uint32_t> {
 public:
  MinLength(std::size_t min_len, bool reapplied, std::uint32_t strip = UINT32_MAX)
      : min_len_(min_len), reapplied_(reapplied), strip_(strip) {}
  Constraint<std::uint32_t>* parseParameters(const char*) override { return nullptr; }
  bool testItemset(const std::vector<std::uint32_t>& s) override {
    return s.size() + prefix_items.size() >= min_len_;
  }
  void PreProcessTransaction(std::vector<std::uint32_t>& t) override {
    if (strip_ != UINT32_MAX) {
      auto it = std::find(t.begin(), t.end(), strip_);
      if (it == t.end()) {
        t.clear();
        return;
      }
      t.erase(it);
    }
    if (t.size() < min_len_) t.clear();
  }
  bool reapplied_by_winnow() const override { return reapplied_; }
  void ProcessTransaction(Transaction<std::uint32_t>&) override {}
  void ProcessTransaction(zax_transaction<std::uint32_t>&) override {}
  CMonotone<std::uint8_t>* clone_m(std::uint8_t) const override { return nullptr; }
  CMonotone<std::uint16_t>* clone_m(std::uint16_t) const override { return nullptr; }
  CMonotone<std::uint32_t>* clone_m(std::uint32_t) const override { return nullptr; }

 private:
  std::size_t min_len_;
  bool reapplied_;
  std::uint32_t strip_;
};

struct scan_result {
  std::string stdout_text;
  std::vector<std::string> output_lines;  // sorted
  std::uint32_t max_support = 0, max_tr_len = 0, n_items = 0, n_transactions = 0;
};

// Runs the first scan on text in a fresh directory with the global tables as the
// caller left them; clears them afterwards.
scan_result scan(const std::string& text, std::uint32_t sigma, std::uint32_t preloops = 1) {
  test_dir dir;
  write_file("in.dat", text);
  OUTF = "out.txt";
  write_output = true;
  zax_items items(sigma);
  scan_result r;
  testing::internal::CaptureStdout();
  try {
    r.max_support = first_scan("in.dat", items, r.max_tr_len, preloops);
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  r.stdout_text = testing::internal::GetCapturedStdout();
  r.n_items = items.n_items;
  r.n_transactions = items.n_transactions;
  std::istringstream out(read_file("out.txt"));
  for (std::string line; std::getline(out, line);) r.output_lines.push_back(line);
  std::sort(r.output_lines.begin(), r.output_lines.end());
  return r;
}

struct cleanup {
  ~cleanup() {
    for (auto* c : GLOBAL_M_TABLE) delete c;
    GLOBAL_M_TABLE.clear();
    prefix_items.clear();
    GLOBAL_MAXIMUM_LENGTH = -1;
  }
};

int count_rows(const std::string& text, const std::string& word) {
  int n = 0;
  for (std::size_t p = text.find(word); p != std::string::npos; p = text.find(word, p + 1)) ++n;
  return n;
}

// The fields of the row that starts with prefix, split at blanks and tabs.
std::vector<std::string> row(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) {
      std::istringstream fields(line);
      std::vector<std::string> out;
      for (std::string f; fields >> f;) out.push_back(f);
      return out;
    }
  return {};
}

TEST(FirstScan, LevelsZeroAndOneMatchABruteForceCount) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 60; ++round) {
    const std::uint32_t id_range = 1 + rng() % 40;
    const int n_lines = static_cast<int>(rng() % 30);
    std::string text;
    std::vector<std::set<std::uint32_t>> lines;
    std::uint32_t largest = 0;
    for (int l = 0; l < n_lines; ++l) {
      std::set<std::uint32_t> line;
      const int len = static_cast<int>(rng() % 8);
      for (int i = 0; i < len; ++i) {
        std::uint32_t id = (rng() % id_range) * 3;  // gaps between ids
        line.insert(id);
        largest = std::max(largest, id);
        text += std::to_string(id) + (rng() % 4 == 0 ? "\t" : " ");
        if (rng() % 5 == 0) text += std::to_string(id) + " ";  // repeated item
      }
      lines.push_back(line);
      const bool last = l + 1 == n_lines;
      // An empty last line exists only through its newline.
      if (!(last && !line.empty() && rng() % 2 == 0)) text += rng() % 3 == 0 ? "\r\n" : "\n";
    }
    const std::uint32_t sigma = rng() % 6;
    const std::uint32_t min_count = std::max<std::uint32_t>(sigma, 1);
    std::map<std::uint32_t, std::uint32_t> support;
    std::uint32_t non_empty = 0;
    for (const auto& line : lines) {
      for (std::uint32_t id : line) ++support[id];
      non_empty += !line.empty();
    }
    std::vector<std::string> expected;
    std::uint32_t frequent = 0, max_support = 0;
    if (lines.size() >= min_count) expected.push_back("(" + std::to_string(lines.size()) + ")");
    for (auto [id, n] : support)
      if (n >= min_count) {
        expected.push_back(std::to_string(id) + " (" + std::to_string(n) + ")");
        ++frequent;
        max_support = std::max(max_support, n);
      }
    std::sort(expected.begin(), expected.end());

    scan_result r = scan(text, sigma);
    ASSERT_EQ(r.output_lines, expected) << "round " << round << "\n" << text;
    EXPECT_EQ(r.n_items, frequent);
    EXPECT_EQ(r.max_support, max_support);
    EXPECT_EQ(r.n_transactions, non_empty);
    std::vector<std::string> row1 = row(r.stdout_text, " 1:");
    ASSERT_EQ(row1.size(), 8u) << r.stdout_text;
    EXPECT_EQ(row1[2], std::to_string(support.empty() ? 0 : largest + 1));
    EXPECT_EQ(row1[3], std::to_string(frequent));
    EXPECT_EQ(row1[4], std::to_string(frequent));
    EXPECT_EQ(row1[5], std::to_string(non_empty));
    std::vector<std::string> row0 = row(r.stdout_text, " 0:");
    ASSERT_EQ(row0.size(), 6u);
    EXPECT_EQ(row0[3], lines.size() >= min_count ? "1" : "0");
  }
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

TEST(FirstScan, PrefixLineCarriesThePrefixSupportAndObeysSigma) {
  cleanup c;
  prefix_items = {7};
  scan_result r = scan("7 1\n1 2\n7\n7 5\n", 3);
  EXPECT_EQ(r.output_lines, (std::vector<std::string>{"7 (3)", "7 7 (3)"}));
  r = scan("7 1\n1 2\n7\n7 5\n", 4);
  EXPECT_TRUE(r.output_lines.empty());
}

TEST(FirstScan, LengthBoundGovernsLevelsZeroAndOne) {
  cleanup c;
  struct Case {
    int bound;
    std::size_t lines;
  } cases[] = {{-1, 3}, {1, 3}, {0, 1}, {-2, 0}};
  for (const Case& k : cases) {
    GLOBAL_MAXIMUM_LENGTH = k.bound;
    scan_result r = scan("1 2\n1 2\n", 1);
    EXPECT_EQ(r.output_lines.size(), k.lines) << k.bound;
  }
}

TEST(FirstScan, MonotoneConstraintTrimsBeforeCountingAndEmptyItemsetFails) {
  cleanup c;
  GLOBAL_M_TABLE.push_back(new MinLength(2, true));
  scan_result r = scan("1 2\n3\n1 1\n", 1);  // "1 1" is the set {1}
  EXPECT_EQ(r.n_transactions, 1u);
  EXPECT_EQ(row(r.stdout_text, " 0:")[3], "0");
  EXPECT_EQ(row(r.stdout_text, " 1:")[4], "0");  // single items fail the length too
  EXPECT_TRUE(r.output_lines.empty());
}

TEST(WinnowLoops, PassRowsFollowPreloopsAndStability) {
  cleanup c;
  GLOBAL_M_TABLE.push_back(new MinLength(3, true));
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
    scan_result r = scan(k.text, 2, k.preloops);
    EXPECT_EQ(count_rows(r.stdout_text, "winnow"), k.rows) << k.preloops;
    EXPECT_EQ(r.n_transactions, k.n_transactions) << k.preloops;
    EXPECT_EQ(r.n_items, k.n_items) << k.preloops;
  }
  scan_result r = scan(cascade, 2, 3);
  EXPECT_NE(
      r.stdout_text.find("( \t winnow \t     13 \t      8 \t      0 \t        4 \t        0 \t "),
      std::string::npos)
      << r.stdout_text;
}

TEST(WinnowLoops, NoMonotoneConstraintMeansNoPass) {
  scan_result r = scan("1 2 3\n1\n", 2, 0);
  EXPECT_EQ(count_rows(r.stdout_text, "winnow"), 0);
}

TEST(WinnowLoops, StrippingIsNotReappliedByThePasses) {
  cleanup c;
  prefix_items = {1};
  GLOBAL_M_TABLE.push_back(new MinLength(0, false, 1));
  scan_result r = scan("1 2 3\n1 2 3\n2 3\n", 1, 3);
  EXPECT_EQ(count_rows(r.stdout_text, "winnow"), 1);
  EXPECT_EQ(r.n_transactions, 2u);
  EXPECT_EQ(r.output_lines, (std::vector<std::string>{"1 (2)", "1 2 (2)", "1 3 (2)"}));
}

TEST(FirstScan, ItemWithoutAttributeValueIsAnError) {
  reset_attributes();
  needed_attributes = {0};
  attributes_matrix.push_back(std::make_unique<std::vector<std::uint32_t>>(3, 1));
  EXPECT_THROW(scan("0 1 2\n2 3\n", 1), run_error);
  reset_attributes();
}

TEST(FirstScan, MapsAndSortsTransactionsToDenseIds) {
  zax_items items(2);
  for (std::uint32_t id :
       {5u, 5u, 5u, 9u, 9u, 4000000000u, 4000000000u, 4000000000u, 4000000000u, 7u})
    items.count_item(id);
  items.n_transactions = 4;
  items.remap_items(false);  // dense: 9 -> 0, 5 -> 1, 4000000000 -> 2
  std::uint32_t raw[] = {4000000000u, 7, 5, 9, 123};
  Transaction<std::uint32_t> in{5, raw};
  std::uint8_t buf[5];
  Transaction<std::uint8_t> out{0, buf};
  prune_and_map_and_ord_first_iter(in, out, items);
  ASSERT_EQ(out.length, 3);
  EXPECT_EQ(std::vector<int>(buf, buf + 3), (std::vector<int>{0, 1, 2}));
}

}  // namespace
