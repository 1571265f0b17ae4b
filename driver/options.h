// The command line of a run: argv -> kestrel::run_description.
//
// The arguments after the program name are keyword/value pairs. "input",
// "output", "sigma" (mandatory), "attributes", "preloops", "hop", "tmpdir",
// "names", "memory", "threads" and "quiet" are options; any other keyword names
// a constraint whose row in the keyword registry parses the value (here only to
// report a malformed one at once, in command-line order; the run parses it
// again). A repeated option keeps its last value; a repeated constraint keyword
// makes two constraints. Numbers are strict: sigma and preloops are whole
// decimal numbers in [0, 2^32), hop in the signed 32-bit range, memory (MiB)
// and threads at least 1. Keywords beginning "testing." set the description's
// testing section (README, "Testing options"); the usage text does not list
// them, nor "names" and "quiet".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "include/kestrel/kestrel.h"

// Writes the usage text (with one line per registered constraint) to stderr,
// or to `to` (--help writes it to stdout).
void printUsage(std::FILE* to = stderr);

// Parses the command line into d. Returns false after printing the usage text
// (too few arguments); every other problem throws run_error with a one-line
// message. "quiet <n>" (n a whole number, not 0) sets *quiet (when given): no
// pass line on the terminal.
bool ParseArguments(int argc, const char* const* argv, kestrel::run_description& d,
                    bool* quiet = nullptr);

// Strict number parsing for the command line; throw run_error naming the keyword.
std::uint32_t parse_unsigned_option(const std::string& keyword, const std::string& text);
int parse_signed_option(const std::string& keyword, const std::string& text);
