#include "util/pass_meter.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

TEST(PassMeter, ShowsALongPassAndErasesItWhenItEnds) {
  pass_meter meter;
  std::mutex lock;
  std::condition_variable came;
  std::vector<std::string> shown;
  ASSERT_TRUE(meter.start_showing([&](const char* line) {
    std::lock_guard<std::mutex> hold(lock);
    shown.push_back(line);
    came.notify_all();
  }));
  EXPECT_EQ(meter.when_shown(), &meter);
  meter.begin_level(5);
  meter.add_candidates(1000);
  meter.add_candidates(234);
  EXPECT_EQ(meter.line(), "level 5: 1234 candidates");
  {
    // The meter's thread shows the line on its own once the pass has lasted.
    std::unique_lock<std::mutex> hold(lock);
    came.wait(hold, [&] { return !shown.empty(); });
  }
  meter.end();
  EXPECT_EQ(meter.line(), "");
  {
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(shown.front(), "level 5: 1234 candidates");
    EXPECT_EQ(shown.back(), "");  // erased as the pass ended
  }
  // File passes: bytes of the size when known, transactions on the first scan.
  meter.begin_file("first scan", 2 << 20, true);
  meter.set_bytes(1 << 20);
  meter.set_transactions(7);
  EXPECT_EQ(meter.line(), "first scan: 1.0 of 2.0 MiB, 7 transactions");
  meter.begin_file("dataset.tmp", 0, false);  // replaces the pass before
  meter.set_bytes(3 << 19);
  EXPECT_EQ(meter.line(), "dataset.tmp: 1.5 MiB");
  meter.stop_showing();
  EXPECT_EQ(meter.line(), "");
  EXPECT_EQ(meter.when_shown(), nullptr);
}

TEST(PassMeter, WithoutAHookNothingIsFollowed) {
  pass_meter meter;
  EXPECT_EQ(meter.when_shown(), nullptr);
  meter.begin_level(3);
  meter.add_candidates(10);
  EXPECT_EQ(meter.line(), "");
  meter.end();
}

}  // namespace
