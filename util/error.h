// The one exception type of the program. Code that finds a fatal problem throws
// run_error with the exact one-line message the user sees. The threads of a
// level catch it only to hand it to the thread that started them; the run
// (mining/run.cc) catches it to remove its partial files and rethrows it to the
// library's caller as kestrel::run_error: the command line prints the message
// on stderr and exits with status 1, the Python module raises KestrelError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

struct run_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An error at one line of an input file: "<file>:<line>: <problem>". The parts
// keep what the message is made of, so that a process that read only part of
// the file can report the line's number in the whole file.
struct line_error : run_error {
  line_error(const std::string& file_name, std::uint64_t line_number, const std::string& what)
      : run_error(file_name + ":" + std::to_string(line_number) + ": " + what),
        file(file_name),
        line(line_number),
        problem(what) {}
  std::string file;
  std::uint64_t line;
  std::string problem;
};
