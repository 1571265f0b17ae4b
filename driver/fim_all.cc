// KESTREL's command line: parse argv into a run description, mine through the
// library entry point (include/kestrel/kestrel.h) with hooks that print the
// report on stdout and let the run write the output file, and turn a failure
// into one line on stderr and exit status 1 (driver/command_line.h).
#include <csignal>

#include "driver/command_line.h"
#include "driver/interrupt_signals.h"
#include "driver/program_allocator.h"

int main(int argc, char** argv) {
  // A closed pipe on stdout or as the output file must be a write error (one
  // line, exit 1), not death by SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  // Ctrl-C and SIGTERM stop the run at its next poll, which removes its files.
  install_interrupt_handlers();
  // Huge pages for large blocks, mappings of their own for blocks of 1 MiB
  // or more, one arena for the threads under an address-space limit.
  return run_command_line(argc, argv, nullptr, use_program_allocator);
}
