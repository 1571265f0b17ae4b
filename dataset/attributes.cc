#include "dataset/attributes.h"

#include <algorithm>
#include <limits>

#include "constraints/constraint_set.h"
#include "dataset/fimi_reader.h"
#include "dataset/items.h"
#include "util/error.h"

void attribute_table::bind_columns(constraint_set& constraints, bool fold_prefix) {
  const std::vector<itemset_constraint<std::uint32_t>*> all = constraints.all();
  for (std::size_t k = 0; k < rows.size(); ++k)
    for (auto* c : all)
      if (c->attribute_row() == rows[k]) {
        c->bind_column(columns[k].get());
        if (fold_prefix) c->fold_prefix(constraints.prefix_items);
      }
}

void attribute_table::report_missing_value(std::uint32_t input_id) const {
  for (std::size_t k = 0; k < columns.size(); ++k) {
    if (input_id < columns[k]->size()) continue;
    throw run_error(file_name_ + ": attribute line " + std::to_string(rows[k]) + " has " +
                    std::to_string(columns[k]->size()) + " values, item " +
                    std::to_string(input_id) + " needs one");
  }
  throw run_error(file_name_ + ": item " + std::to_string(input_id) + " has no attribute value");
}

void attribute_table::load(const std::string& file_name,
                           const std::vector<std::vector<std::uint32_t>>* rows_in_memory,
                           constraint_set& constraints) {
  rows = constraints.needed_attribute_rows();
  columns.clear();
  if (!rows.empty()) {
    file_name_ = file_name;
    if (rows_in_memory == nullptr && file_name.empty())
      throw run_error("attributes option missing: a constraint needs attribute " +
                      std::to_string(rows.front()));
    std::unique_ptr<fimi_reader> reader;
    if (rows_in_memory == nullptr)
      reader = std::make_unique<fimi_reader>(file_name, file_name + " could not be opened!");
    std::vector<std::uint32_t> line;
    for (std::size_t k = 0, row = 0; k < rows.size(); ++row) {
      const bool have = reader ? reader->next_line(line) : row < rows_in_memory->size();
      if (!have)
        throw run_error(file_name + ": attribute line " + std::to_string(rows[k]) + " is missing");
      if (static_cast<int>(row) != rows[k]) continue;
      if (!reader) line = (*rows_in_memory)[row];
      columns.push_back(std::make_unique<std::vector<std::uint32_t>>(line));
      ++k;
    }
    // fold_prefix reads the prefix items' values: they must have one.
    for (std::uint32_t p : constraints.prefix_items)
      if (p >= shortest_column()) report_missing_value(p);
    bind_columns(constraints, true);
  }
  // Constraints without an attribute fold the prefix items in too (their length
  // and item-set conditions count them).
  for (auto* c : constraints.all())
    if (c->attribute_row() == -1) c->fold_prefix(constraints.prefix_items);
}

std::uint64_t attribute_table::shortest_column() const {
  std::uint64_t shortest = std::numeric_limits<std::uint64_t>::max();
  for (const auto& column : columns) shortest = std::min<std::uint64_t>(shortest, column->size());
  return shortest;
}

void attribute_table::rebuild_for_dense_ids(const item_table& items, constraint_set& constraints) {
  for (auto& column : columns) {
    std::vector<std::uint32_t> dense(items.n_items);
    for (std::uint32_t k = 0; k < items.n_items; ++k) dense[k] = (*column)[items.input_id(k)];
    column->swap(dense);  // the column object stays where the constraints point
  }
  bind_columns(constraints, false);
}

void attribute_table::compact(const std::vector<std::uint32_t>& keep) {
  for (auto& column : columns) {
    for (std::size_t j = 0; j < keep.size(); ++j)
      if (keep[j] < column->size()) (*column)[j] = (*column)[keep[j]];
    column->resize(keep.size(), 0);
  }
}
