// Fuzz target: the command line with constraint parameters.
//
// The input is split into argv words at newlines. ParseArguments runs
// in-process (it reads no file); a parsed command line also derives the length
// bound and clones the active constraints for the three item widths, as a run
// does. Errors must be run_error; the global tables are reset after every input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/attributes.h"
#include "driver/options.h"
#include "util/error.h"
#include "util/output_file.h"

namespace {

template <class T>
void clone_all() {
  typed_constraints<T> typed;
  typed.take_active_constraints();
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
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  run_options o;
  if (!ParseArguments(static_cast<int>(argv.size()), argv.data(), o)) return;
  GLOBAL_MAXIMUM_LENGTH = maximum_length_beyond_prefix(LENLEQ_BOUND, prefix_items.size());
  if (size % 3 == 0)
    clone_all<std::uint8_t>();
  else if (size % 3 == 1)
    clone_all<std::uint16_t>();
  else
    clone_all<std::uint32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    run_one(data, size);
  } catch (const run_error&) {
  }
  reset_constraint_tables();
  reset_attributes();
  write_output = false;
  return 0;
}
