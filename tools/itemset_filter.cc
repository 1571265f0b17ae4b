// itemset_filter: keeps the lines of a KESTREL output file whose itemsets satisfy
// the given constraints, judged afterwards from the attribute file. It is the
// independent check that mining under constraints writes exactly the itemsets
// that mining everything and filtering keeps (bench/run.sh, bench/constrained.sh).
//
// Usage: itemset_filter <itemsets> <attributes> <filtered-out> [<keyword> <param>]...
//
// Lines are "<id> <id> ... (<support>)" and are copied byte for byte. Every one of
// kestrel's 35 constraint keywords is known, with kestrel's parameter syntax, and
// judged on the whole itemset of the line (the "supseteq" items P included, as
// they are in any line) in exact integer arithmetic: V is the multiset of
// attribute values of the line's items, n = |V|, k = the items not in P (P: the
// items listed by the "supseteq" constraints given here).
//   sumleq / sumgeq         sum(V) <= t / >= t (sum of nothing: 0)
//   rangeleq, rangeleq2     n <= 1, or max - min <= t;  rangegeq: n >= 1, max - min >= t
//   acountleq / acountgeq   #values equal to val <= t / >= t
//   minleq, minleq2         n = 0, or min <= t;  maxgeq: n >= 1 and max >= t
//   maxgeq2                 n = 0 and t = 0, or n >= 1 and max >= t
//   mingeq / maxleq         every value >= t / <= t
//   subseteq / supseteq     every item listed / every listed item present
//   asubseteq / asupseteq   every value listed / every listed value present
//   avggeq, avggeq2, avgleq n >= 1 and mean >= t (<= t);  avgleq2: n = 0, or mean <= t
//   medgeq(2) / medleq(2)   n >= 1 and median >= t / <= t (even n: mean of the middle two)
//   vargeq / varleq         n >= 1 and population variance >= t / <= t
//   stdgeq / stdleq         n >= 1 and its square root >= t / <= t
//   spvgeq / spvleq         n >= 2 and sample variance (divisor n - 1) >= t / <= t
//   mdgeq / mdleq           k >= 1 and mean absolute deviation >= t / <= t
//   lengeq / lenleq         at least / at most t items
// Thresholds of sum, avg, med, var, std, spv, md and lenleq are signed 32-bit;
// those of acount (and its counted value), min, max, range and lengeq are
// unsigned 32-bit, a negative one wrapping as in kestrel.
#include <algorithm>
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

using i128 = __int128;

// One test per keyword.
// clang-format off
enum class test {
  subseteq, supseteq, asubseteq, asupseteq, mingeq, maxleq, lengeq, lenleq, sumgeq, sumleq,
  rangeleq, varleq, vargeq, stdleq, stdgeq, spvleq, spvgeq, mdleq, mdgeq, avgleq, avggeq,
  medgeq, medleq, rangegeq, minleq, maxgeq, avggeq2, avgleq2, minleq2, maxgeq2, medgeq2,
  medleq2, rangeleq2, acountgeq, acountleq
};
// clang-format on

// Parameter layouts: "[t]", "[a,t]", "[a,val,t]", "[i0,i1,...]", "[a,v0,v1,...]".
enum class layout { threshold, attr_threshold, attr_value_threshold, items, attr_values };

struct keyword_row {
  const char* name;
  test t;
  layout lay;
  bool wraps;  // unsigned 32-bit threshold: a negative one wraps
};

