#include "driver/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/support/run_error_of.h"

namespace {

TEST(Options, StrictNumbers) {
  EXPECT_EQ(parse_unsigned_option("sigma", "0"), 0u);
  EXPECT_EQ(parse_unsigned_option("sigma", "4294967295"), 4294967295u);
  EXPECT_EQ(parse_signed_option("hop", "-2147483648"), INT_MIN);
  EXPECT_EQ(parse_signed_option("hop", "2147483647"), INT_MAX);
  EXPECT_EQ(parse_signed_option("hop", "-1"), -1);
  struct Case {
    bool is_signed;
    std::string text, message;
  } bad[] = {
      {false, "abc", "sigma: \"abc\" is not a whole number"},
      {false, "2.5", "sigma: \"2.5\" is not a whole number"},
      {false, "10x", "sigma: \"10x\" is not a whole number"},
      {false, "", "sigma: \"\" is not a whole number"},
      {false, " 5", "sigma: \" 5\" is not a whole number"},
      {false, "+5", "sigma: \"+5\" is not a whole number"},
      {false, "-1", "sigma: \"-1\" must not be negative"},
      {false, "4294967296", "sigma: \"4294967296\" does not fit 32 bits"},
      {false, "99999999999999999999999", "sigma: \"99999999999999999999999\" does not fit 32 bits"},
      {true, "2147483648", "sigma: \"2147483648\" does not fit 32 bits"},
      {true, "-2147483649", "sigma: \"-2147483649\" does not fit 32 bits"},
      {true, "-", "sigma: \"-\" is not a whole number"},
      {true, "--1", "sigma: \"--1\" is not a whole number"},
  };
  for (const Case& c : bad)
    EXPECT_EQ(run_error_of([&] {
                c.is_signed ? parse_signed_option("sigma", c.text)
                            : static_cast<int>(parse_unsigned_option("sigma", c.text));
              }),
              c.message);
}

TEST(Options, ParsesPairsAndRejectsBadCommandLines) {
  kestrel::run_description o;
  const char* good[] = {"kestrel", "sigma", "3",        "input",  "in.dat", "output", "out.txt",
                        "hop",     "-1",    "preloops", "0",      "lengeq", "[2]",    "tmpdir",
                        "/tmp/x",  "sigma", "4",        "lengeq", "[1]",  "memory", "512",
                        "threads", "3"};
  ASSERT_TRUE(ParseArguments(23, good, o));
  EXPECT_EQ(o.memory_mib, 512u);
  EXPECT_EQ(o.threads, 3u);
  EXPECT_EQ(o.sigma, 4u);  // a repeated option keeps its last value
  EXPECT_EQ(o.hop, -1);
  EXPECT_EQ(o.preloops, 0u);
  EXPECT_EQ(o.input, "in.dat");
  EXPECT_EQ(o.output, "out.txt");
  EXPECT_EQ(o.tmpdir, "/tmp/x");
  bool quiet = false;  // "quiet" is the command line's alone
  const char* hushed[] = {"kestrel", "input", "a", "output", "b", "sigma", "1", "quiet", "1"};
  kestrel::run_description h;
  ASSERT_TRUE(ParseArguments(9, hushed, h, &quiet));
  EXPECT_TRUE(quiet);
  ASSERT_EQ(o.constraints.size(), 2u);  // a repeated constraint makes two, in order
  EXPECT_EQ(o.constraints[0].parameters, "[2]");
  EXPECT_EQ(o.constraints[1].parameters, "[1]");
  // The testing options (absent from the usage text) force the run's own choices.
  EXPECT_EQ(o.testing.vertical_layout, kestrel::run_testing::layout::by_density);
  const char* forced[] = {"kestrel", "input", "a", "output", "b", "sigma", "1",
                          "testing.vertical_layout", "lists", "testing.level_window_bytes", "1",
                          "testing.folded_supports_from", "7", "testing.key_subsets", "sampled"};
  kestrel::run_description t;
  ASSERT_TRUE(ParseArguments(15, forced, t));
  EXPECT_TRUE(t.constraints.empty());
  EXPECT_EQ(t.testing.vertical_layout, kestrel::run_testing::layout::tid_lists);
  EXPECT_EQ(t.testing.level_window_bytes, 1u);
  EXPECT_EQ(t.testing.folded_supports_from, 7u);
  EXPECT_EQ(t.testing.key_subsets, kestrel::run_testing::subsets::sampled);
  struct Case {
    std::vector<const char*> argv;
    std::string message;
  } bad[] = {
      {{"kestrel", "input", "a", "output", "b", "sigma"}, "sigma: a value must follow the keyword"},
      {{"kestrel", "input", "a", "output", "b"}, "input, output and sigma are mandatory!"},
      {{"kestrel", "input", "a", "sigma", "1"}, "input, output and sigma are mandatory!"},
      {{"kestrel", "input", "a", "output", "b", "sigma", "1", "bogus", "[1]"},
       " ... Error in constraints!"},
      // Constraints are checked in command-line order, before the mandatory options.
      {{"kestrel", "sumleq", "[0,x]", "sigma", "abc"}, "sumleq: malformed parameters \"[0,x]\""},
      {{"kestrel", "memory", "0"}, "memory: \"0\" must be at least 1"},
      {{"kestrel", "memory", "-5"}, "memory: \"-5\" must not be negative"},
      {{"kestrel", "threads", "0"}, "threads: \"0\" must be at least 1"},
      {{"kestrel", "threads", "two"}, "threads: \"two\" is not a whole number"},
      {{"kestrel", "quiet", "yes"}, "quiet: \"yes\" is not a whole number"},
      {{"kestrel", "testing.vertical_layout", "dense"},
       "testing.vertical_layout: \"dense\" is not one of density, bits, lists"},
      {{"kestrel", "testing.key_subsets", "some"},
       "testing.key_subsets: \"some\" is not one of rate, all, sampled"},
      {{"kestrel", "testing.level_window_bytes", "-1"},
       "testing.level_window_bytes: \"-1\" must not be negative"},
  };
  for (const Case& c : bad) {
    kestrel::run_description r;
    EXPECT_EQ(
        run_error_of([&] { ParseArguments(static_cast<int>(c.argv.size()), c.argv.data(), r); }),
        c.message);
  }
}

}  // namespace
