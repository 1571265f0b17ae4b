#include "util/stopwatch.h"

#include <sys/time.h>

double stopwatch::now() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1000000.0;
}

void stopwatch::start() {
  running_ = true;
  start_ = now();
}

double stopwatch::seconds() const { return running_ ? now() - start_ : 0.0; }
