// itemset_filter: keeps the lines of a KESTREL output file whose itemsets satisfy
// a few constraints, judged afterwards from the attribute file. bench/run.sh uses
// it to compare mining under constraints with mining everything and filtering.
//
// Usage: itemset_filter <itemsets> <attributes> <filtered-out> <keyword> <param> ...
//
// Lines are "<id> <id> ... (<support>)" and are copied byte for byte. Only the
// keywords the benchmark needs exist, each as README's output section defines it,
// in exact integer arithmetic over V, the attribute values of the line's items:
//   sumleq / sumgeq [a,t]   sum(V) <= t / >= t (t signed 32-bit; empty sum is 0)
//   maxleq [a,t]            every value <= t
//   minleq [a,t]            V empty, or min(V) <= t
//   avggeq2 [a,t]           V not empty and sum(V) >= t * |V| (t signed 32-bit)
//   lengeq [t]              at least t items
// Thresholds of maxleq, minleq and lengeq are unsigned 32-bit; a negative one
// wraps, as in kestrel. The output must hold no "supseteq" prefix (the prefix
// items count toward V like the others, so nothing here depends on it, but md
// and friends would).
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/tool_main.h"

namespace {

struct filter_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class kind { sumleq, sumgeq, maxleq, minleq, avggeq2, lengeq };

struct constraint {
  kind k;
  std::size_t attr = 0;       // attribute row; unused by lengeq
  std::int64_t threshold = 0;  // signed for sum/avg, 0 .. 2^32-1 for the others
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A whole decimal number with an optional minus sign, -2^31 .. 2^32-1.
std::int64_t parse_number(const std::string& text, const std::string& keyword) {
  const bool negative = !text.empty() && text[0] == '-';
  if (text.size() == std::size_t{negative} ||
      text.find_first_not_of("0123456789", negative ? 1 : 0) != std::string::npos)
    throw filter_error(keyword + ": \"" + text + "\" is not a whole number");
  const std::size_t first = text.find_first_not_of('0', negative ? 1 : 0);
  std::int64_t v = 0;
  if (first != std::string::npos) {
    if (text.size() - first > 10) throw filter_error(keyword + ": \"" + text + "\" does not fit 32 bits");
    for (std::size_t i = first; i < text.size(); ++i) v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < -2147483648LL || v > 4294967295LL)
    throw filter_error(keyword + ": \"" + text + "\" does not fit 32 bits");
  return v;
}

// "[f0,f1,...]" with exactly n fields.
std::vector<std::int64_t> parse_fields(const std::string& param, std::size_t n,
                                       const std::string& keyword) {
  const std::string bad = keyword + ": malformed parameters \"" + param + "\"";
  if (param.size() < 2 || param.front() != '[' || param.back() != ']') throw filter_error(bad);
  std::vector<std::int64_t> fields;
  std::size_t start = 1;
  for (;;) {
    const std::size_t comma = param.find(',', start);
    const std::size_t end = comma == std::string::npos ? param.size() - 1 : comma;
    if (end == start) throw filter_error(bad);
    fields.push_back(parse_number(param.substr(start, end - start), keyword));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() != n) throw filter_error(bad);
  return fields;
}

constraint make_constraint(const std::string& keyword, const std::string& param) {
  static const struct {
    const char* name;
    kind k;
    bool signed_threshold;
  } table[] = {{"sumleq", kind::sumleq, true},   {"sumgeq", kind::sumgeq, true},
               {"maxleq", kind::maxleq, false},  {"minleq", kind::minleq, false},
               {"avggeq2", kind::avggeq2, true}, {"lengeq", kind::lengeq, false}};
  for (const auto& row : table) {
    if (keyword != row.name) continue;
    constraint c{row.k};
    const std::vector<std::int64_t> f = parse_fields(param, row.k == kind::lengeq ? 1 : 2, keyword);
    std::int64_t t = f.back();
    if (row.k != kind::lengeq) {
      if (f[0] < 0) throw filter_error(keyword + ": malformed parameters \"" + param + "\"");
      c.attr = static_cast<std::size_t>(f[0]);
    }
    if (row.signed_threshold && t > 2147483647LL)
      throw filter_error(keyword + ": \"" + std::to_string(t) + "\" does not fit 32 bits");
    if (!row.signed_threshold && t < 0) t += 4294967296LL;  // wraps like kestrel's
    c.threshold = t;
    return c;
  }
  throw filter_error(keyword + ": not a keyword this filter knows");
}

// Line r of the attribute file for every r some constraint needs (others stay empty).
std::vector<std::vector<std::uint32_t>> read_attributes(const std::string& name,
                                                        const std::vector<constraint>& cs) {
  std::size_t rows = 0;
  for (const constraint& c : cs)
    if (c.k != kind::lengeq && c.attr + 1 > rows) rows = c.attr + 1;
  std::vector<std::vector<std::uint32_t>> values(rows);
  if (rows == 0) return values;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) throw filter_error(name + " could not be opened!");
  std::size_t row = 0;
  std::uint64_t v = 0;
  bool in_number = false;
  for (int ch; row < rows && (ch = std::getc(f)) != EOF;) {
    if (is_digit(static_cast<char>(ch))) {
      v = v * 10 + static_cast<unsigned>(ch - '0');
      if (v > 4294967295ULL) {
        std::fclose(f);
        throw filter_error(name + ": a value does not fit 32 bits in line " + std::to_string(row));
      }
      in_number = true;
      continue;
    }
    if (ch == '-' || ch == '.') {
      std::fclose(f);
      throw filter_error(name + ": only whole non-negative values are read (line " +
                         std::to_string(row) + ")");
    }
    if (in_number) values[row].push_back(static_cast<std::uint32_t>(v));
    v = 0;
    in_number = false;
    if (ch == '\n') ++row;
  }
  if (in_number && row < rows) values[row].push_back(static_cast<std::uint32_t>(v));
  const bool read_failed = std::ferror(f) != 0;
  std::fclose(f);
  if (read_failed) throw filter_error(name + " could not be read!");
  for (const constraint& c : cs)
    if (c.k != kind::lengeq && values[c.attr].empty())
      throw filter_error(name + ": attribute line " + std::to_string(c.attr) + " is missing");
  return values;
}

class filter {
 public:
  filter(std::vector<constraint> cs, std::vector<std::vector<std::uint32_t>> attributes,
         std::string attribute_file)
      : cs_(std::move(cs)), attributes_(std::move(attributes)), attribute_file_(attribute_file) {}

