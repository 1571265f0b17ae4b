#include "constraints/params.h"

#include "util/error.h"

namespace constraint_params {

void malformed(const char* keyword, const char* text) {
  // The echoed text stays on one line whatever bytes the argument holds.
  std::string shown;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p)
    shown += (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) ? '?' : *p;
  throw run_error(std::string(keyword) + ": malformed parameters \"" + shown + "\"");
}

std::vector<std::string> split(const char* keyword, const char* text) {
  if (text == nullptr) malformed(keyword, "");
  std::string s(text);
  if (s.size() < 2 || s.front() != '[' || s.back() != ']') malformed(keyword, text);
  std::vector<std::string> fields;
  if (s.size() == 2) return fields;
  std::string field;
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '[' || c == ']') malformed(keyword, text);
    if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  for (const std::string& f : fields)
    if (f.empty()) malformed(keyword, text);
  return fields;
}

namespace {

// Digits only, at least one, value at most limit; false otherwise.
bool parse_digits(const std::string& s, std::size_t from, std::uint64_t limit, std::uint64_t* out) {
  if (from >= s.size()) return false;
  std::uint64_t v = 0;
  for (std::size_t i = from; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(s[i] - '0');
    if (v > limit) return false;
  }
  *out = v;
  return true;
}

// A sign followed by digits; magnitude bounded separately for each sign.
bool parse_signed(const std::string& s, std::uint64_t neg_limit, std::uint64_t pos_limit,
                  std::int64_t* out) {
  std::uint64_t mag;
  if (!s.empty() && s[0] == '-') {
    if (!parse_digits(s, 1, neg_limit, &mag)) return false;
    *out = -static_cast<std::int64_t>(mag);
    return true;
  }
  std::size_t from = (!s.empty() && s[0] == '+') ? 1 : 0;
  if (!parse_digits(s, from, pos_limit, &mag)) return false;
  *out = static_cast<std::int64_t>(mag);
  return true;
}

}  // namespace

int attribute(const char* keyword, const char* text, const std::string& field) {
  std::uint64_t v;
  if (!parse_digits(field, 0, 2147483647u, &v)) malformed(keyword, text);
  return static_cast<int>(v);
}

std::int64_t signed_threshold(const char* keyword, const char* text, const std::string& field) {
  std::int64_t v;
  if (!parse_signed(field, 2147483648u, 2147483647u, &v)) malformed(keyword, text);
  return v;
}

std::uint32_t wrapping_threshold(const char* keyword, const char* text,
                                 const std::string& field) {
  std::int64_t v;
  if (!parse_signed(field, 2147483648u, 4294967295u, &v)) malformed(keyword, text);
  return static_cast<std::uint32_t>(v);  // modulo 2^32
}

std::uint32_t list_entry(const char* keyword, const char* text, const std::string& field) {
  std::uint64_t v;
  if (!parse_digits(field, 0, 4294967295u, &v)) malformed(keyword, text);
  return static_cast<std::uint32_t>(v);
}

AttrThreshold attr_threshold(const char* keyword, const char* text) {
  std::vector<std::string> f = split(keyword, text);
  if (f.size() != 2) malformed(keyword, text);
  return {attribute(keyword, text, f[0]), f[1]};
}

std::string single_field(const char* keyword, const char* text) {
  std::vector<std::string> f = split(keyword, text);
  if (f.size() != 1) malformed(keyword, text);
  return f[0];
}

AttrValueThreshold attr_value_threshold(const char* keyword, const char* text) {
  std::vector<std::string> f = split(keyword, text);
  if (f.size() != 3) malformed(keyword, text);
  return {attribute(keyword, text, f[0]), wrapping_threshold(keyword, text, f[1]),
          wrapping_threshold(keyword, text, f[2])};
}

std::vector<std::uint32_t> item_list(const char* keyword, const char* text) {
  std::vector<std::uint32_t> items;
  for (const std::string& f : split(keyword, text)) items.push_back(list_entry(keyword, text, f));
  return items;
}

AttrValues attr_values(const char* keyword, const char* text) {
  std::vector<std::string> f = split(keyword, text);
  if (f.empty()) malformed(keyword, text);
  AttrValues r{attribute(keyword, text, f[0]), {}};
  for (std::size_t i = 1; i < f.size(); ++i) r.values.push_back(list_entry(keyword, text, f[i]));
  return r;
}

}  // namespace constraint_params
