#include "dataset/attributes.h"

#include <algorithm>
#include <limits>

#include "constraints/constraint.h"
#include "dataset/fimi_reader.h"
#include "dataset/items.h"
#include "util/error.h"

std::vector<int> needed_attributes;
std::vector<std::unique_ptr<std::vector<std::uint32_t>>> attributes_matrix;

namespace {

std::string g_attribute_file;

// Every active instance once, in the order CAM, LAM, AM, SAM, M. A keyword with
// two halves files one object in two tables; it must be bound (and see its
// fold_prefix) only once.
std::vector<Constraint<std::uint32_t>*> active_constraints() {
  std::vector<Constraint<std::uint32_t>*> all;
  auto add = [&all](Constraint<std::uint32_t>* c) {
    if (std::find(all.begin(), all.end(), c) == all.end()) all.push_back(c);
  };
  for (auto* c : GLOBAL_CAM_TABLE) add(c);
  for (auto* c : GLOBAL_LAM_TABLE) add(c);
  for (auto* c : GLOBAL_AM_TABLE) add(c);
  for (auto* c : GLOBAL_SAM_TABLE) add(c);
  for (auto* c : GLOBAL_M_TABLE) add(c);
  return all;
}

void bind_columns(bool run_set_prefix) {
  const std::vector<Constraint<std::uint32_t>*> all = active_constraints();
  for (std::size_t k = 0; k < needed_attributes.size(); ++k)
    for (auto* c : all)
      if (c->attribute_row() == needed_attributes[k]) {
        c->bind_column(attributes_matrix[k].get());
        if (run_set_prefix) c->fold_prefix();
      }
}

}  // namespace

void report_missing_attribute_value(std::uint32_t input_id) {
  for (std::size_t k = 0; k < attributes_matrix.size(); ++k) {
    if (input_id < attributes_matrix[k]->size()) continue;
    throw run_error(g_attribute_file + ": attribute line " + std::to_string(needed_attributes[k]) +
                    " has " + std::to_string(attributes_matrix[k]->size()) + " values, item " +
                    std::to_string(input_id) + " needs one");
  }
  throw run_error(g_attribute_file + ": item " + std::to_string(input_id) +
                  " has no attribute value");
}

void LoadAttributes(const std::string& file_name) {
  if (!needed_attributes.empty()) {
    g_attribute_file = file_name;
    if (file_name.empty())
      throw run_error("attributes option missing: a constraint needs attribute " +
                      std::to_string(needed_attributes.front()));
    fimi_reader reader(file_name, file_name + " could not be opened!");
    attributes_matrix.clear();
    std::vector<std::uint32_t> line;
    for (std::size_t k = 0, row = 0; k < needed_attributes.size(); ++row) {
      if (!reader.next_line(line))
        throw run_error(file_name + ": attribute line " + std::to_string(needed_attributes[k]) +
                        " is missing");
      if (static_cast<int>(row) != needed_attributes[k]) continue;
      attributes_matrix.push_back(std::make_unique<std::vector<std::uint32_t>>(line));
      ++k;
    }
    // fold_prefix reads the prefix items' values: they must have one.
    for (std::uint32_t p : prefix_items)
      if (p >= shortest_attribute_column()) report_missing_attribute_value(p);
    bind_columns(true);
  }
  // Constraints without an attribute fold the prefix items in too (their length
  // and item-set conditions count them).
  for (auto* c : active_constraints())
    if (c->attribute_row() == -1) c->fold_prefix();
}

std::uint64_t shortest_attribute_column() {
  std::uint64_t shortest = std::numeric_limits<std::uint64_t>::max();
  for (const auto& column : attributes_matrix)
    shortest = std::min<std::uint64_t>(shortest, column->size());
  return shortest;
}

void rebuild_attribute_columns(const item_table& items) {
  for (auto& column : attributes_matrix) {
    std::vector<std::uint32_t> dense(items.n_items);
    for (std::uint32_t k = 0; k < items.n_items; ++k) dense[k] = (*column)[items.unmap[k]];
    column->swap(dense);  // the column object stays where the constraints point
  }
  bind_columns(false);
}

void reset_attributes() {
  attributes_matrix.clear();
  needed_attributes.clear();
  g_attribute_file.clear();
}
