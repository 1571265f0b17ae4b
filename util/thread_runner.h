// Work split between threads: the one way the program runs a job on several.
//
// A job is n_items items, numbered from 0, taken in turn by `workers` workers:
// worker 0 is the calling thread, workers 1, 2, ... are threads started in
// that order. Each worker pulls the next item not yet taken, so items start
// in ascending order whoever runs them, and a worker that finishes early takes
// over work. A thread the system refuses (and every one after it) is not
// started: the workers that run take its items, so the job ends the same. The
// first exception any worker throws stops the others before their next item
// and is rethrown to the caller once all of them have stopped.
//
// Results that must leave in item order (a level's chunk stores, a level's
// candidates) go through in_item_order: each finished item's result waits
// until every item before it has been handed on.
//
// Everything here is a template: the work is called directly, never through a
// virtual call or std::function, and items cost one atomic increment each.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// The items of a job, shared by its workers.
class work_items {
 public:
  explicit work_items(std::size_t n_items) : n_items_(n_items) {}
  work_items(const work_items&) = delete;
  work_items& operator=(const work_items&) = delete;

  // Takes the next item into `item`; false once every item is taken or a
  // worker has failed.
  bool next(std::size_t& item) {
    if (failed_.load(std::memory_order_relaxed)) return false;
    item = next_.fetch_add(1, std::memory_order_relaxed);
    return item < n_items_;
  }

  std::size_t size() const { return n_items_; }
  bool failed() const { return failed_.load(std::memory_order_relaxed); }
  void fail() { failed_.store(true, std::memory_order_relaxed); }

 private:
  const std::size_t n_items_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
};

// Runs work(worker, items) on each of `workers` workers (at least the calling
// thread, as worker 0); work takes its items with items.next(i). Per-worker
// state set up inside work is built on the worker's own thread. Returns once
// every started worker has returned; rethrows the first exception thrown.
template <class Work>
void run_on_threads(unsigned workers, std::size_t n_items, const Work& work) {
  work_items items(n_items);
  std::mutex lock;
  std::exception_ptr error;
  auto run = [&](unsigned worker) {
    try {
      work(worker, items);
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock);
      if (!error) error = std::current_exception();
      items.fail();
    }
  };
  std::vector<std::thread> started;
  started.reserve(workers > 0 ? workers - 1 : 0);
  // A thread the system refuses is not needed: the others take its items.
  try {
    for (unsigned w = 1; w < workers; ++w) started.emplace_back(run, w);
  } catch (const std::system_error&) {
  }
  run(0);
  for (std::thread& t : started) t.join();
  if (error) std::rethrow_exception(error);
}

// Hands the results of a job's items on in item order, from any worker.
template <class Result>
class in_item_order {
 public:
  explicit in_item_order(std::size_t n_items) : done_(n_items) {}

  // Keeps item i's result, then hands on (hand_on(i, result)) every result
  // from the first not yet handed on while they are ready, on this thread and
  // under a lock: results leave one at a time. Returns how many items have
  // been handed on. Once a hand-on throws, nothing more is handed on (the
  // result it threw on would otherwise leave twice): the exception goes to
  // the caller, and later calls only return the count.
  template <class HandOn>
  std::size_t put(std::size_t i, std::unique_ptr<Result> result, const HandOn& hand_on) {
    std::lock_guard<std::mutex> hold(lock_);
    if (broken_) return handed_;
    done_[i] = std::move(result);
    try {
      for (; handed_ < done_.size() && done_[handed_]; ++handed_) {
        hand_on(handed_, *done_[handed_]);
        done_[handed_].reset();
      }
    } catch (...) {
      broken_ = true;  // before the lock is let go
      throw;
    }
    return handed_;
  }

 private:
  std::mutex lock_;
  std::vector<std::unique_ptr<Result>> done_;
  std::size_t handed_ = 0;
  bool broken_ = false;
};
