// Judges a finished kestrel run against the lines the reference miner expects.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/process.h"

// "" when the run is correct: exit 0, the output file normalised (prefix_len as
// for reference::normalise_output) equal to the expected sorted lines, the
// progress table's Rk column summing to the lines written, and no "dataset.tmp"
// left after a run whose engine ran. Otherwise a report.
std::string judge_run(const run_outcome& run, const std::vector<std::string>& expected,
                      std::size_t prefix_len);
