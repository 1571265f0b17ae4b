#include "driver/options.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "constraints/constraint_set.h"
#include "constraints/registry.h"
#include "util/error.h"

void printUsage(std::FILE* to) {
  std::string text =
      "Usage: KESTREL <mandatory options> [other_options]\n"
      "\n"
      " <mandatory options> are needed for basic unconstrained mining: \n"
      "input <filename>        : FIMI ASCII plain file\n"
      "output <filename>\n"
      "sigma <threshold>       : absolute minimum support threshold\n"
      "\n"
      " [other_options] are needed for constrained itemset mining: \n"
      "hop <k>                 : force out-of-core until k-th iteration\n"
      "preloops <n>            : number of Winnow preprocessing loops\n"
      "attributes <filename>   : plain ASCII file with integer values\n"
      "tmpdir <dir>            : directory of the temporary file dataset.tmp\n"
      "memory <MiB>            : cap on the memory the run plans for\n"
      "threads <n>             : threads of the in-memory levels (default: all processors)\n";
  for (const keyword_row& row : KEYWORD_TABLE) {
    text += row.usage;
    text += '\n';
  }
  text += "\n\n";
  std::fputs(text.c_str(), to);
}

namespace {

[[noreturn]] void bad_number(const std::string& keyword, const std::string& text, const char* why) {
  throw run_error(keyword + ": \"" + text + "\" " + why);
}

// True for a non-empty text of decimal digits only.
bool all_digits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value of a digit text, or UINT64_MAX when it would exceed 64 bits.
std::uint64_t digits_value(const std::string& s) {
  std::uint64_t v = 0;
  for (char c : s) {
    if (v > (UINT64_MAX - 9) / 10) return UINT64_MAX;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return v;
}

// One of the words of a testing option, or an error naming them.
template <class E>
E one_of(const std::string& keyword, const std::string& text,
         std::initializer_list<std::pair<const char*, E>> words) {
  std::string names;
  for (const auto& [word, value] : words) {
    if (text == word) return value;
    names += names.empty() ? word : std::string(", ") + word;
  }
  throw run_error(keyword + ": \"" + text + "\" is not one of " + names);
}

// The options that force a run's own choices for the tests (README, "Testing options").
// The usage text leaves them out. False: keyword is none of them.
bool parse_testing_option(const std::string& keyword, const std::string& value,
                          kestrel::run_testing& t) {
  using layout = kestrel::run_testing::layout;
  using subsets = kestrel::run_testing::subsets;
  if (keyword == "testing.vertical_layout") {
    t.vertical_layout = one_of<layout>(keyword, value,
                                       {{"density", layout::by_density},
                                        {"bits", layout::bit_matrix},
                                        {"lists", layout::tid_lists}});
  } else if (keyword == "testing.level_window_bytes") {
    t.level_window_bytes = parse_unsigned_option(keyword, value);
  } else if (keyword == "testing.folded_supports_from") {
    t.folded_supports_from = parse_unsigned_option(keyword, value);
  } else if (keyword == "testing.key_subsets") {
    t.key_subsets = one_of<subsets>(
        keyword, value,
        {{"rate", subsets::by_rate}, {"all", subsets::all}, {"sampled", subsets::sampled}});
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::uint32_t parse_unsigned_option(const std::string& keyword, const std::string& text) {
  if (!text.empty() && text[0] == '-' && all_digits(text.substr(1)))
    bad_number(keyword, text, "must not be negative");
  if (!all_digits(text)) bad_number(keyword, text, "is not a whole number");
  std::uint64_t v = digits_value(text);
  if (v > UINT32_MAX) bad_number(keyword, text, "does not fit 32 bits");
  return static_cast<std::uint32_t>(v);
}

int parse_signed_option(const std::string& keyword, const std::string& text) {
  bool negative = !text.empty() && text[0] == '-';
  std::string digits = negative ? text.substr(1) : text;
  if (!all_digits(digits)) bad_number(keyword, text, "is not a whole number");
  std::uint64_t v = digits_value(digits);
  if (v > (negative ? 2147483648ull : 2147483647ull))
    bad_number(keyword, text, "does not fit 32 bits");
  return negative ? static_cast<int>(-static_cast<std::int64_t>(v)) : static_cast<int>(v);
}

bool ParseArguments(int argc, const char* const* argv, kestrel::run_description& d, bool* quiet) {
  if (argc <= 2) {
    printUsage();
    return false;
  }
  bool have_input = false, have_sigma = false, have_output = false;
  constraint_set checked;  // parsed here only to report a malformed constraint in order
  for (int i = 1; i < argc; i += 2) {
    const std::string keyword = argv[i];
    if (i + 1 >= argc) throw run_error(keyword + ": a value must follow the keyword");
    const std::string value = argv[i + 1];
    if (keyword == "input") {
      d.input = value;
      have_input = true;
    } else if (keyword == "output") {
      d.output = value;
      have_output = true;
    } else if (keyword == "attributes") {
      d.attributes = value;
    } else if (keyword == "sigma") {
      d.sigma = parse_unsigned_option(keyword, value);
      have_sigma = true;
    } else if (keyword == "preloops") {
      d.preloops = parse_unsigned_option(keyword, value);
    } else if (keyword == "hop") {
      d.hop = parse_signed_option(keyword, value);
    } else if (keyword == "tmpdir") {
      d.tmpdir = value;
    } else if (keyword == "names") {
      d.names = value;
    } else if (keyword == "memory") {
      d.memory_mib = parse_unsigned_option(keyword, value);
      if (d.memory_mib == 0) bad_number(keyword, value, "must be at least 1");
    } else if (keyword == "threads") {
      d.threads = parse_unsigned_option(keyword, value);
      if (d.threads == 0) bad_number(keyword, value, "must be at least 1");
    } else if (keyword == "quiet") {
      const bool on = parse_unsigned_option(keyword, value) != 0;
      if (quiet != nullptr) *quiet = on;
    } else if (!parse_testing_option(keyword, value, d.testing)) {
      checked.add(keyword, value);
      d.constraints.push_back({keyword, value});
    }
  }
  if (!have_input || !have_sigma || !have_output)
    throw run_error("input, output and sigma are mandatory!");
  return true;
}
