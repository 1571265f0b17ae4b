// Wall-clock stopwatch and the statistics line printer.
// stopwatch measures elapsed seconds between a start and a stop or a reading; a
// reading is never accumulated across starts. Times are wall-clock (gettimeofday).
#pragma once

#include <cstdint>
#include <string>

class stopwatch {
 public:
  stopwatch() = default;
  void reset();
  void start();
  void stop();
  // Elapsed seconds since the last start: live while running, frozen once stopped.
  double seconds();
  void restart();

 private:
  enum State { kReset = 0, kStopped = 1, kRunning = 2 };
  static double now();
  double start_ = 0;
  double elapsed_ = 0;
  int state_ = kReset;
};

// "# <label>\t|F<k>| = <frequent>\t\t(|C<k>| =<candidates>,  time=<seconds>)"
std::string format_statistics(const char* label, int k, int candidates, int frequent,
                              double seconds);
void print_statistics(const char* label, int k, int candidates, int frequent, double seconds);
