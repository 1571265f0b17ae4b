// KESTREL as a library: one call mines the frequent itemsets of a run.
//
// kestrel::mine runs exactly what the command-line program runs (the program is
// a thin shell over it): the first scan, the Winnow passes and the level-wise
// search, with the same output lines, statistics and error messages. A failed
// run throws run_error whose what() is the program's one-line message (memory
// exhaustion throws std::bad_alloc); the partial output file and the temporary
// dataset are removed first. Nothing of a run outlives the call: two runs in one
// process, one after the other, give the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel {

// what() = the command line's one-line message.
struct run_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One constraint occurrence, e.g. {"sumleq", "[0,200]"}.
struct constraint {
  std::string keyword;
  std::string parameters;
};

// Choices a run makes by itself from the data and its budget, forced so that
// tests reach, on small data, the paths only large data takes. None of them
// changes the output; they only slow a run. The command line takes them as
// options that its usage text leaves out (README, "Testing options").
struct run_testing {
  // How the in-memory levels hold the data: by its density (the bit matrix
  // for dense data, tid-lists for sparse), or always one of them.
  enum class layout { by_density, bit_matrix, tid_lists };
  layout vertical_layout = layout::by_density;
  // Bytes the windows of the in-memory levels are planned against instead of
  // the budget, with no least room (1: every level spills a group at a time;
  // 0: the budget's plan).
  std::uint64_t level_window_bytes = 0;
  // The in-memory levels joined from this many itemsets or more have their
  // supports folded, runs of equal supports or not (0: where the level joined
  // from is large and its supports run).
  std::uint64_t folded_supports_from = 0;
  // Which key-pattern candidates whose joined itemsets are both keys have
  // their other subsets looked up: by the share the look-ups settle, all of
  // them, or only a sample.
  enum class subsets { by_rate, all, sampled };
  subsets key_subsets = subsets::by_rate;
};

struct run_description {
  std::string input;  // FIMI path (used when transactions is null)
  // In-memory input instead: one row per transaction, items as input ids.
  const std::vector<std::vector<std::uint32_t>>* transactions = nullptr;
  std::uint32_t sigma = 0;  // absolute minimum support
  std::string attributes;   // attribute file (used when attribute_rows is null)
  // Row r = attribute r, value j = the attribute of input id j.
  const std::vector<std::vector<std::uint32_t>>* attribute_rows = nullptr;
  std::vector<constraint> constraints;  // in command-line order
  int hop = 3;                          // out-of-core counting until this level
  std::uint32_t preloops = 1;           // Winnow passes (0: until stable)
  std::string output;                   // output file (ignored when hooks.itemsets is set)
  // Map file of item names ("<id> <name>" lines, util/item_names.h): the output
  // file then holds each item's name instead of its id. Empty: ids.
  std::string names;
  std::string tmpdir = ".";             // directory of "dataset.tmp"
  // Cap in MiB on the memory the run plans its large allocations against (0:
  // none); the budget is the smallest of it, physical memory, RLIMIT_AS,
  // RLIMIT_DATA and the cgroup's memory limit.
  std::uint64_t memory_mib = 0;
  // Threads of the in-memory levels (0: every processor the process may use).
  // The output and the progress rows do not depend on it.
  std::uint32_t threads = 0;
  // The program's allocator lets its threads share one allocation arena
  // (kestrel and kestrel-mpi do under an address-space limit): the budget then
  // keeps no arena's address space per thread.
  bool threads_share_one_arena = false;
  run_testing testing;  // tests only; the defaults are the production run
};

struct run_hooks {
  // Each written itemset: items as the output line lists them (prefix items
  // first, then the others in the line's order, input ids), and its support.
  // Set: no output file is written.
  std::function<void(const std::uint32_t* items, std::size_t n, std::uint64_t support)> itemsets;
  // Text the command line prints on stdout (statistics, progress rows, total
  // time), in order; the total time comes last. Unset: nothing printed. A hook
  // may throw run_error: the run then fails like any other.
  std::function<void(const char* text)> report;
  // Polled between levels (and passes); true stops the run with run_error("interrupted").
  std::function<bool()> stop_requested;
  // Set: a line saying how far a long pass got (the first scan, a pass over
  // "dataset.tmp", a level in memory), at most four times a second from a
  // thread of the run's own, then "" when the pass ends (before any report
  // text that follows it). The command line shows it on a terminal.
  std::function<void(const char* line)> pass_line;
};

// One progress row: level 1 and 2 are "scan", out-of-core levels "hop", the
// bit-matrix levels "zaxd", "zaxs" or "zaxdk"; level 0 has no algorithm.
struct level_row {
  int level;
  std::string algorithm;
  std::uint64_t candidates, frequent, written;
};

struct run_statistics {
  std::uint64_t transactions = 0, item_occurrences = 0, itemsets_written = 0;
  std::vector<level_row> levels;
  double seconds = 0;
};

run_statistics mine(const run_description& run, const run_hooks& hooks = {});

}  // namespace kestrel
