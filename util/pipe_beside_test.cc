#include "util/pipe_beside.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Emits 0 .. n-1 and records the thread it ran on.
struct counting_producer {
  std::uint32_t n;
  std::thread::id* ran_on;
  template <class Emit>
  void operator()(Emit&& emit) const {
    *ran_on = std::this_thread::get_id();
    for (std::uint32_t i = 0; i < n; ++i) emit(i);
  }
};

}  // namespace

// Many chunks (more than fit in flight at once, the last one partial) arrive
// whole and in order, consumed on the calling thread, the producer on another;
// a producer that emits nothing ends the pipe at once.
TEST(PipeBesideThreads, ConsumerSeesEveryItemInOrder) {
  for (bool on_thread : {false, true})
    for (const std::uint32_t n : {0u, 100u * 1000 + 17}) {
      std::thread::id produced_on;
      std::vector<std::uint32_t> seen;
      const std::thread::id caller = std::this_thread::get_id();
      bool consumed_by_caller = true;
      pipe_beside<std::uint32_t>(on_thread, counting_producer{n, &produced_on},
                                 [&](std::uint32_t v) {
                                   consumed_by_caller &= std::this_thread::get_id() == caller;
                                   seen.push_back(v);
                                 });
      EXPECT_TRUE(consumed_by_caller);
      ASSERT_EQ(seen.size(), n) << on_thread;
      for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(seen[i], i) << on_thread;
      EXPECT_EQ(produced_on != caller, on_thread);
    }
}

// The producer's failure arrives after everything it emitted before it.
TEST(PipeBesideThreads, ProducerFailureFollowsItsItems) {
  for (bool on_thread : {false, true}) {
    std::vector<std::uint32_t> seen;
    EXPECT_THROW(pipe_beside<std::uint32_t>(
                     on_thread,
                     [](auto&& emit) {
                       for (std::uint32_t i = 0; i < 10000; ++i) emit(i);
                       throw std::runtime_error("producer failed");
                     },
                     [&](std::uint32_t v) { seen.push_back(v); }),
                 std::runtime_error);
    ASSERT_EQ(seen.size(), 10000u) << on_thread;
    EXPECT_EQ(seen.back(), 9999u);
  }
}

// A failing consumer stops a producer that would otherwise wait for room
// forever (it emits far more than fit in flight), and its error is the one
// thrown.
TEST(PipeBesideThreads, ConsumerFailureStopsProducer) {
  std::uint64_t emitted = 0;
  EXPECT_THROW(pipe_beside<std::uint32_t>(
                   true,
                   [&](auto&& emit) {
                     for (std::uint32_t i = 0; i < 100 * 1000 * 1000; ++i, ++emitted) emit(i);
                   },
                   [](std::uint32_t v) {
                     if (v == 5000) throw std::logic_error("consumer failed");
                   }),
               std::logic_error);
  EXPECT_LT(emitted, 1000u * 1000u);
}