// clang-format off
const keyword_row KEYWORDS[] = {
  {"subseteq", test::subseteq, layout::items, false},
  {"supseteq", test::supseteq, layout::items, false},
  {"asubseteq", test::asubseteq, layout::attr_values, false},
  {"asupseteq", test::asupseteq, layout::attr_values, false},
  {"mingeq", test::mingeq, layout::attr_threshold, true},
  {"maxleq", test::maxleq, layout::attr_threshold, true},
  {"lengeq", test::lengeq, layout::threshold, true},
  {"lenleq", test::lenleq, layout::threshold, false},
  {"sumgeq", test::sumgeq, layout::attr_threshold, false},
  {"sumleq", test::sumleq, layout::attr_threshold, false},
  {"rangeleq", test::rangeleq, layout::attr_threshold, true},
  {"varleq", test::varleq, layout::attr_threshold, false},
  {"vargeq", test::vargeq, layout::attr_threshold, false},
  {"stdleq", test::stdleq, layout::attr_threshold, false},
  {"stdgeq", test::stdgeq, layout::attr_threshold, false},
  {"spvleq", test::spvleq, layout::attr_threshold, false},
  {"spvgeq", test::spvgeq, layout::attr_threshold, false},
  {"mdleq", test::mdleq, layout::attr_threshold, false},
  {"mdgeq", test::mdgeq, layout::attr_threshold, false},
  {"avgleq", test::avgleq, layout::attr_threshold, false},
  {"avggeq", test::avggeq, layout::attr_threshold, false},
  {"medgeq", test::medgeq, layout::attr_threshold, false},
  {"medleq", test::medleq, layout::attr_threshold, false},
  {"rangegeq", test::rangegeq, layout::attr_threshold, true},
  {"minleq", test::minleq, layout::attr_threshold, true},
  {"maxgeq", test::maxgeq, layout::attr_threshold, true},
  {"avggeq2", test::avggeq2, layout::attr_threshold, false},
  {"avgleq2", test::avgleq2, layout::attr_threshold, false},
  {"minleq2", test::minleq2, layout::attr_threshold, true},
  {"maxgeq2", test::maxgeq2, layout::attr_threshold, true},
  {"medgeq2", test::medgeq2, layout::attr_threshold, false},
  {"medleq2", test::medleq2, layout::attr_threshold, false},
  {"rangeleq2", test::rangeleq2, layout::attr_threshold, true},
  {"acountgeq", test::acountgeq, layout::attr_value_threshold, true},
  {"acountleq", test::acountleq, layout::attr_value_threshold, true},
};
// clang-format on

