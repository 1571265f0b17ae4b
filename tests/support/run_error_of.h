// The message of the run_error a call throws: tests compare it with the exact
// one-line text the user sees.
#pragma once

#include <string>

#include "util/error.h"

// The message of the run_error that f() throws, or "no error".
template <class F>
std::string run_error_of(F f) {
  try {
    f();
  } catch (const run_error& e) {
    return e.what();
  }
  return "no error";
}