  // ids: the line's items.
  bool keeps(const std::vector<std::uint32_t>& ids) const {
    for (const constraint& c : cs_) {
      if (c.k == kind::lengeq) {
        if (static_cast<std::int64_t>(ids.size()) < c.threshold) return false;
        continue;
      }
      const std::vector<std::uint32_t>& row = attributes_[c.attr];
      // |V| < 2^32 and each value < 2^32: the sum fits 64 bits, t * |V| fits 128.
      std::uint64_t sum = 0;
      std::uint32_t min = UINT32_MAX, max = 0;
      for (std::uint32_t id : ids) {
        if (id >= row.size())
          throw filter_error(attribute_file_ + ": attribute line " + std::to_string(c.attr) +
                             " has " + std::to_string(row.size()) + " values, item " +
                             std::to_string(id) + " needs one");
        const std::uint32_t value = row[id];
        sum += value;
        if (value < min) min = value;
        if (value > max) max = value;
      }
      const __int128 s = sum, t = c.threshold, n = ids.size();
      bool holds = false;
      switch (c.k) {
        case kind::sumleq: holds = s <= t; break;
        case kind::sumgeq: holds = s >= t; break;
        case kind::maxleq: holds = ids.empty() || max <= c.threshold; break;
        case kind::minleq: holds = ids.empty() || min <= c.threshold; break;
        case kind::avggeq2: holds = n >= 1 && s >= t * n; break;
        case kind::lengeq: break;
      }
      if (!holds) return false;
    }
    return true;
  }

