// What the vertical levels (compact, diffuse, key-pattern) share at their end: the
// level's counters, its output and its progress row. The level driver keeps one
// level_output for a run's vertical levels (and the last level counted over
// "dataset.tmp", which it hands on); the rest is internal to vertical/.
// T is the dense item type, T1 the support type.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_release.h"
#include "levels/level_store.h"
#include "util/output_file.h"
#include "util/progress_row.h"
#include "util/stopwatch.h"

struct level_counters {
  long long examined = 0;  // candidates produced, tested or not
  long long frequent = 0;
  long long written = 0;
};

// Appends the accepted itemsets of level k to the output file, laid out by the
// calling thread (a run without output, a rank above 0, only counts them).
// dump_itemsets can lay a level out on several threads, but on two processors
// that was slower (chess sigma 1000: 2.97 s wall against 2.58 s, mushroom
// sigma 100: 5.49 s against 4.39 s, medians of 3): the writes stay serial and
// the buffers' first touch costs what the threads save.
template <class T, class T1>
void write_level(run_context& run, int k, const item_table& items,
                 const frequent_level<T, T1>& next, typed_constraints<T>& table,
                 level_counters& counters) {
  if (!run.constraints.level_allowed(k)) {
    counters.written = 0;
  } else if (!run.output.enabled()) {
    counters.written = next.count_written(table);
  } else {
    output_file out(run.output, "a");
    counters.written = next.dump_itemsets(items, run.constraints.prefix_items, out, table, 1);
    out.close();
  }
}

// The progress row of a vertical level: no transaction count, the size of the
// bit matrix in kilobytes.
inline progress_row vertical_row(int k, const level_counters& c, const char* algorithm,
                                 std::uint64_t matrix_bytes, double seconds) {
  progress_row row;
  row.level = k;
  row.algorithm = algorithm;
  row.candidates = static_cast<std::uint64_t>(c.examined);
  row.frequent = static_cast<std::uint64_t>(c.frequent);
  row.written = static_cast<std::uint64_t>(c.written);
  row.counts_transactions = false;
  row.kib = matrix_bytes / 1024;
  row.seconds = seconds;
  return row;
}

// The end of each vertical level, and of the level counted over "dataset.tmp"
// that filled the in-memory data: its itemsets appended to the output file,
// then its progress row. Formatting and writing a deep dense level costs about a
// quarter of its time on one thread, so with a spare processor (`behind`) level
// k is written on a thread of its own while the threads mine level k+1, which
// only reads level k's store. The next end (or wait()) joins that writer before
// anything else happens, so the file, the rows and their order are those of a
// run that writes every level at once; the row's time then runs until its
// level is written.
// Use: finish_level at the end of each level; wait() once the last level has
// ended, and on the way out of a failing run (a write that failed first wins,
// as it would have stopped the run before the next level).
template <class T, class T1>
class level_output {
 public:
  level_output(run_context& run, bool behind) : run_(run), behind_(behind) {}
  ~level_output() {
    if (writer_.joinable()) writer_.join();
  }
  level_output(const level_output&) = delete;
  level_output& operator=(const level_output&) = delete;

  // Whether a run's levels are written behind its mining: when it may use
  // more than one thread and writes a file (a caller's consumer is called
  // on the calling thread).
  static bool writes_behind(const run_context& run) {
    return may_use_threads(run.config) && !run.output.consumer;
  }

  // Ends level k (store): writes its accepted itemsets and prints its row with
  // counters (written filled in), the matrix size and the time since clock's
  // start. The store must stay unchanged until the next finish_level or wait().
  void finish_level(int k, const item_table& items, const frequent_level<T, T1>& store,
                    typed_constraints<T>& table, const level_counters& counters,
                    const char* algorithm, std::uint64_t matrix_bytes, const stopwatch& clock) {
    finish_level(items, store, table, vertical_row(k, counters, algorithm, matrix_bytes, 0.0),
                 clock);
  }

