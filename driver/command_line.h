// The command-line program around kestrel::mine: argv to a run description,
// the report printed on stdout, a failure turned into one line on stderr and
// exit status 1 (128 + the signal's number when SIGINT or SIGTERM stopped it:
// driver/interrupt_signals.h). kestrel and kestrel-mpi share it; in a run
// shared by several ranks only rank 0 prints anything.
#pragma once

#include "include/kestrel/kestrel.h"
#include "util/cluster.h"

// Runs the command line; returns the exit status (0: a completed run). peers:
// the ranks that share the run, null for this process alone. prepare, when
// given, sees the parsed description before the run starts (the programs set
// their allocator up there: driver/program_allocator.h).
int run_command_line(int argc, char** argv, cluster* peers,
                     void (*prepare)(kestrel::run_description&) = nullptr);
