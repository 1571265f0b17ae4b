// The reference is only as good as its own reading of the contract: these cases
// are worked out by hand, at the boundaries where an inexact or careless
// implementation answers differently.
#include "tests/reference_miner.h"

#include <gtest/gtest.h>

namespace {

using reference::RefConstraint;

TEST(ReferenceMiner, ReadsTransactionsAsTheContractSays) {
  struct Case {
    const char* text;
    std::size_t lines;   // transactions read, or 0 with bad = true
    bool bad;
  } cases[] = {
      {"1 2\n3", 2, false},                // last line without newline
      {"1 2\n\n3\n", 3, false},            // an empty line is a transaction
      {"1\r\n2\r\n", 2, false},            // carriage returns separate
      {"", 0, false},
      {"\n", 1, false},
      {"7 - 8 a-b 3. 5 .5\n", 1, false},   // look-alikes that are no numbers
      {"1 -2\n", 0, true},
      {"1 2.5\n", 0, true},
      {"4294967296\n", 0, true},
      {"4294967295\n", 1, false},
  };
  for (const Case& c : cases) {
    reference::Transactions tx;
    const std::string err = reference::parse_number_lines(c.text, true, &tx);
    EXPECT_EQ(!err.empty(), c.bad) << c.text;
    if (!c.bad) {
      EXPECT_EQ(tx.size(), c.lines) << c.text;
    }
  }
  reference::Transactions tx;
  ASSERT_EQ(reference::parse_number_lines("5 3 5 3 9,x5\n", true, &tx), "");
  EXPECT_EQ(tx[0], (std::vector<std::uint32_t>{3, 5, 9}));  // a transaction is a set
}

TEST(ReferenceMiner, StatisticsAreExactAtTheBoundary) {
  // Attribute 0: value of id i is values[i].
  const reference::AttributeRows attrs = {{4, 5, 100, 1, 2, 20, 4294967295u, 4294967295u, 3}};
  struct Case {
    const char* keyword;
    std::int32_t threshold;
    std::vector<std::uint32_t> items;
    std::size_t k;
    bool holds;
  } cases[] = {
      // {4,5}: n^2 var = 2*41 - 81 = 1; {4,5,100}: 3*10041 - 109^2 = 18242, var 2026.9.
      {"vargeq", 1, {0, 1}, 2, false},
      {"vargeq", 0, {0, 1}, 2, true},
      {"vargeq", 2026, {0, 1, 2}, 3, true},
      {"vargeq", 2027, {0, 1, 2}, 3, false},
      {"stdgeq", -5, {0}, 1, true},
      {"stdleq", -1, {0}, 1, false},
      {"stdleq", 0, {0, 1}, 2, false},   // std 0.5
      {"stdleq", 1, {0, 1}, 2, true},
      {"spvleq", 100, {0}, 1, false},    // n < 2
      {"spvgeq", 1, {0, 1}, 2, false},   // sample variance 0.5
      {"medgeq", 3, {3, 4, 8, 5}, 4, false},    // values 1, 2, 3, 20: median 2.5
      {"medgeq", 2, {3, 4, 8, 5}, 4, true},
      {"medleq", 2, {3, 4, 8, 5}, 4, false},
      {"medleq2", 3, {3, 4, 8, 5}, 4, true},
      {"avggeq", 7, {5, 0, 4, 3}, 4, false},    // values 20, 4, 2, 1: mean 6.75
      {"avggeq2", 6, {5, 0, 4, 3}, 4, true},
      {"avgleq2", -1, {}, 0, true},      // n = 0
      {"avgleq", -1, {}, 0, false},
      {"maxgeq2", 0, {}, 0, true},
      {"maxgeq2", 1, {}, 0, false},
      {"maxgeq", 0, {}, 0, false},
      {"minleq", 0, {}, 0, true},
      {"rangegeq", 0, {}, 0, false},
      {"rangeleq", 0, {0}, 1, true},
      {"mdgeq", 0, {0}, 0, false},       // k = 0: only prefix items
      {"mdleq", 2, {0, 5}, 2, false},    // values 4, 20: deviation 8
      {"mdleq", 8, {0, 5}, 2, true},
      {"sumleq", -1, {6, 7}, 2, false},  // 2 * (2^32 - 1) is no negative number
      {"sumgeq", 2147483647, {6}, 1, true},
      {"maxleq", -1, {6, 7}, 2, true},   // -1 reads as 4294967295
      {"mingeq", -1, {6, 0}, 2, false},
      {"lengeq", -1, {0, 1}, 2, false},
      {"lenleq", 2, {0, 1}, 2, true},
      {"lenleq", 1, {0, 1}, 2, false},
  };
  for (const auto& c : cases) {
    RefConstraint rc;
    rc.keyword = c.keyword;
    rc.attr = 0;
    rc.threshold = c.threshold;
    EXPECT_EQ(reference::constraint_holds(rc, c.items, c.k, attrs), c.holds)
        << c.keyword << " " << c.threshold << " on " << c.items.size() << " items";
  }
}

TEST(ReferenceMiner, EnumeratesWithPrefixAndSigma) {
  // Transactions: {1,2,3}, {1,2}, {2,3}, {} ; prefix 2 listed twice.
  const reference::Transactions tx = {{1, 2, 3}, {1, 2}, {2, 3}, {}};
  reference::Query q;
  q.sigma = 2;
  RefConstraint sup;
  sup.keyword = "supseteq";
  sup.list = {2, 2};
  q.constraints = {sup};
  const reference::MineResult r = reference::mine(tx, {}, false, q);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"2 (3)", "2 1 (2)", "2 3 (2)"}));

  q.constraints.clear();
  q.sigma = 0;  // at least 1 all the same: {1,3} occurs once, {} four times
  const reference::MineResult all = reference::mine(tx, {}, false, q);
  EXPECT_EQ(all.lines.size(), 8u);  // (), 1, 2, 3, 12, 13, 23, 123
  EXPECT_EQ(all.lines.front(), "(4)");

  RefConstraint needs;
  needs.keyword = "sumleq";
  needs.attr = 1;
  q.constraints = {needs};
  EXPECT_NE(reference::mine(tx, {{1, 2, 3, 4}}, true, q).error, "");  // no line 1
  needs.attr = 0;
  q.constraints = {needs};
  EXPECT_NE(reference::mine(tx, {{1, 2, 3}}, true, q).error, "");  // line too short
  EXPECT_NE(reference::mine(tx, {{1, 2, 3, 4}}, false, q).error, "");  // no file
}

TEST(ReferenceMiner, NormalisesOutputLines) {
  const auto lines = reference::normalise_output("9 5 3 1 (2)\n(7)\n4 x (1)\n5 (1)", 1);
  // "(7)" lacks the prefix item; "5 (1)" lacks its newline.
  EXPECT_EQ(lines, (std::vector<std::string>{"9 1 3 5 (2)", "MALFORMED (7)", "MALFORMED 4 x (1)",
                                             "MALFORMED 5 (1)"}));
  EXPECT_EQ(reference::normalise_output("(7)\n3 1 (2)\n", 0),
            (std::vector<std::string>{"(7)", "1 3 (2)"}));
}

}  // namespace