  // Ends the level of store with the row given (its itemsets written and its
  // seconds filled in here): what finish_level above does for any level, the
  // last one counted over "dataset.tmp" too.
  void finish_level(const item_table& items, const frequent_level<T, T1>& store,
                    typed_constraints<T>& table, const progress_row& row, const stopwatch& clock) {
    wait();
    const int k = row.level;
    // The level after this one is built from store while it is written: both
    // report how far they have read, and what lies behind both goes back.
    // Ranks that share a level are left alone.
    if (run_.peers.ranks() <= 1) release_ = std::make_unique<level_release<T, T1>>(store);
    else release_.reset();
    pending_ = pending_row{row, clock};
    pending_.row.written = row.frequent;
    pending_.row.seconds = clock.seconds();
    if (!run_.output.enabled()) {
      // A run without output (a rank above 0) only counts what it would write.
      pending_.row.written =
          run_.constraints.level_allowed(k) ? static_cast<std::uint64_t>(store.count_written(table)) : 0;
      if (release_) release_->writer_done();
      return print_pending();
    }
    // Opened here, so that a failed open is reported where it happened.
    auto out = std::make_unique<output_file>(run_.output, "a");
    if (!run_.constraints.level_allowed(k)) {
      pending_.row.written = 0;
      if (release_) release_->writer_done();
      out->close();
      pending_.row.seconds = clock.seconds();
      return print_pending();
    }
    if (behind_) {
      own_table_ = table.writes_everything() ? nullptr : table.copy();
      typed_constraints<T>& filter = own_table_ ? *own_table_ : table;
      try {
        writer_ = std::thread([this, &items, &store, &filter, file = out.get()] {
          try {
            write(items, store, filter, *file);
          } catch (...) {
            failure_ = std::current_exception();
            // The joins paced behind the writer go on without it.
            if (release_) release_->writer_done();
          }
        });
        file_ = std::move(out);
        return;
      } catch (const std::system_error&) {
        // No thread to spare: written here instead.
      }
    }
    write(items, store, table, *out);
    print_pending();
  }

  // Ends level k when its windows went to a spill file and were written as they
  // went there (write_window): prints its row, with counters.written the sum
  // of theirs and the windows as its passes.
  void finish_spilled_level(int k, const level_counters& counters, const char* algorithm,
                            std::uint64_t matrix_bytes, const stopwatch& clock,
                            std::uint32_t windows) {
    wait();
    release_.reset();
    progress_row row = vertical_row(k, counters, algorithm, matrix_bytes, clock.seconds());
    row.passes = windows;
    pending_ = pending_row{row, clock};
    print_pending();
  }

  // Writes one window of level k (whole groups, after every window written
  // before it) once the level before it is written; returns how many of its
  // itemsets were written.
  long long write_window(int k, const item_table& items, const frequent_level<T, T1>& window,
                         typed_constraints<T>& table) {
    wait();
    level_counters c;
    write_level(run_, k, items, window, table, c);
    return c.written;
  }

  // The release of store, when store is the level last ended here and whole
  // in memory (the level the next one is built from); null otherwise.
  level_release<T, T1>* release_of(const frequent_level<T, T1>& store) const {
    return release_ && &release_->store() == &store ? release_.get() : nullptr;
  }

  // Waits for the level being written, prints its row, and throws its failure.
  void wait() {
    if (!writer_.joinable()) return;
    writer_.join();
    file_.reset();
    own_table_.reset();
    if (failure_) {
      std::exception_ptr failure = failure_;
      failure_ = nullptr;
      std::rethrow_exception(failure);
    }
    print_pending();
  }

 private:
  struct pending_row {
    progress_row row;
    stopwatch clock;
  };

  void write(const item_table& items, const frequent_level<T, T1>& store,
             typed_constraints<T>& table, output_file& out) {
    pending_.row.written = static_cast<std::uint64_t>(
        store.dump_itemsets(items, run_.constraints.prefix_items, out, table, 1,
                            release_ ? &release_->writer_group : nullptr));
    if (release_) release_->writer_done();
    out.close();
    pending_.row.seconds = pending_.clock.seconds();
  }

  void print_pending() { print_progress_row(run_.report, pending_.row); }

  run_context& run_;
  const bool behind_;
  pending_row pending_{};
  std::thread writer_;
  std::unique_ptr<output_file> file_;
  std::unique_ptr<typed_constraints<T>> own_table_;
  std::exception_ptr failure_;
  std::unique_ptr<level_release<T, T1>> release_;  // of the level last ended whole
};