struct constraint {
  test t;
  bool has_attr = false;
  std::size_t attr = 0;             // attribute row
  std::int64_t threshold = 0;       // signed, or 0 .. 2^32-1 when the keyword wraps
  std::uint32_t value = 0;          // acount: the counted value
  std::vector<std::uint32_t> list;  // listed items or values, sorted
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A whole decimal number in lo .. hi; a sign only where lo < 0.
std::int64_t parse_number(const std::string& text, const std::string& keyword, std::int64_t lo,
                          std::int64_t hi) {
  const bool sign = !text.empty() && (text[0] == '-' || text[0] == '+') && lo < 0;
  const bool negative = sign && text[0] == '-';
  if (text.size() == std::size_t{sign} ||
      text.find_first_not_of("0123456789", sign ? 1 : 0) != std::string::npos)
    throw filter_error(keyword + ": \"" + text + "\" is not a whole number");
  const std::size_t first = text.find_first_not_of('0', sign ? 1 : 0);
  std::int64_t v = 0;
  if (first != std::string::npos) {
    if (text.size() - first > 10)
      throw filter_error(keyword + ": \"" + text + "\" does not fit 32 bits");
    for (std::size_t i = first; i < text.size(); ++i) v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < lo || v > hi) throw filter_error(keyword + ": \"" + text + "\" does not fit 32 bits");
  return v;
}

// The fields of "[f0,f1,...]"; "[]" has none.
std::vector<std::string> split_fields(const std::string& param, const std::string& keyword) {
  const std::string bad = keyword + ": malformed parameters \"" + param + "\"";
  if (param.size() < 2 || param.front() != '[' || param.back() != ']') throw filter_error(bad);
  std::vector<std::string> fields;
  if (param.size() == 2) return fields;
  std::size_t start = 1;
  for (;;) {
    const std::size_t comma = param.find(',', start);
    const std::size_t end = comma == std::string::npos ? param.size() - 1 : comma;
    if (end == start) throw filter_error(bad);
    fields.push_back(param.substr(start, end - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

const std::int64_t kIntMin = -2147483648LL, kIntMax = 2147483647LL, kUintMax = 4294967295LL;

// A threshold as the keyword reads it: signed, or wrapped modulo 2^32.
std::int64_t threshold_of(const std::string& text, const std::string& keyword, bool wraps) {
  const std::int64_t v = parse_number(text, keyword, kIntMin, wraps ? kUintMax : kIntMax);
  return wraps && v < 0 ? v + kUintMax + 1 : v;
}

constraint make_constraint(const std::string& keyword, const std::string& param) {
  const keyword_row* row = nullptr;
  for (const keyword_row& r : KEYWORDS)
    if (keyword == r.name) row = &r;
  if (row == nullptr) throw filter_error(keyword + ": not a keyword this filter knows");
  const std::vector<std::string> f = split_fields(param, keyword);
  const std::size_t wanted[] = {1, 2, 3, 0, 0};
  const std::size_t need = wanted[static_cast<int>(row->lay)];
  const bool lists = row->lay == layout::items || row->lay == layout::attr_values;
  if ((!lists && f.size() != need) || (row->lay == layout::attr_values && f.empty()))
    throw filter_error(keyword + ": malformed parameters \"" + param + "\"");
  constraint c;
  c.t = row->t;
  std::size_t next = 0;
  if (row->lay != layout::threshold && row->lay != layout::items) {
    c.has_attr = true;
    c.attr = static_cast<std::size_t>(parse_number(f[next++], keyword, 0, kIntMax));
  }
  if (lists) {
    for (; next < f.size(); ++next)
      c.list.push_back(static_cast<std::uint32_t>(parse_number(f[next], keyword, 0, kUintMax)));
    std::sort(c.list.begin(), c.list.end());
    return c;
  }
  if (row->lay == layout::attr_value_threshold)
    c.value = static_cast<std::uint32_t>(threshold_of(f[next++], keyword, true));
  c.threshold = threshold_of(f[next], keyword, row->wraps);
  return c;
}

// The values of one line's items for one attribute row, summarised exactly.
struct summary {
  i128 n = 0, sum = 0, sumsq = 0;
  std::uint32_t min = UINT32_MAX, max = 0;
};

summary summarise(const std::vector<std::uint32_t>& v) {
  summary s;
  s.n = static_cast<i128>(v.size());
  for (std::uint32_t x : v) {
    s.sum += x;
    s.sumsq += static_cast<i128>(x) * x;
    s.min = std::min(s.min, x);
    s.max = std::max(s.max, x);
  }
  return s;
}

// Twice the median of v (not empty); sorts v.
i128 twice_median(std::vector<std::uint32_t>& v) {
  std::sort(v.begin(), v.end());
  const std::size_t c = v.size();
  if (c % 2 == 1) return 2 * static_cast<i128>(v[c / 2]);
  return static_cast<i128>(v[c / 2 - 1]) + v[c / 2];
}

// n² times the population variance: n Σx² - (Σx)².
i128 scaled_variance(const summary& s) { return s.n * s.sumsq - s.sum * s.sum; }

// n² times the mean absolute deviation: Σ |n x - Σx|.
i128 scaled_deviation(const std::vector<std::uint32_t>& v, const summary& s) {
  i128 total = 0;
  for (std::uint32_t x : v) {
    const i128 d = s.n * x - s.sum;
    total += d < 0 ? -d : d;
  }
  return total;
}

bool listed(const std::vector<std::uint32_t>& sorted, std::uint32_t x) {
  return std::binary_search(sorted.begin(), sorted.end(), x);
}

// Every element of a (sorted list) occurs in b.
bool all_occur(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  for (std::uint32_t x : a)
    if (std::find(b.begin(), b.end(), x) == b.end()) return false;
  return true;
}

// Keywords whose answer depends on the items alone.
bool holds_on_items(const constraint& c, const std::vector<std::uint32_t>& ids) {
  const i128 len = static_cast<i128>(ids.size());
  switch (c.t) {
    case test::subseteq:
      for (std::uint32_t id : ids)
        if (!listed(c.list, id)) return false;
      return true;
    case test::supseteq:
      return all_occur(c.list, ids);
    case test::lengeq:
      return len >= c.threshold;
    case test::lenleq:
      return len <= c.threshold;
    default:
      return true;
  }
}

// Keywords on the extremes, the sum, the count and the listed values.
bool holds_on_values(const constraint& c, const std::vector<std::uint32_t>& v, const summary& s) {
  const i128 t = c.threshold, range = static_cast<i128>(s.max) - s.min;
  switch (c.t) {
    case test::asubseteq:
      for (std::uint32_t x : v)
        if (!listed(c.list, x)) return false;
      return true;
    case test::asupseteq:
      return all_occur(c.list, v);
    case test::mingeq:
      return s.n == 0 || s.min >= t;
    case test::maxleq:
      return s.n == 0 || s.max <= t;
    case test::sumgeq:
      return s.sum >= t;
    case test::sumleq:
      return s.sum <= t;
    case test::rangeleq:
    case test::rangeleq2:
      return s.n <= 1 || range <= t;
    case test::rangegeq:
      return s.n >= 1 && range >= t;
    case test::minleq:
    case test::minleq2:
      return s.n == 0 || s.min <= t;
    case test::maxgeq:
      return s.n >= 1 && s.max >= t;
    case test::maxgeq2:
      return (s.n == 0 && t == 0) || (s.n >= 1 && s.max >= t);
    case test::acountgeq:
    case test::acountleq: {
      const i128 count = std::count(v.begin(), v.end(), c.value);
      return c.t == test::acountgeq ? count >= t : count <= t;
    }
    default:
      return true;
  }
}

// Keywords on the mean, the median and the spread; k = items not in P.
bool holds_on_statistics(const constraint& c, std::vector<std::uint32_t>& v, const summary& s,
                         std::size_t k) {
  const i128 t = c.threshold, n = s.n;
  switch (c.t) {
    case test::avggeq:
    case test::avggeq2:
      return n >= 1 && s.sum >= t * n;
    case test::avgleq:
      return n >= 1 && s.sum <= t * n;
    case test::avgleq2:
      return n == 0 || s.sum <= t * n;
    case test::medgeq:
    case test::medgeq2:
      return n >= 1 && twice_median(v) >= 2 * t;
    case test::medleq:
    case test::medleq2:
      return n >= 1 && twice_median(v) <= 2 * t;
    case test::vargeq:
      return n >= 1 && scaled_variance(s) >= t * n * n;
    case test::varleq:
      return n >= 1 && scaled_variance(s) <= t * n * n;
    case test::stdgeq:
      return n >= 1 && (t <= 0 || scaled_variance(s) >= t * t * n * n);
    case test::stdleq:
      return n >= 1 && t >= 0 && scaled_variance(s) <= t * t * n * n;
    case test::spvgeq:
      return n >= 2 && scaled_variance(s) >= t * n * (n - 1);
    case test::spvleq:
      return n >= 2 && scaled_variance(s) <= t * n * (n - 1);
    case test::mdgeq:
      return k >= 1 && scaled_deviation(v, s) >= t * n * n;
    case test::mdleq:
      return k >= 1 && scaled_deviation(v, s) <= t * n * n;
    default:
      return true;
  }
}

// Line r of the attribute file for every r some constraint needs (others stay empty).
std::vector<std::vector<std::uint32_t>> read_attributes(const std::string& name,
                                                        const std::vector<constraint>& cs) {
  std::size_t rows = 0;
  for (const constraint& c : cs)
    if (c.has_attr && c.attr + 1 > rows) rows = c.attr + 1;
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
    if (c.has_attr && values[c.attr].empty())
      throw filter_error(name + ": attribute line " + std::to_string(c.attr) + " is missing");
  return values;
}

class filter {
 public:
  filter(std::vector<constraint> cs, std::vector<std::vector<std::uint32_t>> attributes,
         std::string attribute_file)
      : cs_(std::move(cs)), attributes_(std::move(attributes)), attribute_file_(attribute_file) {
    for (const constraint& c : cs_)
      if (c.t == test::supseteq) prefix_.insert(prefix_.end(), c.list.begin(), c.list.end());
    std::sort(prefix_.begin(), prefix_.end());
    prefix_.erase(std::unique(prefix_.begin(), prefix_.end()), prefix_.end());
  }

  // ids: the line's items.
  bool keeps(const std::vector<std::uint32_t>& ids) {
    std::size_t k = ids.size();
    for (std::uint32_t id : prefix_) k -= std::count(ids.begin(), ids.end(), id) > 0 ? 1 : 0;
    for (const constraint& c : cs_) {
      if (!c.has_attr) {
        if (!holds_on_items(c, ids)) return false;
        continue;
      }
      values_of(c.attr, ids);
      const summary s = summarise(values_);
      if (!holds_on_values(c, values_, s) || !holds_on_statistics(c, values_, s, k)) return false;
    }
    return true;
  }

 private:
  void values_of(std::size_t attr, const std::vector<std::uint32_t>& ids) {
    const std::vector<std::uint32_t>& row = attributes_[attr];
    values_.clear();
    for (std::uint32_t id : ids) {
      if (id >= row.size())
        throw filter_error(attribute_file_ + ": attribute line " + std::to_string(attr) + " has " +
                           std::to_string(row.size()) + " values, item " + std::to_string(id) +
                           " needs one");
      values_.push_back(row[id]);
    }
  }

  std::vector<constraint> cs_;
  std::vector<std::vector<std::uint32_t>> attributes_;
  std::string attribute_file_;
  std::vector<std::uint32_t> prefix_;  // the "supseteq" items, sorted, once each
  std::vector<std::uint32_t> values_;  // scratch: the values of the line being judged
};
// Streams the itemset file through the filter in large blocks.
void filter_file(std::FILE* in, const std::string& in_name, std::FILE* out,
                 const std::string& out_name, filter& keep) {
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
void run(const std::string& in_name, const std::string& out_name, filter& keep) {
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
        "keywords: kestrel's 35 constraint keywords, with its parameters (see kestrel's usage)\n",
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
