// The attribute table: the attribute rows that the constraints name.
//
// Attribute file: line r (from 0) holds attribute r; value j of the line is the
// attribute of the item with input id j. Values use the transaction file's
// number syntax (and its errors). columns[k] is the column of attribute
// rows[k]: indexed by input id after load, by dense id once the first scan has
// renumbered the items, and kept aligned by global pruning. Constraints keep
// pointers to the columns, which stay valid: columns are rewritten in place,
// never reallocated as objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class constraint_set;
class item_table;

class attribute_table {
 public:
  // Loads the rows the constraints need from file_name (or, when rows_in_memory
  // is not null, from its rows, row r = attribute r), binds every constraint to
  // its column and runs its fold_prefix, then runs fold_prefix on every active
  // constraint without an attribute (also when no attribute is needed). Errors
  // (one line, run_error): no file name while attributes are needed, a file that
  // cannot be opened, a missing line, a malformed value.
  void load(const std::string& file_name,
            const std::vector<std::vector<std::uint32_t>>* rows_in_memory,
            constraint_set& constraints);

  // Shortest needed column (values per line); UINT64_MAX when none is needed. An
  // item id at or above it has no value: the first scan reports it.
  std::uint64_t shortest_column() const;

  // Throws the one-line error for an input id that some needed column has no
  // value for ("<file>: attribute line <r> has <n> values, item <id> needs one").
  [[noreturn]] void report_missing_value(std::uint32_t input_id) const;

  // After renumbering: column entry k := old entry at items.input_id(k), for every
  // column; then rebinds the constraints (without fold_prefix).
  void rebuild_for_dense_ids(const item_table& items, constraint_set& constraints);

  // Global pruning: entry j of every column := old entry keep[j] (keep ascending),
  // the column keep.size() long. The column objects stay in place.
  void compact(const std::vector<std::uint32_t>& keep);

  std::vector<int> rows;  // ascending, distinct
  std::vector<std::unique_ptr<std::vector<std::uint32_t>>> columns;

 private:
  void bind_columns(constraint_set& constraints, bool fold_prefix);
  std::string file_name_;
};
