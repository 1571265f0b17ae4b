#include "dataset/first_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "dataset/shared_scan.h"
#include "dataset/winnow.h"
#include "util/pipe_beside.h"
#include "util/transaction.h"

namespace {

// Makes a line a set, keeping the first occurrence of every item in line order.
// Small ids are marked in a table stamped with the line number, so clearing it
// costs nothing; the ids above the table are sorted into a list of the line's
// distinct large ids, each with a seen flag (no allocation once warm).
class line_deduper {
 public:
  void run(std::vector<std::uint32_t>& items) {
    if (items.size() < 2) return;
    ++stamp_;
    if (stamp_ == 0) {  // the stamp wrapped: old marks could alias
      std::fill(mark_.begin(), mark_.end(), 0);
      stamp_ = 1;
    }
    // A short line compares each large id with the ids kept before it: on the
    // million-item row (five large ids a line) sorting and searching them took
    // a tenth of the first scan. Ids from kDenseIdFloor on count as large
    // there, so that a few small ids spread thinly do not grow the marks.
    if (items.size() <= kShortLine) {
      std::size_t kept = 0;
      for (std::uint32_t id : items) {
        bool seen = false;
        if (id < item_table::kDenseIdFloor) {
          seen = met_small(id);
        } else {
          for (std::size_t i = 0; i < kept; ++i) seen |= items[i] == id;
        }
        if (!seen) items[kept++] = id;
      }
      items.resize(kept);
      return;
    }
    big_.clear();
    for (std::uint32_t id : items)
      if (id >= item_table::kDenseIdLimit) big_.push_back(id);
    const bool big_repeats_possible = big_.size() > 1;
    if (big_repeats_possible) {
      std::sort(big_.begin(), big_.end());
      big_.erase(std::unique(big_.begin(), big_.end()), big_.end());
      big_seen_.assign(big_.size(), 0);
    }
    std::size_t kept = 0;
    for (std::uint32_t id : items) {
      bool seen = false;
      if (id < item_table::kDenseIdLimit) {
        seen = met_small(id);
      } else if (big_repeats_possible) {
        const auto at = std::lower_bound(big_.begin(), big_.end(), id) - big_.begin();
        seen = big_seen_[static_cast<std::size_t>(at)] != 0;
        big_seen_[static_cast<std::size_t>(at)] = 1;
      }
      if (!seen) items[kept++] = id;
    }
    items.resize(kept);
  }

 private:
  // Whether the small id was met before in this line; marks it met.
  bool met_small(std::uint32_t id) {
    if (id >= mark_.size()) mark_.resize(std::max<std::size_t>(id + 1, 2 * mark_.size()), 0);
    const bool seen = mark_[id] == stamp_;
    mark_[id] = stamp_;
    return seen;
  }

