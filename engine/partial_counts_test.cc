#include "engine/partial_counts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/run_error_of.h"

namespace {

using counts = std::vector<std::uint32_t>;
using flags = std::vector<std::uint8_t>;

// One pass over two transactions of 3 and 1 items, as a counting pass does it:
// its own share, plus what the earlier passes kept when read, kept for the
// later ones when write. Returns the sums of both transactions.
std::vector<std::pair<counts, flags>> pass(partial_counts<std::uint8_t>& p, bool read, bool write,
                                           const std::vector<std::pair<counts, flags>>& share) {
  p.start_pass(read, write);
  std::vector<std::pair<counts, flags>> sums = share;
  for (auto& [c, f] : sums) {
    const auto length = static_cast<std::uint32_t>(c.size());
    if (read) p.add_kept(c.data(), f, length);
    if (write) p.keep(c.data(), f, length, 3);
  }
  return sums;
}

TEST(PartialCounts, PassesAddTheirSharesSaturatedAtKAndOrTheirFlags) {
  test_dir dir;
  std::vector<std::pair<counts, flags>> last;
  {
    partial_counts<std::uint8_t> p("ds", 2);
    pass(p, false, true, {{{1, 7, 0}, {0, 1}}, {{2}, {0, 0}}});
    // Kept as {1, 3, 0}: 7 counts as k = 3, enough for local pruning.
    pass(p, true, true, {{{1, 0, 2}, {0, 0}}, {{0}, {0, 0}}});
    last = pass(p, true, false, {{{0, 0, 1}, {1, 0}}, {{0}, {0, 0}}});
    p.finish();
    EXPECT_EQ(read_file("ds.counts").size(), (3 + 2) + (1 + 2u));  // T counters, flag bytes
  }
  EXPECT_EQ(last[0].first, (counts{2, 3, 3}));
  EXPECT_EQ(last[0].second, (flags{1, 1}));
  EXPECT_EQ(last[1].first, (counts{2}));
  EXPECT_EQ(last[1].second, (flags{0, 0}));
  EXPECT_NE(access("ds.counts", F_OK), 0) << "the file goes with its object";
}

TEST(PartialCounts, ShortFileAndFailedWritesAreErrors) {
  test_dir dir;
  {
    partial_counts<std::uint16_t> p("ds", 1);
    p.start_pass(false, true);
    counts c = {4, 4};
    flags f = {1};
    p.keep(c.data(), f, 2, 5);
    p.start_pass(true, false);
    p.add_kept(c.data(), f, 2);
    // A read past the last record.
    EXPECT_EQ(run_error_of([&] { p.add_kept(c.data(), f, 2); }), "ds.counts is truncated!");
  }
  ASSERT_EQ(symlink("/dev/full", "full.counts"), 0);
  partial_counts<std::uint8_t> p("full", 0);
  p.start_pass(false, true);
  counts c = {1};
  p.keep(c.data(), flags{}, 1, 3);
  EXPECT_EQ(run_error_of([&] { p.finish(); }), "full.counts could not be written!");
}

}  // namespace
