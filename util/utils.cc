#include "util/utils.h"

#include <sys/time.h>

#include <cstdio>

double Chronos::now() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1000000.0;
}

void Chronos::ResetChronos() {
  elapsed_ = 0;
  state_ = kReset;
}

void Chronos::StartChronos() {
  state_ = kRunning;
  start_ = now();
}

void Chronos::StopChronos() {
  state_ = kStopped;
  elapsed_ = now() - start_;
}

double Chronos::ReadChronos() {
  if (state_ == kRunning) elapsed_ = now() - start_;
  return elapsed_;
}

void Chronos::RestartChronos() {
  elapsed_ = 0;
  StartChronos();
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
