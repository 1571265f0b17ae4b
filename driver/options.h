// The command line of a run and the choice of the engine's integer widths.
//
// The arguments after the program name are keyword/value pairs. "input",
// "output", "sigma" (mandatory), "attributes", "preloops" and "hop" are options;
// any other keyword names a constraint whose prototype in GLOBAL_TABLE parses the
// value. A repeated option keeps its last value; a repeated constraint keyword
// makes two constraints. Numbers are strict: sigma and preloops are whole
// decimal numbers in [0, 2^32), hop in the signed 32-bit range.
#pragma once

#include <cstdint>
#include <string>

struct run_options {
  std::string input;
  std::string attributes;
  std::uint32_t sigma = 0;
  std::uint32_t preloops = 1;
  int hop = 3;  // out-of-core until this level
};

// Writes the usage text (with one line per registered constraint) to stderr.
void printUsage();

// Parses the command line into o, files the constraints and fills
// needed_attributes (sorted). Returns false after printing the usage text (too
// few arguments) or when a constraint's parser declined without a message; every
// other problem throws run_error with a one-line message.
bool ParseArguments(int argc, const char* const* argv, run_options& o);

// Strict number parsing for the command line; throw run_error naming the keyword.
std::uint32_t parse_unsigned_option(const std::string& keyword, const std::string& text);
int parse_signed_option(const std::string& keyword, const std::string& text);

// The length bound beyond the prefix items: -1 without a bound, -2 when nothing
// may be written at all.
int maximum_length_beyond_prefix(std::int64_t lenleq_bound, std::size_t n_prefix_items);

// Bytes of the narrowest unsigned type (1, 2 or 4) that holds largest.
inline int width_for(std::uint64_t largest) {
  if (largest <= 255) return 1;
  if (largest <= 65535) return 2;
  return 4;
}

// Calls f with a value of the narrowest unsigned type that holds largest: the one
// place where the item type T and the support type T1 are chosen.
template <class F>
void with_width(std::uint64_t largest, F&& f) {
  switch (width_for(largest)) {
    case 1:
      f(std::uint8_t{});
      break;
    case 2:
      f(std::uint16_t{});
      break;
    default:
      f(std::uint32_t{});
  }
}
