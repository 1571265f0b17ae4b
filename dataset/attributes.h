// The attribute table: the attribute rows that the constraints name.
//
// Attribute file: line r (from 0) holds attribute r; value j of the line is the
// attribute of the item with input id j. Values use the transaction file's
// number syntax (and its errors). attributes_matrix[k] is the column of
// attribute needed_attributes[k]: indexed by input id after LoadAttributes, by
// dense id once the first scan has renumbered the items, and kept aligned by
// global pruning. Constraints keep pointers to the columns, which stay valid:
// columns are rewritten in place, never reallocated as objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class item_table;

extern std::vector<int> needed_attributes;  // ascending, distinct
extern std::vector<std::unique_ptr<std::vector<std::uint32_t>>> attributes_matrix;

// Loads the needed rows and binds every constraint to its column (then runs its
// fold_prefix), then runs fold_prefix on every active constraint without an attribute
// (also when no attribute is needed). Errors (one line, run_error): no file name
// while attributes are needed, a file that cannot be opened, a missing line, a
// malformed value.
void LoadAttributes(const std::string& file_name);

// Shortest needed column (values per line); UINT64_MAX when none is needed. An
// item id at or above it has no value: the first scan reports it.
std::uint64_t shortest_attribute_column();

// Throws the one-line error for an input id that some needed column has no value
// for ("<file>: attribute line <r> has <n> values, item <id> needs one").
[[noreturn]] void report_missing_attribute_value(std::uint32_t input_id);

// After renumbering: column entry k := old entry at items.unmap[k], for every
// column; then rebinds the constraints (without fold_prefix).
void rebuild_attribute_columns(const item_table& items);

// Frees the columns and empties needed_attributes (tests, reruns).
void reset_attributes();
