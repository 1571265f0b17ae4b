// The run's standard-output text: statistics, progress rows and the total time.
//
// Code that reports formats its text with print(); the text goes to the run's
// hook (the command line writes it to stdout), or nowhere when none is set. The
// stop hook is polled between levels and passes: when it answers true the run
// ends with run_error("interrupted").
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/cluster.h"

// What one progress row says about its level, kept for the run's statistics.
struct level_record {
  int level;
  std::string algorithm;  // "scan", "hop", "zaxd", "zaxs", "zaxdk"; "" for level 0
  std::uint64_t candidates, frequent, written;
};

class reporter {
 public:
  std::function<void(const char* text)> hook;
  std::function<bool()> stop_requested;
  std::vector<level_record> levels;  // one per progress row printed, in order

  void record(int level, const char* algorithm, std::uint64_t candidates, std::uint64_t frequent,
              std::uint64_t written) {
    levels.push_back({level, algorithm, candidates, frequent, written});
  }

  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Throws run_error("interrupted") when the stop hook asks to stop.
  void check_stop() const;
};

// With more than one rank, prints a line after a level's or pass's row with the
// bytes of counts the ranks have summed since the last such line (kestrel-mpi
// only: one process prints nothing; nor does a line of 0 bytes).
void report_exchange(reporter& report, cluster& peers);
