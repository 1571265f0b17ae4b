// Wall-clock stopwatch: seconds() is the time since the last start(), 0 before
// the first. Times are wall-clock (gettimeofday), as the progress rows show them.
#pragma once

class stopwatch {
 public:
  void start();
  double seconds() const;

 private:
  static double now();
  double start_ = 0;
  bool running_ = false;
};
