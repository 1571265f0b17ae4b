// itemset_digest: files holding the same itemsets, in any line order and item
// order, share a fingerprint; any change to an itemset or a support moves it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

// The fingerprint line of one file ("" and a failure when the tool failed).
std::string digest(const std::string& path) {
  const run_outcome o = run_here(ITEMSET_DIGEST_BIN, {path});
  EXPECT_EQ(o.exit_status, 0) << o.stderr_text;
  const std::size_t end = o.stdout_text.rfind(' ');  // drop the file name
  return end == std::string::npos ? "" : o.stdout_text.substr(0, end);
}

TEST(ItemsetDigest, SameItemsetsAgreeAndAnyChangeDisagrees) {
  test_dir dir("digest");
  const std::string base = "(9)\n1 2 (5)\n7 (3)\n10 2 30 (4)\n";
  write_file("base.txt", base);
  const std::string expected = digest("base.txt");
  EXPECT_EQ(expected.substr(0, 2), "4 ");
  const std::vector<std::string> same = {
      "7 (3)\n2 30 10 (4)\n(9)\n2 1 (5)\n",  // lines and items reordered
      "(9)\n1  2\t(5)\n7 (3)\n10 2 30 (4)",  // other blanks, no last newline
  };
  for (const std::string& text : same) {
    write_file("other.txt", text);
    EXPECT_EQ(digest("other.txt"), expected) << text;
  }
  const std::vector<std::string> different = {
      "(9)\n1 2 (6)\n7 (3)\n10 2 30 (4)\n",      // a support
      "(9)\n1 2 (5)\n7 (3)\n",                   // a line missing
      "(9)\n1 2 7 (5)\n(3)\n10 2 30 (4)\n",      // an item moved to another line
      "(9)\n12 (5)\n7 (3)\n10 2 30 (4)\n",       // two items run together
      "(9)\n1 2 (5)\n7 (3)\n10 2 30 (4)\n(9)\n",  // a line twice
  };
  for (const std::string& text : different) {
    write_file("other.txt", text);
    EXPECT_NE(digest("other.txt"), expected) << text;
  }
  const run_outcome missing = run_here(ITEMSET_DIGEST_BIN, {"none.txt"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.stderr_text, "itemset_digest: cannot open none.txt\n");
}

}  // namespace
