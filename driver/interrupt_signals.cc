#include "driver/interrupt_signals.h"

#include <signal.h>

#include <csignal>

namespace {

// The program's one global: a signal handler reaches nothing else, so the
// signal caught is kept here for the run's stop hook to find. Written only by
// the handler, and only while it is 0, so the first signal is the one reported.
volatile std::sig_atomic_t caught = 0;

extern "C" void record_interrupt(int signal_number) {
  if (caught == 0) caught = signal_number;
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action = {};
  action.sa_handler = record_interrupt;
  sigemptyset(&action.sa_mask);
  // A signal arriving in a read or write must not make it fail.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int caught_interrupt() { return caught; }
