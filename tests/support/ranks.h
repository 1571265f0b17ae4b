// kestrel-mpi against kestrel in the whole-program tests. In an MPI build the
// Mpi.* tests run the differential and real-data tests with KESTREL_RANKS set:
// every run of kestrel is then repeated through mpirun with that many ranks of
// kestrel-mpi, which must give the same output file, report (times aside),
// error line and status, and leave no temporary dataset.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"

// KESTREL_RANKS, or 0 when unset.
int mpi_ranks();

// Standard output with the seconds of the rows and the total time taken out.
std::string without_times(const std::string& text);

// Progress rows with the seconds, the passes a row may end with and the
// total time taken out: runs that count in other passes or windows compared.
std::string without_times_or_passes(const std::string& text);

// Standard output without the lines only kestrel-mpi prints: what the ranks
// exchanged ("( \t counts summed over ...").
std::string without_exchange(const std::string& text);

// Standard output with the windows of spilled in-memory levels (" \t <p>
// passes" at the end of a "zax" row) taken out: ranks plan their windows
// beside their own part of the data, one process beside all of it, so the
// same level may spill in other windows, or not at all. Everything else in
// the row (and the passes of levels out of core) must match.
std::string without_level_windows(const std::string& text);

// Runs kestrel-mpi with args in dir through mpirun, with KESTREL_RANKS ranks
// (an MPI build only).
run_outcome run_ranks(const std::string& dir, const std::vector<std::string>& args);

// Runs kestrel-mpi with args in dir; what differs from kestrel's run single
// ("" when nothing), comparing standard output without the exchange lines.
// ranks_stdout, when given, receives kestrel-mpi's standard output.
std::string mpi_difference(const std::string& dir, const std::vector<std::string>& args,
                           const run_outcome& single, std::string* ranks_stdout = nullptr);
