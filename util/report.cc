#include "util/report.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "util/error.h"

void reporter::print(const char* format, ...) {
  if (!hook) return;
  char small[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof small) {
    hook(small);
    return;
  }
  std::vector<char> big(static_cast<std::size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  hook(big.data());
}

void reporter::check_stop() const {
  if (stop_requested && stop_requested()) throw run_error("interrupted");
}

void report_exchange(reporter& report, cluster& peers) {
  if (peers.ranks() == 1 || peers.exchanged_bytes == 0) return;
  report.print("( \t counts summed over %d ranks: %llu bytes )\n", peers.ranks(),
               static_cast<unsigned long long>(peers.exchanged_bytes));
  peers.exchanged_bytes = 0;
}
