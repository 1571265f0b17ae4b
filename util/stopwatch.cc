#include "util/stopwatch.h"

#include <sys/time.h>

#include <cstdio>

double stopwatch::now() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1000000.0;
}

void stopwatch::reset() {
  elapsed_ = 0;
  state_ = kReset;
}

void stopwatch::start() {
  state_ = kRunning;
  start_ = now();
}

void stopwatch::stop() {
  state_ = kStopped;
  elapsed_ = now() - start_;
}

double stopwatch::seconds() {
  if (state_ == kRunning) elapsed_ = now() - start_;
  return elapsed_;
}

void stopwatch::restart() {
  elapsed_ = 0;
  start();
}

std::string format_statistics(const char* label, int k, int candidates, int frequent,
                              double seconds) {
  char line[512];
  std::snprintf(line, sizeof line, "# %s\t|F%d| = %d\t\t(|C%d| =%d,  time=%f)\n", label, k,
                frequent, k, candidates, seconds);
  return line;
}

void print_statistics(const char* label, int k, int candidates, int frequent, double seconds) {
  std::fputs(format_statistics(label, k, candidates, frequent, seconds).c_str(), stdout);
}