  static constexpr std::size_t kShortLine = 16;
  std::vector<std::uint32_t> mark_;
  std::uint32_t stamp_ = 0;
  std::vector<std::uint32_t> big_;      // the line's large ids, ascending, distinct
  std::vector<std::uint8_t> big_seen_;  // per entry of big_: met already in this line
};

// Bytes of the input file, 0 when unknown (a pipe, rows in memory).
std::uint64_t input_bytes(const run_config& config) {
  struct stat st;
  if (config.transactions != nullptr || stat(config.input.c_str(), &st) != 0 ||
      !S_ISREG(st.st_mode))
    return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

// Marks the word that gives a line's length in the stream of the parsed lines.
constexpr std::uint64_t kLineHead = std::uint64_t{1} << 63;

// Puts every line of source in t and calls take_line. With a second processor
// the lines are parsed on a thread of their own, beside the counting and
// writing of take_line (on the million-item row parsing took 300M of the
// scan's 690M instructions). They come as a stream of 64-bit words: a line's
// length with kLineHead set, then its ids.
template <class Take>
void read_lines(const run_config& config, transaction_source& source, std::vector<std::uint32_t>& t,
                Take&& take_line) {
  if (!may_use_threads(config)) {
    while (source.next_line(t)) take_line();
    return;
  }
  std::uint64_t ids_to_come = 0;
  pipe_beside<std::uint64_t>(
      true,
      [&](auto&& emit) {
        std::vector<std::uint32_t> line;
        while (source.next_line(line)) {
          emit(kLineHead | line.size());
          for (std::uint32_t id : line) emit(std::uint64_t{id});
        }
      },
      [&](std::uint64_t word) {
        if (word & kLineHead) {
          t.clear();
          ids_to_come = word & ~kLineHead;
        } else {
          t.push_back(static_cast<std::uint32_t>(word));
          --ids_to_come;
        }
        if (ids_to_come == 0) take_line();
      });
}

// True when the (deduplicated) line holds every prefix item.
bool holds_prefix(const std::vector<std::uint32_t>& line,
                  const std::vector<std::uint32_t>& prefix) {
  for (std::uint32_t p : prefix)
    if (std::find(line.begin(), line.end(), p) == line.end()) return false;
  return true;
}

// The constraints' trimming of one line: anti-monotone, succinct, then monotone
// preprocess_transaction, stopping once the line is empty.
void trim_by_constraints(const constraint_set& constraints, std::vector<std::uint32_t>& t) {
  transaction_view<std::uint32_t> view = view_of(t);
  for (auto* c : constraints.anti_monotone_table) {
    if (view.length == 0) break;
    c->preprocess_transaction(view);
  }
  for (auto* c : constraints.succinct_table) {
    if (view.length == 0) break;
    c->preprocess_transaction(view);
  }
  for (auto* c : constraints.monotone_table) {
    if (view.length == 0) break;
    c->process_transaction(view);
  }
  t.resize(view.length);
}

}  // namespace

first_scan_result first_scan(run_context& run, transaction_source& source, item_table& items) {
  temp_dataset_writer<std::uint32_t> tmp(run.temp_dataset, true);
  if (!tmp.is_open()) throw run_error(run.temp_dataset + " could not be opened!");

  first_scan_result r;
  std::uint64_t n_written = 0;
  const std::uint64_t attribute_limit = run.attributes.shortest_column();
  line_deduper dedupe;
  deferred_counts counts(items.counts);
  std::vector<std::uint32_t> t;
  // Every rank got this far: from here on they meet at each exchange.
  run.peers.agree_on_error(nullptr);
  std::exception_ptr failure;
  auto take_line = [&] {
    // A scan of a large input takes minutes: a stop asked for meanwhile is
    // noticed every 65,536 lines, not only once the scan is over (and the
    // meter told the lines so far).
    if ((++r.lines_read & 0xFFFF) == 0) {
      run.report.check_stop();
      run.meter.set_transactions(r.lines_read);
    }
    r.item_occurrences += t.size();
    dedupe.run(t);
    for (std::uint32_t id : t)
      if (id >= attribute_limit) run.attributes.report_missing_value(id);
    // The support of the prefix itemset is settled before any constraint trims the line.
    if (holds_prefix(t, run.constraints.prefix_items)) ++r.prefix_support;
    trim_by_constraints(run.constraints, t);
    if (t.empty()) return;
    for (std::uint32_t id : t) counts.add(id);
    r.max_tr_len = std::max(r.max_tr_len, static_cast<std::uint32_t>(t.size()));
    r.items_written += t.size();
    tmp.write_record(t.data(), static_cast<std::uint32_t>(t.size()));
    ++n_written;
  };
  try {
    metered_pass pass(run.meter, "first scan", input_bytes(run.config), true);
    read_lines(run.config, source, t, take_line);
    counts.flush();
    tmp.cut();
    tmp.close();
  } catch (...) {
    failure = std::current_exception();
  }
  const std::uint64_t own_written = n_written;
  if (run.peers.ranks() > 1) {
    failure = number_line_in_whole_file(run.peers, failure, r.lines_read);
    run.peers.agree_on_error(failure);
    add_up_ranks(run.peers, r, n_written, items.counts);
    // Every rank plans its allocations against the smallest budget, so that all
    // of them choose the same plans (and the same passes).
    run.memory_bytes = UINT64_MAX - run.peers.max(UINT64_MAX - run.memory_bytes);
  } else if (failure) {
    std::rethrow_exception(failure);
  }
  if (n_written > 0xFFFFFFFFull)
    throw run_error(run.config.input + " holds more than 2^32-1 transactions");
  items.n_transactions = static_cast<std::uint32_t>(n_written);
  items.own_transactions = static_cast<std::uint32_t>(own_written);  // at most the sum
  r.c1 = items.counts.id_bound();

  run.report.print(
      "Dataset statistics.\n # transactions = %llu\n # items        = %llu\n"
      " size in kB     = %llu\n",
      static_cast<unsigned long long>(r.lines_read),
      static_cast<unsigned long long>(r.item_occurrences), kb_of(r.item_occurrences));
  return r;
}

void settle_items(run_context& run, item_table& items, first_scan_result& scan) {
  run_winnow_loops(run, items, scan.c1, scan.max_tr_len, scan.items_written);
  const constraint_set& constraints = run.constraints;
  if (constraints.convertible_table.empty())
    items.remap_items(run.output.enabled());
  else
    items.remap_items(*constraints.convertible_table.front()->attribute_values,
                      constraints.convertible_table.front()->ascending());
  run.attributes.rebuild_for_dense_ids(items, run.constraints);
}
