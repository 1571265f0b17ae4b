#include "util/thread_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every item runs once, whatever the workers; items start in ascending order
// (each worker sees its own items ascend); worker 0 is the calling thread.
TEST(ThreadRunner, EveryItemRunsOnceAndItemsStartInOrder) {
  for (unsigned workers : {1u, 2u, 3u, 8u}) {
    for (std::size_t n_items : {0u, 1u, 5u, 1000u}) {
      std::vector<std::atomic<int>> runs(n_items);
      std::vector<std::vector<std::size_t>> taken(workers);
      const std::thread::id caller = std::this_thread::get_id();
      std::atomic<bool> zero_on_caller{true};
      run_on_threads(workers, n_items, [&](unsigned worker, work_items& items) {
        if (worker == 0 && std::this_thread::get_id() != caller) zero_on_caller = false;
        for (std::size_t i; items.next(i);) {
          ++runs[i];
          taken[worker].push_back(i);
        }
      });
      for (std::size_t i = 0; i < n_items; ++i) EXPECT_EQ(runs[i], 1) << workers << " " << i;
      for (const std::vector<std::size_t>& t : taken)
        EXPECT_TRUE(std::is_sorted(t.begin(), t.end())) << workers;
      EXPECT_TRUE(zero_on_caller);
    }
  }
}

// The first exception reaches the caller, once every worker has stopped; the
// others take no item after it. Here worker 1 throws while worker 0 holds an
// item, and worker 0 goes on only once the job is marked failed (so the two
// must run side by side: workers run one after another would never end).
TEST(ThreadRunner, TheFirstExceptionStopsTheOthersAndReachesTheCaller) {
  std::mutex lock;
  std::condition_variable changed;
  bool holding = false;
  std::atomic<int> after_throw{0};
  std::atomic<bool> zero_returned{false};
  try {
    run_on_threads(2, 100, [&](unsigned worker, work_items& items) {
      std::size_t i;
      if (worker == 1) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return holding; });
        items.next(i);
        throw std::runtime_error("item failed");
      }
      ASSERT_TRUE(items.next(i));
      {
        std::lock_guard<std::mutex> hold(lock);
        holding = true;
        changed.notify_all();
      }
      while (!items.failed()) std::this_thread::yield();
      while (items.next(i)) ++after_throw;
      zero_returned = true;
    });
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "item failed");
  }
  EXPECT_EQ(after_throw, 0);
  EXPECT_TRUE(zero_returned);
  // A failure on the calling thread with no other worker reaches the caller too.
  EXPECT_THROW(run_on_threads(1, 3, [](unsigned, work_items&) { throw std::logic_error("x"); }),
               std::logic_error);
}

// Results handed on in item order whatever order they finish in, one at a
// time; after a hand-on throws, nothing more leaves (not the result it threw
// on, not a later one).
TEST(ThreadRunner, ResultsLeaveInItemOrderAndStopAfterAFailedHandOn) {
  in_item_order<int> results(5);
  std::vector<std::size_t> left;
  auto hand_on = [&](std::size_t i, const int& r) {
    EXPECT_EQ(r, static_cast<int>(10 * i));
    left.push_back(i);
  };
  EXPECT_EQ(results.put(2, std::make_unique<int>(20), hand_on), 0u);
  EXPECT_EQ(results.put(1, std::make_unique<int>(10), hand_on), 0u);
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(results.put(0, std::make_unique<int>(0), hand_on), 3u);
  EXPECT_EQ(left, (std::vector<std::size_t>{0, 1, 2}));

  in_item_order<int> failing(3);
  int calls = 0;
  auto throwing = [&](std::size_t, const int&) {
    ++calls;
    throw std::runtime_error("hand-on failed");
  };
  EXPECT_THROW(failing.put(0, std::make_unique<int>(0), throwing), std::runtime_error);
  EXPECT_EQ(failing.put(1, std::make_unique<int>(1), throwing), 0u);
  EXPECT_EQ(calls, 1);

  // Many workers, items finishing in any order: the order of leaving holds.
  constexpr std::size_t kItems = 2000;
  in_item_order<std::size_t> ordered(kItems);
  std::vector<std::size_t> order;
  run_on_threads(4, kItems, [&](unsigned, work_items& items) {
    for (std::size_t i; items.next(i);)
      ordered.put(i, std::make_unique<std::size_t>(i), [&](std::size_t at, const std::size_t& r) {
        EXPECT_EQ(at, r);
        order.push_back(r);
      });
  });
  ASSERT_EQ(order.size(), kItems);
  for (std::size_t i = 0; i < kItems; ++i) ASSERT_EQ(order[i], i);
}

}  // namespace
