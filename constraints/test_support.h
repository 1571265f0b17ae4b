// Helpers shared by the constraint tests: parse a keyword through the registry
// and bind a column and prefix items, as the driver and the attribute loader do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "constraints/constraint.h"

namespace constraint_testing {

// Parses text with the registry's prototype for keyword, filing the instance.
inline Constraint<std::uint32_t>* parse(const std::string& keyword, const std::string& text) {
  for (auto* c : GLOBAL_TABLE)
    if (keyword == c->keyword()) return c->parse_parameters(text.c_str());
  return nullptr;
}

// Binds column (by item id) to every active instance and folds the prefix in.
inline void bind_all(std::vector<std::uint32_t>* column) {
  auto bind = [column](auto& table) {
    for (auto* c : table) {
      if (c->attribute_row() != -1) c->bind_column(column);
      c->fold_prefix();
    }
  };
  bind(GLOBAL_AM_TABLE);
  bind(GLOBAL_SAM_TABLE);
  bind(GLOBAL_M_TABLE);
  bind(GLOBAL_LAM_TABLE);
  bind(GLOBAL_CAM_TABLE);
}

}  // namespace constraint_testing
