#include "driver/terminal_line.h"

#include <cstdio>
#include <string>

void terminal_line::show(const char* line) {
  if (line[0] == '\0') {
    erase();
    return;
  }
  // One write, so that nothing else lands inside the line.
  const std::string text = std::string("\r") + line + "\033[K";
  std::lock_guard<std::mutex> hold(lock_);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

void terminal_line::erase() {
  std::lock_guard<std::mutex> hold(lock_);
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}
