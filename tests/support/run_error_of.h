// The message of an exception a call throws: tests compare it with the exact
// one-line text the user sees.
#pragma once

#include <string>

#include "util/error.h"

// The message of the exception of type Error that f() throws, or "no error".
template <class Error, class F>
std::string error_of(F f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

// The message of the run_error that f() throws, or "no error".
template <class F>
std::string run_error_of(F f) {
  return error_of<run_error>(f);
}
