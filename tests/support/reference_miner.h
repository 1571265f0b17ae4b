// Brute-force reference miner, written independently of the program: it reads
// the input and attribute files by the rules of the README's "Formats" section,
// enumerates every itemset P u X (P the "supseteq" prefix items) by a
// depth-first walk over tid lists and keeps those whose support reaches sigma
// and that satisfy every constraint, each evaluated in exact integer arithmetic.
// Lines are NORMALISED: the prefix ids P in first-listed order, then the ids of X
// ascending, then "(support)"; the program's output goes through normalise_output.
// Thresholds are stored as written (signed 32-bit); each keyword reads them signed
// or unsigned as its usage text's field says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

using Transactions = std::vector<std::vector<std::uint32_t>>;   // distinct ids, ascending
using AttributeRows = std::vector<std::vector<std::uint32_t>>;  // row r, entry j: id j

// Parses FIMI text (as_sets: sorted, deduplicated rows). Returns "" or the fault.
std::string parse_number_lines(const std::string& text, bool as_sets,
                               std::vector<std::vector<std::uint32_t>>* rows);

struct RefConstraint {
  std::string keyword;
  std::int32_t attr = -1;              // attribute row, -1 for none
  std::int32_t threshold = 0;          // as written on the command line
  std::int32_t value = 0;              // the counted value of acount*
  std::vector<std::uint32_t> list;     // items (sub/supseteq) or values (asub/asupseteq)
  std::string parameter_text() const;  // e.g. "[0,15]"
};

enum class Layout { kThreshold, kAttrThreshold, kAttrValueThreshold, kItems, kAttrValues };
Layout layout_of(const std::string& keyword);
bool is_lower_bound(const std::string& keyword);      // "...geq"
bool unsigned_threshold(const std::string& keyword);  // reads the threshold unsigned
const std::vector<std::string>& all_keywords();       // the 35 keywords

// One constraint on P u X (input ids of all items), k = |X|.
bool constraint_holds(const RefConstraint& c, const std::vector<std::uint32_t>& items,
                      std::size_t k, const AttributeRows& attrs);

struct Query {
  std::uint32_t sigma = 0;
  std::vector<RefConstraint> constraints;
};

struct MineResult {
  std::string error;                  // non-empty: the run must fail
  std::vector<std::string> lines;     // normalised, sorted
  std::vector<std::uint32_t> prefix;  // P in first-listed order
};

MineResult mine(const Transactions& transactions, const AttributeRows& attrs, bool attrs_present,
                const Query& query);

// Each line must read "id ... (support)\n": the first prefix_len ids keep their
// order, the rest are sorted; any other line becomes "MALFORMED <line>". Sorted.
std::vector<std::string> normalise_output(const std::string& text, std::size_t prefix_len);

}  // namespace reference
