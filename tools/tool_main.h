// The error handling every tool's main shares: the tool's own error type is a
// one-line message on stderr, running out of memory says so, anything else is
// an internal error; each of them ends with exit status 1.
#pragma once

#include <cstdio>
#include <exception>
#include <new>

// Runs body (which returns the exit status of a completed run) and turns every
// exception into one stderr line and status 1.
template <class Error, class Body>
int exit_status_of(Body&& body) {
  try {
    return body();
  } catch (const Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::fputs("out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "internal error: %s\n", e.what());
  }
  return 1;
}
