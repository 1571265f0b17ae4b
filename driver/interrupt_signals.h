// Ctrl-C (SIGINT) and SIGTERM for the command-line programs: the handler only
// records the signal, and the run polls it through its stop hook between levels,
// passes and windows, so an interrupted run unwinds like a failed one (its
// temporary dataset, spill files and partial output removed) and the program
// then exits with 128 + the signal's number (130, 143) after one line on stderr.
// Only a program's main installs the handlers: the library inside a host process
// (the Python module) leaves the host's signals alone and has its own stop hook.
#pragma once

// Installs the handlers for SIGINT and SIGTERM (system calls they interrupt are
// restarted, so a signal never turns into a failed read or write).
void install_interrupt_handlers();

// The first of SIGINT or SIGTERM caught since the handlers were installed; 0
// when none was (or none are installed).
int caught_interrupt();
