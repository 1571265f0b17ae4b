#include "mining/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "dataset/dataset_lock.h"
#include "dataset/first_scan.h"
#include "dataset/items.h"
#include "include/kestrel/kestrel.h"
#include "mining/first_levels.h"
#include "mining/level_driver.h"
#include "util/error.h"
#include "util/item_names.h"
#include "util/stopwatch.h"
#include "util/widths.h"

namespace {

// The directory of "dataset.tmp" must exist and be writable before the lock
// creates the file in it.
void check_tmpdir(const std::string& dir) {
  if (dir.empty() || dir == ".") return;
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(dir.c_str(), W_OK | X_OK) != 0)
    throw run_error("tmpdir: \"" + dir + "\" is not a writable directory");
}

// A failed run leaves nothing that looks like a result: the temporary file its
// output went to is removed, and so is its temporary dataset. An output
// written in place (util/partial_output.h) that the run created is removed
// when it is a regular file (/dev/full or a pipe stays; through a symbolic link
// the target is emptied and the link kept). A file the run never opened is
// not touched.
void discard_partial_results(run_context& run, dataset_lock& lock) {
  lock.remove_and_release();
  if (!run.output.created) return;
  if (!run.output.partial.path.empty()) {
    discard(run.output.partial);
    return;
  }
  const char* name = run.output.file.c_str();
  struct stat target, link;
  if (stat(name, &target) != 0 || !S_ISREG(target.st_mode)) return;
  if (truncate(name, 0) != 0) {
    // Nothing more can be done; the error message goes out anyway.
  }
  if (lstat(name, &link) == 0 && S_ISREG(link.st_mode)) unlink(name);
}

// The completed output takes its name (rank 0; the others have none), and is
// from then on no partial result to discard.
void put_output_in_place(run_context& run) {
  if (!put_in_place(run.output.partial))
    throw run_error(run.output.file + " could not be written!");
  run.output.created = false;
}

// The forced choices of tests (run_config has the library's own names for them).
void take_testing_choices(const kestrel::run_testing& t, run_config& config) {
  switch (t.vertical_layout) {
    case kestrel::run_testing::layout::by_density:
      config.layout = vertical_layout::by_density;
      break;
    case kestrel::run_testing::layout::bit_matrix:
      config.layout = vertical_layout::bit_matrix;
      break;
    case kestrel::run_testing::layout::tid_lists:
      config.layout = vertical_layout::tid_lists;
      break;
  }
  config.level_window_bytes = t.level_window_bytes;
  config.folded_supports_from = t.folded_supports_from;
  switch (t.key_subsets) {
    case kestrel::run_testing::subsets::by_rate:
      config.examined_subsets = key_subsets::by_rate;
      break;
    case kestrel::run_testing::subsets::all:
      config.examined_subsets = key_subsets::all;
      break;
    case kestrel::run_testing::subsets::sampled:
      config.examined_subsets = key_subsets::sampled;
      break;
  }
}

run_summary run_in_order(run_context& run, dataset_lock& lock) {
  stopwatch total;
  total.start();
  const run_config& config = run.config;
  run.attributes.load(config.attribute_rows != nullptr && config.attribute_file.empty()
                          ? std::string("attribute rows")
                          : config.attribute_file,
                      config.attribute_rows, run.constraints);
  check_tmpdir(config.tmpdir);
  // From here on "dataset.tmp" is this run's alone (two runs in one directory
  // would rewrite each other's file).
  lock.acquire(run.temp_dataset);
  // The first scan empties "dataset.tmp" before it reads: an input of that name
  // would be lost (keep it), an output of that name would overwrite the data.
  if (config.transactions == nullptr && lock.is_locked_file(config.input)) {
    lock.release();
    throw run_error(config.input + ": the input file cannot be the temporary dataset!");
  }
  // Rank 0 alone opens the output file.
  if (!run.output.consumer && run.peers.leads() && lock.is_locked_file(run.output.file))
    throw run_error(run.output.file + ": the output file cannot be the temporary dataset!");

  item_table items(config.sigma);
  const first_scan_result scan = run_first_levels(run, items);
  run_summary summary;
  summary.transactions = scan.lines_read;
  summary.item_occurrences = scan.item_occurrences;
  const std::uint32_t max_support = items.max_support;

  // Nothing longer than one item can be frequent or written.
  if (max_support == 0 || items.n_items <= 1 || !run.constraints.level_allowed(2)) {
    if (!run.peers.leads()) lock.remove_and_release();
    summary.seconds = total.seconds();
    run.report.print("Total time: %g\n", summary.seconds);
    return summary;
  }
  run.report.check_stop();
  with_width(static_cast<std::uint64_t>(items.n_items) + 1, [&](auto t) {
    with_width(max_support, [&](auto t1) {
      mine_levels<decltype(t), decltype(t1)>(run, static_cast<int>(scan.max_tr_len), items);
    });
  });
  summary.seconds = total.seconds();
  run.report.print("\n Total time: %g\n", summary.seconds);
  unlink(run.temp_dataset.c_str());
  return summary;
}

}  // namespace

