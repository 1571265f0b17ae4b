// Fuzz target: the attribute-file reader.
//
// The first byte chooses the constraints that need attributes (and so which
// rows are loaded, whether "supseteq" items must have values, and whether the
// items are renumbered by attribute order); the other bytes are the attribute
// file. After a successful load, a few items are counted, renumbered and the
// columns rebuilt for dense ids, as the first scan does. Errors must be
// run_error. Every input builds its own values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/attributes.h"
#include "dataset/items.h"
#include "fuzz/fuzz_command_line.h"
#include "fuzz/fuzz_file.h"
#include "util/error.h"

namespace {

void run_one(std::uint8_t choice, const std::uint8_t* data, std::size_t size) {
  memory_file file(data, size);
  const std::string row = std::to_string(choice & 3);
  const std::string other = std::to_string((choice >> 2) & 1);
  std::vector<std::string> words = {"kestrel", "input", "in.dat", "output", "out.txt",
                                    "sigma",   "1",     "sumleq", "[" + row + ",100]"};
  if (choice & 0x08) words.insert(words.end(), {"avggeq2", "[" + other + ",3]"});
  if (choice & 0x10) words.insert(words.end(), {"asupseteq", "[" + other + ",1,2]"});
  if (choice & 0x20) words.insert(words.end(), {"supseteq", "[2,5]"});
  if (choice & 0x40) words.insert(words.end(), {"medleq2", "[" + row + ",7]"});
  constraint_set set;
  if (!parse_command_line(words, set)) return;
  attribute_table attributes;
  attributes.load(file.name(), nullptr, set);

  // Count the ids that every loaded column has a value for, as the first scan
  // would after its own check, then renumber and rebuild the columns.
  const std::uint64_t limit = std::min<std::uint64_t>(attributes.shortest_column(), 64);
  item_table items(1);
  for (std::uint32_t id = 0; id < limit; ++id)
    for (std::uint32_t k = 0; k <= id % 3; ++k) items.counts.add(id);
  if (set.convertible_table.empty())
    items.remap_items(false);
  else
    items.remap_items(*set.convertible_table.front()->attribute_values,
                      set.convertible_table.front()->ascending());
  attributes.rebuild_for_dense_ids(items, set);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  try {
    run_one(data[0], data + 1, size - 1);
  } catch (const run_error&) {
  }
  return 0;
}
