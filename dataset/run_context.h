// One run's configuration and state, passed down explicitly to every phase.
//
// run_config is what the run is asked to do (the command line or a library
// caller builds it): the input, the support threshold, the engine options, the
// attribute source, the active constraints and the directory of the temporary
// dataset. run_context adds what the run keeps while it works: the attribute
// columns, the global pruning of the item numbering, where the itemsets go, the
// path of "dataset.tmp" and the reporter of
// standard-output text. Nothing about a run lives outside these two values, so
// two runs in one process cannot see each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/attributes.h"
#include "dataset/global_pruning.h"
#include "util/memory_budget.h"
#include "util/output_file.h"
#include "util/report.h"

// How the in-memory levels hold the data: by its measured density (the bit
// matrix for dense data, tid-lists for sparse), or always one of them (tests
// use this to reach both on small data).
enum class vertical_layout { by_density, bit_matrix, tid_lists };

struct run_config {
  std::string input;  // FIMI file, used when transactions is null
  const std::vector<std::vector<std::uint32_t>>* transactions = nullptr;
  std::string attribute_file;  // used when attribute_rows is null
  const std::vector<std::vector<std::uint32_t>>* attribute_rows = nullptr;
  std::uint32_t sigma = 0;
  std::uint32_t preloops = 1;
  int hop = 3;         // out-of-core until this level
  std::string tmpdir;  // directory of "dataset.tmp"; empty: the current directory
  std::uint64_t memory_mib = 0;  // the user's memory cap; 0: none
  // Threads of the in-memory levels; 0: every processor the process may use,
  // where a level has work enough for them.
  unsigned threads = 0;
  vertical_layout layout = vertical_layout::by_density;
  constraint_set constraints;
};

struct run_context {
  explicit run_context(run_config c)
      : config(std::move(c)),
        constraints(config.constraints),
        temp_dataset(config.tmpdir.empty() || config.tmpdir == "."
                         ? std::string("dataset.tmp")
                         : config.tmpdir + "/dataset.tmp"),
        memory_bytes(memory_budget(budget_sources{}, config.memory_mib)) {}
  run_context(const run_context&) = delete;
  run_context& operator=(const run_context&) = delete;

  run_config config;
  constraint_set& constraints;  // config.constraints
  attribute_table attributes;
  global_pruning pruning;
  output_target output;
  std::string temp_dataset;  // path of "dataset.tmp"
  // What the large allocations are planned against: the smallest of physical
  // memory, the rlimits, the cgroup's limit and the user's cap.
  std::uint64_t memory_bytes;
  reporter report;
};
