// The pass line of a run on a terminal: one line on standard error, written
// over itself ("\r", the text, erase to the end of the line) and erased
// before anything is written to standard output or the error message, so the
// progress table and the message read as they would without it. Shown from
// the run's meter thread and erased from whichever thread prints a row: the
// writes take a lock.
#pragma once

#include <mutex>

class terminal_line {
 public:
  // Writes line over the one shown; "" erases it.
  void show(const char* line);
  // Erases the line shown, if any.
  void erase();

 private:
  std::mutex lock_;
  bool shown_ = false;
};
