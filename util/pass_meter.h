// How far the pass in progress got, as one line for a person at a terminal.
//
// A long pass tells the run's meter what it is (the first scan: bytes of the
// input read and transactions; a pass over "dataset.tmp": bytes read; a level
// in memory: candidates done) and sets its counters as it goes, once per block,
// batch of records or chunk of candidates, with relaxed atomic stores: nothing
// a pass does waits on the meter. Only when the run shows the line (the
// command line on a terminal) does a thread of the meter's own wake four times
// a second, format the line of a pass that has run that long and hand it to
// the show hook; when the pass ends the hook gets "" before anything else is
// printed, so the line can be erased. Without a show hook begin and end only
// test a flag. Passes do not nest: a pass begun inside another replaces it.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class pass_meter {
 public:
  pass_meter() = default;
  ~pass_meter() { stop_showing(); }
  pass_meter(const pass_meter&) = delete;
  pass_meter& operator=(const pass_meter&) = delete;

  // Starts the thread that shows the line through show (called on that thread,
  // and on the thread that ends a pass); false when no thread could be started.
  bool start_showing(std::function<void(const char* line)> show);
  // Ends the thread (the line erased first). The destructor calls it.
  void stop_showing();
  // This meter while it shows a line, else null: readers that would take the
  // time to note their progress skip it when nobody sees it.
  pass_meter* when_shown() { return showing_ ? this : nullptr; }

  // A pass over a file of total_bytes (0: unknown, a pipe); with_transactions:
  // the first scan, which also counts its transactions.
  void begin_file(const char* what, std::uint64_t total_bytes, bool with_transactions);
  // Level k counted in memory.
  void begin_level(int k);
  void end();

  // The pass's progress. Bytes and transactions have one writer each (stores);
  // candidates come from every thread of a level (additions, once per chunk).
  void set_bytes(std::uint64_t bytes) { bytes_.store(bytes, std::memory_order_relaxed); }
  void set_transactions(std::uint64_t n) { transactions_.store(n, std::memory_order_relaxed); }
  void add_candidates(std::uint64_t n) {
    if (showing_) candidates_.fetch_add(n, std::memory_order_relaxed);
  }

  // The line of the pass in progress ("" when none): tests and the thread.
  std::string line() const;

 private:
  enum class kind { none, file, level };
  static void* tick_thread(void* self);
  void tick();
  std::string line_held() const;  // line() with lock_ held
  void begin(kind k, const char* what, std::uint64_t total, int level, bool with_transactions);

  bool showing_ = false;  // set before the passes begin, cleared after they end
  std::function<void(const char*)> show_;
  pthread_t thread_{};
  mutable std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool shown_ = false;  // the hook holds a line not yet erased
  // The pass in progress (under lock_).
  kind kind_ = kind::none;
  const char* what_ = "";
  std::uint64_t total_ = 0;
  int level_ = 0;
  bool with_transactions_ = false;
  std::chrono::steady_clock::time_point began_;
  std::atomic<std::uint64_t> bytes_{0}, transactions_{0}, candidates_{0};
};

// Ends the pass it began when it goes out of scope, also on the way out of an
// error (the line is erased before the error is printed).
class metered_pass {
 public:
  metered_pass(pass_meter& meter, const char* what, std::uint64_t total_bytes,
               bool with_transactions = false)
      : meter_(meter) {
    meter_.begin_file(what, total_bytes, with_transactions);
  }
  metered_pass(pass_meter& meter, int level) : meter_(meter) { meter_.begin_level(level); }
  ~metered_pass() { meter_.end(); }
  metered_pass(const metered_pass&) = delete;
  metered_pass& operator=(const metered_pass&) = delete;

 private:
  pass_meter& meter_;
};
