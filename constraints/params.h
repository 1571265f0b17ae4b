// Parsing of constraint parameter texts.
//
// A parameter text is one command-line word: "[" fields separated by "," "]",
// nothing before or after, no blanks. "[]" holds no field. Every field is a
// whole decimal number; what range it may take depends on its role:
//   - attribute index: 0 .. 2147483647, no sign;
//   - signed threshold (sum, avg, med, var, std, spv, md, lenleq): a signed
//     32-bit number;
//   - wrapping threshold (acount, min, max, range, lengeq, counted value):
//     -2147483648 .. 4294967295, a negative number wraps modulo 2^32;
//   - list entry (item ids, attribute values): 0 .. 4294967295, no sign.
// Any other text throws run_error("<keyword>: malformed parameters \"<text>\"").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace constraint_params {

// The fields between the brackets (no field for "[]"); throws when the
// brackets or the commas are not where the layout needs them.
std::vector<std::string> split(const char* keyword, const char* text);

[[noreturn]] void malformed(const char* keyword, const char* text);

int attribute(const char* keyword, const char* text, const std::string& field);
std::int64_t signed_threshold(const char* keyword, const char* text, const std::string& field);
std::uint32_t wrapping_threshold(const char* keyword, const char* text,
                                 const std::string& field);
std::uint32_t list_entry(const char* keyword, const char* text, const std::string& field);

// The common layouts.
struct AttrThreshold {
  int attribute;
  std::string threshold;  // the raw field; the caller decides signed or wrapping
};
AttrThreshold attr_threshold(const char* keyword, const char* text);
// "[<threshold>]"
std::string single_field(const char* keyword, const char* text);
// "[<attr>,<val>,<threshold>]": counted value and threshold both wrap.
struct AttrValueThreshold {
  int attribute;
  std::uint32_t value;
  std::uint32_t threshold;
};
AttrValueThreshold attr_value_threshold(const char* keyword, const char* text);
// "[i0,i1,...]" ("[]" = empty list), in written order.
std::vector<std::uint32_t> item_list(const char* keyword, const char* text);
// "[<attr>,v0,v1,...]" ("[<attr>]" = empty value list).
struct AttrValues {
  int attribute;
  std::vector<std::uint32_t> values;
};
AttrValues attr_values(const char* keyword, const char* text);

}  // namespace constraint_params
