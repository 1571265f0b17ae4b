// The map of names and the writer that puts them in place of ids: output
// reaches the writer cut anywhere (buffer flushes fall inside lines), and the
// lines must come out the same.
#include "util/item_names.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

TEST(ItemNames, LinesCutAnywhereGetTheSameNames) {
  test_dir dir;
  // Sparse ids too: the map is then searched, not tabled.
  for (const std::string& big : {std::string("12"), std::string("4294967295")}) {
    write_file("m.map", "0 milk\n3 rye, sliced\r\n\n" + big + " caf\xC3\xA9 (1)\n7\t7");
    const item_names names("m.map");
    const std::string lines = "(9)\n3 (5)\n0 3 (4)\n7 " + big + " 0 (12)\n" + big + " (1)\n";
    const std::string expected =
        "(9)\nrye, sliced (5)\nmilk rye, sliced (4)\n7 caf\xC3\xA9 (1) milk (12)\ncaf\xC3\xA9 (1) (1)\n";
    for (std::size_t cut = 0; cut <= lines.size(); ++cut) {
      for (std::size_t cut2 = cut; cut2 <= lines.size(); cut2 += 3) {
        item_name_writer writer(names);
        std::string out;
        writer.translate(lines.data(), cut, out);
        writer.translate(lines.data() + cut, cut2 - cut, out);
        writer.translate(lines.data() + cut2, lines.size() - cut2, out);
        ASSERT_EQ(out, expected) << cut << " " << cut2;
      }
    }
    item_name_writer writer(names);
    std::string out;
    EXPECT_EQ(run_error_of([&] { writer.translate("0 5 (2)\n", 8, out); }),
              "m.map: item 5 has no name");
  }
}

}  // namespace
