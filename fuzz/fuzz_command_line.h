// Shared by the fuzz targets that start from a command line: the words go
// through the program's own parser, then the constraints into a set, as a run
// files them.
#pragma once

#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "driver/options.h"

// False when the program would refuse the command line; otherwise true with
// the command line's constraints filed in set (a malformed one throws run_error).
inline bool parse_command_line(const std::vector<std::string>& words, constraint_set& set) {
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  kestrel::run_description o;
  if (!ParseArguments(static_cast<int>(argv.size()), argv.data(), o)) return false;
  for (const kestrel::constraint& c : o.constraints) set.add(c.keyword, c.parameters);
  return true;
}
