// Brute-force reference for KESTREL's output contract, written independently of the
// program: it reads the transaction and attribute files with the contract's own
// rules, enumerates every itemset P u X by a depth-first walk over tid lists, and
// keeps exactly the itemsets that reach the support threshold and satisfy every
// constraint, each evaluated with exact integer arithmetic.
//
// Lines are returned NORMALISED: the prefix ids P in first-listed order, then the
// ids of X in ascending numeric order, then "(support)". The program writes X in
// its own dense order, so its output goes through normalise_output before the
// multisets of lines are compared.
//
// Attribute values and ids are unsigned 32-bit; thresholds are stored as written
// (a 32-bit signed number) and each keyword reads them signed or unsigned as the
// contract says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

// One transaction per line: distinct ids, ascending.
using Transactions = std::vector<std::vector<std::uint32_t>>;
// Row r holds attribute r; entry j is the value of input id j.
using AttributeRows = std::vector<std::vector<std::uint32_t>>;

// Parses FIMI text (also used for attribute files: one row per line). Returns an
// empty string on success, else a description naming the line.
std::string parse_number_lines(const std::string& text, bool as_sets,
                               std::vector<std::vector<std::uint32_t>>* rows);
std::string read_text_file(const std::string& path, std::string* text);

struct RefConstraint {
  std::string keyword;
  std::int32_t attr = -1;               // attribute row, -1 for none
  std::int32_t threshold = 0;           // as written on the command line
  std::int32_t value = 0;               // the counted value of acount*
  std::vector<std::uint32_t> list;      // items (sub/supseteq) or values (asub/asupseteq)

  // The command-line parameter word, e.g. "[0,15]".
  std::string parameter_text() const;
};

// Keyword shape: how the parameter text is laid out.
enum class Layout { kThreshold, kAttrThreshold, kAttrValueThreshold, kItems, kAttrValues };
Layout layout_of(const std::string& keyword);
// True when a larger threshold makes the keyword harder to satisfy ("...geq").
bool is_lower_bound(const std::string& keyword);
// True when the keyword reads its threshold as unsigned 32-bit.
bool unsigned_threshold(const std::string& keyword);
// The 35 keywords, in the program's registry order.
const std::vector<std::string>& all_keywords();

// Evaluates one constraint on the whole itemset (prefix included): items are the
// input ids of P u X, k = |X|. attrs must cover every id (checked by mine()).
bool constraint_holds(const RefConstraint& c, const std::vector<std::uint32_t>& items,
                      std::size_t k, const AttributeRows& attrs);

struct Query {
  std::uint32_t sigma = 0;
  std::vector<RefConstraint> constraints;
};

struct MineResult {
  std::string error;               // non-empty: the run must fail (attribute problems)
  std::vector<std::string> lines;  // normalised, sorted
  std::vector<std::uint32_t> prefix;  // P in first-listed order
};

// Enumerates the contract. attrs_present is false when no attribute file is given.
MineResult mine(const Transactions& transactions, const AttributeRows& attrs,
                bool attrs_present, const Query& query);

// Normalises the program's output file: each line must read "id id ... (support)";
// the first prefix_len ids keep their order, the rest are sorted; a line that does
// not have that shape is kept as "MALFORMED <line>". The result is sorted.
std::vector<std::string> normalise_output(const std::string& text, std::size_t prefix_len);

}  // namespace reference
