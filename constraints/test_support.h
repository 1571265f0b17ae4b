// Helpers shared by the constraint tests: parse a keyword into a constraint set
// and bind a column and the set's prefix items, as the attribute table does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint_set.h"

namespace constraint_testing {

// Parses text with the registry's row for keyword, filing the instances in set.
inline void parse(constraint_set& set, const std::string& keyword, const std::string& text) {
  set.add(keyword, text);
}

// Binds column (by item id) to every active instance and folds the prefix in.
inline void bind_all(constraint_set& set, std::vector<std::uint32_t>* column) {
  for (auto* c : set.all()) {
    if (c->attribute_row() != -1) c->bind_column(column);
    c->fold_prefix(set.prefix_items);
  }
}

}  // namespace constraint_testing
