// The one exception type of the program. Code that finds a fatal problem throws
// run_error with the exact one-line message the user sees; only main catches it,
// prints the message on stderr and exits with status 1.
#pragma once

#include <stdexcept>
#include <string>

struct run_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};
