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

TEST(Options, WidthBoundaries) {
  // T is chosen from n_items + 1, T1 from the largest support.
  struct Case {
    std::uint64_t largest;
    int bytes;
  } cases[] = {{0, 1}, {255, 1}, {256, 2}, {65535, 2}, {65536, 4}, {4294967296ull, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(width_for(c.largest), c.bytes) << c.largest;
    int seen = 0;
    with_width(c.largest, [&](auto t) { seen = sizeof(t); });
    EXPECT_EQ(seen, c.bytes) << c.largest;
  }
  EXPECT_EQ(width_for(254 + 1), 1);  // 254 frequent items: 8-bit ids
  EXPECT_EQ(width_for(255 + 1), 2);  // 255 frequent items: 16-bit ids
}

TEST(Options, LengthBoundBeyondThePrefix) {
  struct Case {
    std::int64_t bound;
    std::size_t prefix;
    int expected;
  } cases[] = {{INT64_MAX, 0, -1}, {INT64_MAX, 3, -1}, {5, 2, 3}, {2, 2, 0},
               {1, 2, -2},         {-1, 0, -2},        {0, 0, 0}, {4000000000ll, 0, INT_MAX}};
  for (const Case& c : cases)
    EXPECT_EQ(maximum_length_beyond_prefix(c.bound, c.prefix), c.expected) << c.bound;
}

TEST(Options, ParsesPairsAndRejectsBadCommandLines) {
  run_options o;
  const char* good[] = {"kestrel", "sigma", "3",        "input", "in.dat", "output", "out.txt",
                        "hop",     "-1",    "preloops", "0",     "sigma",  "4"};
  ASSERT_TRUE(ParseArguments(13, good, o));
  EXPECT_EQ(o.sigma, 4u);  // a repeated option keeps its last value
  EXPECT_EQ(o.hop, -1);
  EXPECT_EQ(o.preloops, 0u);
  EXPECT_EQ(o.input, "in.dat");
  struct Case {
    std::vector<const char*> argv;
    std::string message;
  } bad[] = {
      {{"kestrel", "input", "a", "output", "b", "sigma"}, "sigma: a value must follow the keyword"},
      {{"kestrel", "input", "a", "output", "b"}, "input, output and sigma are mandatory!"},
      {{"kestrel", "input", "a", "sigma", "1"}, "input, output and sigma are mandatory!"},
      {{"kestrel", "input", "a", "output", "b", "sigma", "1", "bogus", "[1]"},
       " ... Error in constraints!"},
  };
  for (const Case& c : bad) {
    run_options r;
    EXPECT_EQ(
        run_error_of([&] { ParseArguments(static_cast<int>(c.argv.size()), c.argv.data(), r); }),
        c.message);
  }
}

}  // namespace
