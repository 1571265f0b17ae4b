// KESTREL's entry point: parse the command line, load the attribute rows, run
// the first scan, then the level-wise engine instantiated for the narrowest item
// type T and support type T1, and print the total time.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <new>

#include "constraints/constraint.h"
#include "dataset/attributes.h"
#include "dataset/dataset_lock.h"
#include "dataset/first_scan.h"
#include "dataset/items.h"
#include "driver/options.h"
#include "mining/level_driver.h"
#include "util/error.h"
#include "util/output_file.h"
#include "util/stopwatch.h"

namespace {

int run(int argc, char** argv, dataset_lock& lock) {
  stopwatch total;
  total.start();
  GLOBAL_MAXIMUM_LENGTH = -1;
  run_options o;
  if (!ParseArguments(argc, argv, o)) return 1;
  GLOBAL_MAXIMUM_LENGTH = maximum_length_beyond_prefix(LENLEQ_BOUND, prefix_items.size());
  LoadAttributes(o.attributes);
  // From here on "dataset.tmp" is this run's alone (two runs in one directory
  // would rewrite each other's file).
  lock.acquire(TEMPORARY_DATASET);
  // The first scan empties "dataset.tmp" before it reads: an input of that name
  // would be lost (keep it), an output of that name would overwrite the data.
  if (lock.is_locked_file(o.input)) {
    lock.release();
    throw run_error(o.input + ": the input file cannot be the temporary dataset!");
  }
  if (lock.is_locked_file(OUTF))
    throw run_error(OUTF + ": the output file cannot be the temporary dataset!");
  item_table items(o.sigma);
  std::uint32_t max_tr_len = 0;
  const std::uint32_t max_support = first_scan(o.input, items, max_tr_len, o.preloops);

  // Nothing longer than one item can be frequent or written.
  const bool stop = max_support == 0 || items.n_items <= 1 || GLOBAL_MAXIMUM_LENGTH == 0 ||
                    GLOBAL_MAXIMUM_LENGTH == 1 || GLOBAL_MAXIMUM_LENGTH < -1;
  if (stop) {
    std::printf("Total time: %g\n", total.seconds());
  } else {
    with_width(static_cast<std::uint64_t>(items.n_items) + 1, [&](auto t) {
      with_width(max_support, [&](auto t1) {
        mine_levels<decltype(t), decltype(t1)>(static_cast<int>(max_tr_len), items, o.hop);
      });
    });
    std::printf("\n Total time: %g\n", total.seconds());
    unlink(TEMPORARY_DATASET);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw run_error("standard output could not be written!");
  return 0;
}

// A failed run leaves nothing that looks like a result: the output file it
// created is removed (a regular file only: /dev/full or a pipe stays; through a
// symbolic link the target is emptied and the link kept), and so is its
// temporary dataset. A file the run never opened is not touched.
void discard_partial_results(dataset_lock& lock) {
  lock.remove_and_release();
  if (!output_created) return;
  struct stat target, link;
  if (stat(OUTF.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) return;
  if (truncate(OUTF.c_str(), 0) != 0) {
    // Nothing more can be done; the error message already went out.
  }
  if (lstat(OUTF.c_str(), &link) == 0 && S_ISREG(link.st_mode)) unlink(OUTF.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe on stdout or as the output file must be a write error (one
  // line, exit 1), not death by SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  dataset_lock lock;
  int status = 1;
  try {
    status = run(argc, argv, lock);
  } catch (const run_error& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs("out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "internal error: %s\n", e.what());
  }
  if (status != 0) discard_partial_results(lock);
  // The engine frees the constraints it takes; every other path frees them here.
  reset_constraint_tables();
  return status;
}
