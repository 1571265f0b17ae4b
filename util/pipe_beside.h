// Two stages of one serial walk on two processors: a producer runs on a thread
// of its own while the calling thread consumes what it emits, item by item in
// the order emitted, so the consumer sees exactly the sequence one thread
// would have given it.
//
// pipe_beside<Item>(on_thread, produce, consume) calls produce(emit), where
// emit(item) hands one item on, and consume(item) for every item. Without
// on_thread (or when the system refuses the thread) emit is consume itself and
// nothing is started. On a thread, items travel in chunks of kChunkItems, at
// most kChunksInFlight chunks waiting at once (the producer waits for room);
// the chunks' buffers go back to the producer, so a long walk allocates no
// more once warm. An exception of the producer reaches the consumer after
// every item emitted before it; one of the consumer stops the producer at its
// next hand-on and is rethrown once the producer's thread has ended.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace pipe_detail {

// Thrown at the producer's hand-on once the consumer has stopped.
struct consumer_stopped {};

template <class Item>
class channel {
 public:
  static constexpr std::size_t kChunkItems = 4096;
  static constexpr std::size_t kChunksInFlight = 8;

  channel() { filling_.reserve(kChunkItems); }

  // Producer side.
  void emit(const Item& item) {
    filling_.push_back(item);
    if (filling_.size() == kChunkItems) send();
  }
  void send() {
    if (filling_.empty()) return;
    std::unique_lock<std::mutex> hold(lock_);
    room_.wait(hold, [&] { return stopped_ || full_.size() < kChunksInFlight; });
    if (stopped_) throw consumer_stopped{};
    full_.push_back(std::move(filling_));
    filling_.clear();
    if (!spare_.empty()) {
      filling_ = std::move(spare_.back());
      spare_.pop_back();
    }
    hold.unlock();
    arrived_.notify_one();
    if (filling_.capacity() < kChunkItems) filling_.reserve(kChunkItems);
  }
  // After the last send; error is the producer's failure, if any.
  void close(std::exception_ptr error) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      closed_ = true;
      error_ = error;
    }
    arrived_.notify_one();
  }

  // Consumer side: swaps the next chunk into `chunk` (its old contents go back
  // to the producer); false once every chunk is taken, or the producer's
  // failure thrown then.
  bool receive(std::vector<Item>& chunk) {
    std::unique_lock<std::mutex> hold(lock_);
    arrived_.wait(hold, [&] { return closed_ || !full_.empty(); });
    if (full_.empty()) {
      if (error_) std::rethrow_exception(error_);
      return false;
    }
    chunk.clear();
    if (chunk.capacity() > 0) spare_.push_back(std::move(chunk));
    chunk = std::move(full_.front());
    full_.pop_front();
    hold.unlock();
    room_.notify_one();
    return true;
  }
  // The consumer failed: the producer stops at its next send.
  void stop() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stopped_ = true;
    }
    room_.notify_one();
  }

 private:
  std::vector<Item> filling_;  // the producer's chunk being filled
  std::mutex lock_;
  std::condition_variable room_;     // a chunk was taken, or the consumer stopped
  std::condition_variable arrived_;  // a chunk was sent, or the producer closed
  std::deque<std::vector<Item>> full_;
  std::vector<std::vector<Item>> spare_;  // emptied buffers for the producer
  bool closed_ = false;
  bool stopped_ = false;
  std::exception_ptr error_;
};

}  // namespace pipe_detail

template <class Item, class Produce, class Consume>
void pipe_beside(bool on_thread, Produce&& produce, Consume&& consume) {
  if (!on_thread) {
    produce([&](const Item& item) { consume(item); });
    return;
  }
  pipe_detail::channel<Item> pipe;
  std::thread producer;
  try {
    producer = std::thread([&] {
      std::exception_ptr error;
      try {
        produce([&](const Item& item) { pipe.emit(item); });
      } catch (const pipe_detail::consumer_stopped&) {
      } catch (...) {
        error = std::current_exception();
      }
      // The items emitted before a failure are consumed before it is thrown.
      try {
        pipe.send();
      } catch (...) {
      }
      pipe.close(error);
    });
  } catch (const std::system_error&) {
    produce([&](const Item& item) { consume(item); });
    return;
  }
  try {
    std::vector<Item> chunk;
    while (pipe.receive(chunk))
      for (const Item& item : chunk) consume(item);
  } catch (...) {
    pipe.stop();
    producer.join();
    throw;
  }
  producer.join();
}
