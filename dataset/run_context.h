// One run's configuration and state, passed down explicitly to every phase.
//
// run_config is what the run is asked to do (the command line or a library
// caller builds it): the input, the support threshold, the engine options, the
// attribute source, the active constraints and the directory of the temporary
// dataset. run_context adds what the run keeps while it works: the attribute
// columns, the global pruning of the item numbering, where the itemsets go, the
// path of "dataset.tmp", the reporter of standard-output text and the meter
// of the pass in progress. Nothing about a run lives outside these two values, so
// two runs in one process cannot see each other.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/attributes.h"
#include "dataset/global_pruning.h"
#include "util/cluster.h"
#include "util/memory_budget.h"
#include "util/output_file.h"
#include "util/pass_meter.h"
#include "util/processors.h"
#include "util/report.h"

// How the in-memory levels hold the data: by its measured density (the bit
// matrix for dense data, tid-lists for sparse), or always one of them (tests
// use this to reach both on small data).
enum class vertical_layout { by_density, bit_matrix, tid_lists };

// Which candidates of the key-pattern iteration whose joined itemsets are both
// keys have their other subsets looked up: by the share that look-ups settle
// (vertical/subset_examination.h), all, or only a sample (tests use the last
// two to reach both ways on small data).
enum class key_subsets { by_rate, all, sampled };

struct run_config {
  std::string input;  // FIMI file, used when transactions is null
  const std::vector<std::vector<std::uint32_t>>* transactions = nullptr;
  std::string attribute_file;  // used when attribute_rows is null
  const std::vector<std::vector<std::uint32_t>>* attribute_rows = nullptr;
  std::uint32_t sigma = 0;
  std::uint32_t preloops = 1;
  int hop = 3;                   // out-of-core until this level
  std::string tmpdir;            // directory of "dataset.tmp"; empty: the current directory
  std::uint64_t memory_mib = 0;  // the user's memory cap; 0: none
  // Threads of the in-memory levels; 0: every processor the process may use,
  // where a level has work enough for them.
  unsigned threads = 0;
  vertical_layout layout = vertical_layout::by_density;
  // Tests: the bytes the in-memory levels' windows are planned against instead
  // of the budget, with no least room (0: the budget's plan).
  std::uint64_t level_window_bytes = 0;
  // Tests: the in-memory levels joined from this many itemsets or more have
  // their supports folded, runs of equal supports or not (0: where the level
  // joined from is large and its supports run).
  std::uint64_t folded_supports_from = 0;
  key_subsets examined_subsets = key_subsets::by_rate;
  // The program has made its threads share one allocation arena (glibc's
  // M_ARENA_MAX of 1): under an address-space limit a thread then reserves
  // only its stack. The library never changes the allocator's settings.
  bool threads_share_one_arena = false;
  constraint_set constraints;
};

// "dataset.tmp" in tmpdir (empty: the working directory); with more than one
// rank, "dataset.tmp.<rank>", so that ranks sharing a directory keep apart.
inline std::string temp_dataset_path(const std::string& tmpdir, const cluster& peers) {
  std::string name = "dataset.tmp";
  if (peers.ranks() > 1) name += "." + std::to_string(peers.rank());
  return tmpdir.empty() || tmpdir == "." ? name : tmpdir + "/" + name;
}

// The threads a run may use: those asked for, or (none asked) every processor
// it may run on.
inline unsigned usable_threads(const run_config& config) {
  return config.threads == 0 ? usable_processors() : config.threads;
}
inline bool may_use_threads(const run_config& config) { return usable_threads(config) > 1; }

struct run_context {
  explicit run_context(run_config c) : run_context(std::move(c), nullptr) {}
  // A run shared by the ranks of peers: each keeps "dataset.tmp.<rank>".
  run_context(run_config c, cluster* shared_with)
      : config(std::move(c)),
        constraints(config.constraints),
        peers(shared_with != nullptr ? *shared_with : alone),
        temp_dataset(temp_dataset_path(config.tmpdir, peers)),
        memory_bytes(memory_budget(sources_for(config), config.memory_mib)) {}
  run_context(const run_context&) = delete;
  run_context& operator=(const run_context&) = delete;

  run_config config;
  constraint_set& constraints;  // config.constraints
  single_process alone;
  cluster& peers;  // the ranks that share the run; alone by default
  attribute_table attributes;
  global_pruning pruning;
  output_target output;
  std::string temp_dataset;  // path of "dataset.tmp"
  // What the large allocations are planned against: the smallest of physical
  // memory, the rlimits, the cgroup's limit and the user's cap.
  std::uint64_t memory_bytes;
  reporter report;
  pass_meter meter;  // how far the pass in progress got, for a terminal

 private:
  // With more than one thread the levels start threads - 1 beside the calling
  // one (at most 255), and a writer thread; under an address-space limit each
  // reserves its stack and, unless the program made them share one, an
  // allocation arena.
  static budget_sources sources_for(const run_config& config) {
    budget_sources sources;
    const unsigned threads = usable_threads(config);
    sources.extra_threads = threads > 1 ? std::min(threads, 256u) : 0;
    sources.arenas_shared = config.threads_share_one_arena;
    return sources;
  }
};

// The bytes the run's ranks have summed since the last such line, printed
// after a level's or pass's row (util/report.h).
inline void report_exchange(run_context& run) { report_exchange(run.report, run.peers); }
