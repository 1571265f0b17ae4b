// The counterexamples that must switch off prunes_transactions(). What the
// counting hooks drop, and the filters of the other kinds, are the
// differential test's job.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/test_support.h"

namespace {

using constraint_testing::bind_all;
using constraint_testing::parse;

TEST(ConstraintPruning, LooseCounterexamplesDisablePruning) {
  struct Case {
    const char* kw;
    int n_prefix;
    bool prunes;
  } cases[] = {
      {"vargeq", 0, false},  {"stdgeq", 0, false}, {"mdgeq", 0, false},  {"mdleq", 0, false},
      {"avggeq", 1, false},  {"medleq", 1, false}, {"varleq", 1, false}, {"spvgeq", 1, false},
      {"avggeq", 0, true},   {"spvleq", 0, true},  {"minleq", 1, true},  {"maxgeq", 1, true},
      {"rangegeq", 1, true},
  };
  for (const Case& c : cases) {
    constraint_set set;
    for (int i = 0; i < c.n_prefix; ++i) set.prefix_items.push_back(3);
    parse(set, c.kw, "[0,1]");
    std::vector<std::uint32_t> column(4, 1);
    bind_all(set, &column);
    EXPECT_EQ(set.loose_table[0]->prunes_transactions(), c.prunes) << c.kw;
  }
}

}  // namespace
