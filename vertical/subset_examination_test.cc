#include "vertical/subset_examination.h"

#include <gtest/gtest.h>

namespace {

constexpr int kFirst = static_cast<int>(subset_examination::kFirst);
constexpr int kShare = static_cast<int>(subset_examination::kShare);
constexpr int kSample = static_cast<int>(subset_examination::kSample);

// Runs n candidates through e, settling those examined with settles(i), and
// returns how many were examined.
template <class Settles>
int examine(subset_examination& e, int n, Settles settles) {
  int examined = 0;
  for (int i = 0; i < n; ++i) {
    if (!e.wanted()) continue;
    e.note(settles(examined));
    ++examined;
  }
  return examined;
}

}  // namespace

// Where the look-ups settle candidates often (mushroom: a third and more),
// every candidate is examined; where they rarely do (chess: a few in a
// hundred), a walker examines its first candidates and then a sample.
TEST(SubsetExamination, ExaminesAllWhileLookUpsSettleTheShareAndASampleBelow) {
  subset_examination often;
  EXPECT_EQ(examine(often, 10000, [](int i) { return i % 3 == 0; }), 10000);
  subset_examination at_share;
  EXPECT_EQ(examine(at_share, 10000, [](int i) { return i % kShare == 0; }), 10000);

  subset_examination rarely;
  const int examined =
      examine(rarely, kFirst + kSample * 1000, [](int i) { return i % (4 * kShare) == 0; });
  EXPECT_EQ(examined, kFirst + 1000);
  subset_examination never;
  EXPECT_EQ(examine(never, kFirst + kSample * 10, [](int) { return false; }), kFirst + 10);
}

// The rate stays current: a walker that moved on to candidates whose
// look-ups settle examines all of them again once the sample has lifted the
// share to the least, and goes back to the sample once their share falls
// below it again.
TEST(SubsetExamination, FollowsTheSettledShareAlongTheLevel) {
  subset_examination e;
  const int unsettled = examine(e, 2 * kFirst, [](int) { return false; });
  EXPECT_EQ(unsettled, kFirst + kFirst / kSample);
  // The settled examinations that lift the share to the least.
  const int needed = (unsettled + kShare - 2) / (kShare - 1);
  int last_refused = -1;
  for (int i = 0; i < 10000; ++i) {
    if (!e.wanted()) {
      last_refused = i;
      continue;
    }
    e.note(true);
  }
  // Sampled until then.
  EXPECT_GE(last_refused, (needed - 1) * kSample);
  EXPECT_LT(last_refused, needed * kSample);
  // Settling stops: after some 53,000 candidates the share is below the least.
  examine(e, 100000, [](int) { return false; });
  EXPECT_EQ(examine(e, kSample * 1000, [](int) { return false; }), 1000);
}

// The forced rules ignore the rate: all examines every candidate, sampled the
// sample from the first on, settled or not.
TEST(SubsetExamination, ForcedRulesIgnoreTheRate) {
  subset_examination all(key_subsets::all);
  EXPECT_EQ(examine(all, 5000, [](int) { return false; }), 5000);
  subset_examination sampled(key_subsets::sampled);
  EXPECT_EQ(examine(sampled, kSample * 100, [](int) { return true; }), 100);
}