 private:
  std::vector<constraint> cs_;
  std::vector<std::vector<std::uint32_t>> attributes_;
  std::string attribute_file_;
};

// Streams the itemset file through the filter in large blocks.
void filter_file(std::FILE* in, const std::string& in_name, std::FILE* out,
                 const std::string& out_name, const filter& keep) {
  const std::size_t block = 1 << 22;
  std::vector<char> buf(block);
  std::string kept;
  kept.reserve(block + 1024);
  std::string line;
  std::vector<std::uint32_t> ids;
  std::size_t line_no = 0;
  auto judge = [&](const std::string& l) {
    ++line_no;
    ids.clear();
    std::uint64_t v = 0;
    bool in_number = false, closed = false;
    for (char c : l) {
      if (c == '(') {
        closed = true;
        break;
      }
      if (is_digit(c)) {
        v = v * 10 + static_cast<unsigned>(c - '0');
        in_number = true;
      } else if (in_number) {
        ids.push_back(static_cast<std::uint32_t>(v));
        v = 0;
        in_number = false;
      }
    }
    if (!closed || in_number)
      throw filter_error(in_name + ":" + std::to_string(line_no) + ": not an itemset line");
    if (keep.keeps(ids)) kept += l;
  };
  bool failed = false;
  for (;;) {
    const std::size_t got = std::fread(buf.data(), 1, block, in);
    std::size_t start = 0;
    for (std::size_t i = 0; i < got; ++i) {
      if (buf[i] != '\n') continue;
      line.append(buf.data() + start, i + 1 - start);
      judge(line);
      line.clear();
      start = i + 1;
    }
    line.append(buf.data() + start, got - start);
    if (kept.size() >= block) {
      failed |= std::fwrite(kept.data(), 1, kept.size(), out) != kept.size();
      kept.clear();
    }
    if (got < block) break;
  }
  if (!line.empty()) judge(line);  // a last line without a newline
  if (std::ferror(in) != 0) throw filter_error(in_name + " could not be read!");
  failed |= std::fwrite(kept.data(), 1, kept.size(), out) != kept.size();
  failed |= std::fflush(out) != 0;
  if (failed) throw filter_error(out_name + " could not be written!");
}

// A failed run leaves no output file that looks complete.
void run(const std::string& in_name, const std::string& out_name, const filter& keep) {
  std::FILE* in = std::fopen(in_name.c_str(), "rb");
  if (in == nullptr) throw filter_error(in_name + " could not be opened!");
  std::FILE* out = std::fopen(out_name.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    throw filter_error(out_name + " could not be opened for writing!");
  }
  try {
    filter_file(in, in_name, out, out_name, keep);
  } catch (...) {
    std::fclose(in);
    std::fclose(out);
    std::remove(out_name.c_str());
    throw;
  }
  std::fclose(in);
  if (std::fclose(out) != 0) {
    std::remove(out_name.c_str());
    throw filter_error(out_name + " could not be written!");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 4) % 2 != 0) {
    std::fputs(
        "Usage: itemset_filter <itemsets> <attributes> <filtered-out> [<keyword> <param>]...\n"
        "keywords: sumleq sumgeq maxleq minleq avggeq2 [<attr>,<threshold>], lengeq [<threshold>]\n",
        stderr);
    return 1;
  }
  return exit_status_of<filter_error>([&] {
    std::vector<constraint> cs;
    for (int i = 4; i + 1 < argc; i += 2) cs.push_back(make_constraint(argv[i], argv[i + 1]));
    filter keep(cs, read_attributes(argv[2], cs), argv[2]);
    run(argv[1], argv[3], keep);
    return 0;
  });
}
