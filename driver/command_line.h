// The command-line program around kestrel::mine: argv to a run description,
// the report printed on stdout, a failure turned into one line on stderr and
// exit status 1 (128 + the signal's number when SIGINT or SIGTERM stopped it:
// driver/interrupt_signals.h). kestrel and kestrel-mpi share it; in a run
// shared by several ranks only rank 0 prints anything.
#pragma once

#include "util/cluster.h"

// Runs the command line; returns the exit status (0: a completed run). peers:
// the ranks that share the run, null for this process alone.
int run_command_line(int argc, char** argv, cluster* peers);
