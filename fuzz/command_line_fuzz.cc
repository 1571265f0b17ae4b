// Fuzz target: the command line with constraint parameters.
//
// The input is split into argv words at newlines. ParseArguments runs
// in-process (it reads no file); a parsed command line's constraints are then
// filed in a constraint set and cloned for one of the three item widths, as a
// run does. Errors must be run_error. Every input builds its own values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "fuzz/fuzz_command_line.h"
#include "util/error.h"

namespace {

template <class T>
void clone_all(const constraint_set& set) {
  typed_constraints<T> typed(set);
}

void run_one(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words = {"kestrel"};
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (size > 0) words.push_back(word);
  constraint_set set;
  if (!parse_command_line(words, set)) return;
  set.level_allowed(static_cast<int>(size % 5));
  if (size % 3 == 0)
    clone_all<std::uint8_t>(set);
  else if (size % 3 == 1)
    clone_all<std::uint16_t>(set);
  else
    clone_all<std::uint32_t>(set);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    run_one(data, size);
  } catch (const run_error&) {
  }
  return 0;
}