run_summary run_mining(run_context& run) {
  dataset_lock lock;
  try {
    const run_summary summary = run_in_order(run, lock);
    // Complete only once every rank has completed its part; then the output
    // takes its name, and every rank learns whether it could.
    run.peers.agree_on_error(nullptr);
    put_output_in_place(run);
    run.peers.agree_on_error(nullptr);
    return summary;
  } catch (...) {
    discard_partial_results(run, lock);
    // Every rank learns of the failure; the user sees the lowest failing rank's.
    run.peers.agree_on_error(std::current_exception());
    throw;
  }
}

kestrel::run_statistics mine_shared(const kestrel::run_description& d,
                                    const kestrel::run_hooks& hooks, cluster* peers) {
  try {
    run_config config;
    config.input = d.input;
    config.transactions = d.transactions;
    config.attribute_file = d.attributes;
    config.attribute_rows = d.attribute_rows;
    config.sigma = d.sigma;
    config.preloops = d.preloops;
    config.hop = d.hop;
    config.tmpdir = d.tmpdir;
    config.memory_mib = d.memory_mib;
    config.threads = d.threads;
    config.threads_share_one_arena = d.threads_share_one_arena;
    take_testing_choices(d.testing, config);
    for (const kestrel::constraint& c : d.constraints)
      config.constraints.add(c.keyword, c.parameters);
    if ((d.input.empty() && d.transactions == nullptr) || (d.output.empty() && !hooks.itemsets))
      throw ::run_error("input, output and sigma are mandatory!");

    run_context run(std::move(config), peers);
    // Every rank stores the same itemsets; rank 0 alone lays them out (to the
    // file or the itemset hook), the others only count what it writes.
    if (peers == nullptr || peers->leads()) {
      run.output.file = d.output;
      run.output.consumer = hooks.itemsets;
    }
    run.report.hook = hooks.report;
    run.report.stop_requested = hooks.stop_requested;
    // Read before the input, so that a bad map fails at once; every rank reads
    // it alike, so that they fail together.
    std::optional<item_names> names;
    if (!d.names.empty() && !hooks.itemsets) {
      names.emplace(d.names);
      run.output.names = &*names;
    }
    if (hooks.pass_line) run.meter.start_showing(hooks.pass_line);

    const run_summary summary = run_mining(run);
    kestrel::run_statistics stats;
    stats.seconds = summary.seconds;
    stats.transactions = summary.transactions;
    stats.item_occurrences = summary.item_occurrences;
    for (const level_record& r : run.report.levels) {
      stats.levels.push_back({r.level, r.algorithm, r.candidates, r.frequent, r.written});
      stats.itemsets_written += r.written;
    }
    return stats;
  } catch (const ::run_error& e) {
    throw kestrel::run_error(e.what());
  }
}

namespace kestrel {

run_statistics mine(const run_description& d, const run_hooks& hooks) {
  return mine_shared(d, hooks, nullptr);
}

}  // namespace kestrel
