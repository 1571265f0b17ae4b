#include "tests/reference_miner.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace reference {
namespace {

using i128 = __int128;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The multiset V of one attribute over the items, with its exact moments.
struct Values {
  std::vector<std::uint32_t> v;
  i128 sum = 0;
  i128 sum_sq = 0;
  explicit Values(std::vector<std::uint32_t> values) : v(std::move(values)) {
    for (std::uint32_t x : v) {
      sum += x;
      sum_sq += static_cast<i128>(x) * x;
    }
    std::sort(v.begin(), v.end());
  }
  i128 n() const { return static_cast<i128>(v.size()); }
  // n * sum(x^2) - sum^2 = n^2 * population variance.
  i128 scaled_variance() const { return n() * sum_sq - sum * sum; }
  // Two times the median (mean of the two middle values for an even count).
  i128 twice_median() const {
    const std::size_t m = v.size();
    if (m % 2 == 1) return 2 * static_cast<i128>(v[m / 2]);
    return static_cast<i128>(v[m / 2 - 1]) + v[m / 2];
  }
  // sum |n*x - S| = n^2 * mean absolute deviation.
  i128 scaled_mean_deviation() const {
    i128 total = 0;
    for (std::uint32_t x : v) {
      i128 d = n() * x - sum;
      total += d < 0 ? -d : d;
    }
    return total;
  }
};

}  // namespace

std::string parse_number_lines(const std::string& text, bool as_sets,
                               std::vector<std::vector<std::uint32_t>>* rows) {
  rows->clear();
  std::size_t pos = 0;
  std::size_t line_no = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    ++line_no;
    std::vector<std::uint32_t> row;
    for (std::size_t i = pos; i < end;) {
      const char c = text[i];
      if (c == '-' && i + 1 < end && is_digit(text[i + 1]))
        return "line " + std::to_string(line_no) + ": minus sign";
      if (c == '.' && i > pos && is_digit(text[i - 1]) && i + 1 < end && is_digit(text[i + 1]))
        return "line " + std::to_string(line_no) + ": decimal point";
      if (!is_digit(c)) {
        ++i;
        continue;
      }
      std::uint64_t value = 0;
      while (i < end && is_digit(text[i])) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
          return "line " + std::to_string(line_no) + ": id too large";
        ++i;
      }
      row.push_back(static_cast<std::uint32_t>(value));
    }
    if (as_sets) {
      std::sort(row.begin(), row.end());
      row.erase(std::unique(row.begin(), row.end()), row.end());
    }
    rows->push_back(std::move(row));
    pos = end + 1;  // a text ending in '\n' has no further (empty) line
  }
  return "";
}

std::string read_text_file(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return path + " could not be opened";
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return "";
}

std::string RefConstraint::parameter_text() const {
  std::string s = "[";
  auto join = [&](const std::vector<std::uint32_t>& xs) {
    for (std::size_t i = 0; i < xs.size(); ++i) {
      if (i > 0) s += ",";
      s += std::to_string(xs[i]);
    }
  };
  switch (layout_of(keyword)) {
    case Layout::kThreshold:
      s += std::to_string(threshold);
      break;
    case Layout::kAttrThreshold:
      s += std::to_string(attr) + "," + std::to_string(threshold);
      break;
    case Layout::kAttrValueThreshold:
      s += std::to_string(attr) + "," + std::to_string(value) + "," + std::to_string(threshold);
      break;
    case Layout::kItems:
      join(list);
      break;
    case Layout::kAttrValues:
      s += std::to_string(attr) + ",";
      join(list);
      break;
  }
  return s + "]";
}

const std::vector<std::string>& all_keywords() {
  static const std::vector<std::string> keywords = {
      "subseteq", "supseteq", "asubseteq", "asupseteq", "mingeq",    "maxleq",    "lengeq",
      "lenleq",   "sumgeq",   "sumleq",    "rangeleq",  "varleq",    "vargeq",    "stdleq",
      "stdgeq",   "spvleq",   "spvgeq",    "mdleq",     "mdgeq",     "avgleq",    "avggeq",
      "medgeq",   "medleq",   "rangegeq",  "minleq",    "maxgeq",    "avggeq2",   "avgleq2",
      "minleq2",  "maxgeq2",  "medgeq2",   "medleq2",   "rangeleq2", "acountgeq", "acountleq"};
  return keywords;
}

Layout layout_of(const std::string& keyword) {
  if (keyword == "lengeq" || keyword == "lenleq") return Layout::kThreshold;
  if (keyword == "acountgeq" || keyword == "acountleq") return Layout::kAttrValueThreshold;
  if (keyword == "subseteq" || keyword == "supseteq") return Layout::kItems;
  if (keyword == "asubseteq" || keyword == "asupseteq") return Layout::kAttrValues;
  return Layout::kAttrThreshold;
}

bool is_lower_bound(const std::string& keyword) {
  return keyword.find("geq") != std::string::npos;
}

bool unsigned_threshold(const std::string& keyword) {
  static const char* const kUnsigned[] = {"acountgeq", "acountleq", "minleq", "minleq2",
                                          "maxgeq",    "maxgeq2",   "mingeq", "maxleq",
                                          "rangeleq",  "rangeleq2", "rangegeq", "lengeq"};
  for (const char* k : kUnsigned)
    if (keyword == k) return true;
  return false;
}

bool constraint_holds(const RefConstraint& c, const std::vector<std::uint32_t>& items,
                      std::size_t k, const AttributeRows& attrs) {
  const std::string& w = c.keyword;
  const i128 len = static_cast<i128>(items.size());
  if (w == "supseteq") return true;  // P is part of every written itemset by construction
  if (w == "lengeq") return len >= static_cast<i128>(static_cast<std::uint32_t>(c.threshold));
  if (w == "lenleq") return len <= c.threshold;
  if (w == "subseteq") {
    for (std::uint32_t i : items)
      if (std::find(c.list.begin(), c.list.end(), i) == c.list.end()) return false;
    return true;
  }

  std::vector<std::uint32_t> raw;
  raw.reserve(items.size());
  for (std::uint32_t i : items) raw.push_back(attrs[static_cast<std::size_t>(c.attr)][i]);
  const Values V(raw);
  const i128 n = V.n();
  const i128 t = c.threshold;                                       // signed reading
  const i128 ut = static_cast<std::uint32_t>(c.threshold);          // unsigned reading
  const i128 lo = n > 0 ? static_cast<i128>(V.v.front()) : 0;
  const i128 hi = n > 0 ? static_cast<i128>(V.v.back()) : 0;

  if (w == "sumleq") return V.sum <= t;
  if (w == "sumgeq") return V.sum >= t;
  if (w == "rangeleq" || w == "rangeleq2") return n <= 1 || hi - lo <= ut;
  if (w == "rangegeq") return n >= 1 && hi - lo >= ut;
  if (w == "acountleq" || w == "acountgeq") {
    const std::uint32_t val = static_cast<std::uint32_t>(c.value);
    const i128 count = std::count(V.v.begin(), V.v.end(), val);
    return w == "acountleq" ? count <= ut : count >= ut;
  }
  if (w == "minleq" || w == "minleq2") return n == 0 || lo <= ut;
  if (w == "maxgeq") return n >= 1 && hi >= ut;
  if (w == "maxgeq2") return (n == 0 && ut == 0) || (n >= 1 && hi >= ut);
  if (w == "mingeq") return n == 0 || lo >= ut;
  if (w == "maxleq") return n == 0 || hi <= ut;
  if (w == "asubseteq") {
    for (std::uint32_t x : V.v)
      if (std::find(c.list.begin(), c.list.end(), x) == c.list.end()) return false;
    return true;
  }
  if (w == "asupseteq") {
    for (std::uint32_t x : c.list)
      if (!std::binary_search(V.v.begin(), V.v.end(), x)) return false;
    return true;
  }
  if (w == "avggeq" || w == "avggeq2") return n >= 1 && V.sum >= t * n;
  if (w == "avgleq") return n >= 1 && V.sum <= t * n;
  if (w == "avgleq2") return n == 0 || V.sum <= t * n;
  if (w == "medgeq" || w == "medgeq2") return n >= 1 && V.twice_median() >= 2 * t;
  if (w == "medleq" || w == "medleq2") return n >= 1 && V.twice_median() <= 2 * t;
  if (w == "vargeq") return n >= 1 && V.scaled_variance() >= t * n * n;
  if (w == "varleq") return n >= 1 && V.scaled_variance() <= t * n * n;
  if (w == "stdgeq") return n >= 1 && (t <= 0 || V.scaled_variance() >= t * t * n * n);
  if (w == "stdleq") return n >= 1 && t >= 0 && V.scaled_variance() <= t * t * n * n;
  if (w == "spvgeq") return n >= 2 && V.scaled_variance() >= t * n * (n - 1);
  if (w == "spvleq") return n >= 2 && V.scaled_variance() <= t * n * (n - 1);
  if (w == "mdgeq") return k >= 1 && V.scaled_mean_deviation() >= t * n * n;
  if (w == "mdleq") return k >= 1 && V.scaled_mean_deviation() <= t * n * n;
  return false;  // unknown keyword: never used by the tests
}

namespace {

// Depth-first enumeration over item ranks; each node carries the tids of the
// transactions that contain P u X.
struct Walker {
  const std::vector<std::vector<std::uint32_t>>* rank_tx;  // per tid, ranks ascending
  const std::vector<std::uint32_t>* rank_id;               // rank -> input id
  const AttributeRows* attrs;
  const Query* query;
  std::vector<std::uint32_t> prefix;
  std::uint32_t min_count = 1;
  std::int64_t max_len = 0;  // the largest |P u X| worth extending to
  std::vector<std::vector<std::uint32_t>> scratch;  // per rank: tids of the child
  std::vector<std::uint32_t> touched;
  std::vector<std::uint32_t> x;  // current X, ranks ascending
  std::vector<std::string>* out;

  void emit(std::size_t support) {
    std::vector<std::uint32_t> items = prefix;
    for (std::uint32_t r : x) items.push_back((*rank_id)[r]);
    for (const RefConstraint& c : query->constraints)
      if (!constraint_holds(c, items, x.size(), *attrs)) return;
    std::string line;
    for (std::uint32_t id : items) line += std::to_string(id) + " ";
    line += "(" + std::to_string(support) + ")";
    out->push_back(std::move(line));
  }

  void walk(const std::vector<std::uint32_t>& tids) {
    emit(tids.size());
    if (static_cast<std::int64_t>(prefix.size() + x.size()) >= max_len) return;
    const bool root = x.empty();
    const std::uint32_t last = root ? 0 : x.back();
    for (std::uint32_t tid : tids) {
      const std::vector<std::uint32_t>& t = (*rank_tx)[tid];
      auto it = root ? t.begin() : std::upper_bound(t.begin(), t.end(), last);
      for (; it != t.end(); ++it) {
        if (scratch[*it].empty()) touched.push_back(*it);
        scratch[*it].push_back(tid);
      }
    }
    std::sort(touched.begin(), touched.end());
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> children;
    for (std::uint32_t r : touched) {
      if (scratch[r].size() >= min_count) children.emplace_back(r, std::move(scratch[r]));
      scratch[r].clear();
    }
    touched.clear();
    for (auto& child : children) {
      x.push_back(child.first);
      walk(child.second);
      x.pop_back();
      std::vector<std::uint32_t>().swap(child.second);
    }
  }
};

}  // namespace

MineResult mine(const Transactions& transactions, const AttributeRows& attrs,
                bool attrs_present, const Query& query) {
  MineResult result;
  std::uint32_t largest_id = 0;
  bool any_item = false;
  for (const auto& t : transactions)
    for (std::uint32_t id : t) {
      largest_id = std::max(largest_id, id);
      any_item = true;
    }
  std::int64_t max_len = std::numeric_limits<std::int64_t>::max();
  for (const RefConstraint& c : query.constraints) {
    if (c.keyword == "supseteq")
      for (std::uint32_t id : c.list)
        if (std::find(result.prefix.begin(), result.prefix.end(), id) == result.prefix.end())
          result.prefix.push_back(id);
    if (c.keyword == "lenleq") max_len = std::min<std::int64_t>(max_len, c.threshold);
    if (c.attr < 0) continue;
    const std::size_t row = static_cast<std::size_t>(c.attr);
    if (!attrs_present) return {"no attribute file", {}, result.prefix};
    if (row >= attrs.size()) return {"no attribute line " + std::to_string(row), {}, result.prefix};
    if (any_item && attrs[row].size() < static_cast<std::size_t>(largest_id) + 1)
      return {"attribute line " + std::to_string(row) + " too short", {}, result.prefix};
  }
  if (max_len < 0) return result;  // a negative "lenleq": nothing may be written

  // Transactions that contain all of P; an id absent from the data is no item.
  std::vector<std::uint32_t> tids;
  for (std::uint32_t tid = 0; tid < transactions.size(); ++tid) {
    const auto& t = transactions[tid];
    bool all = true;
    for (std::uint32_t p : result.prefix)
      if (!std::binary_search(t.begin(), t.end(), p)) all = false;
    if (all) tids.push_back(tid);
  }
  const std::uint32_t min_count = std::max<std::uint32_t>(query.sigma, 1);
  if (tids.size() < min_count) return result;

  std::vector<std::uint32_t> rank_id;
  for (std::uint32_t tid : tids)
    for (std::uint32_t id : transactions[tid])
      if (std::find(result.prefix.begin(), result.prefix.end(), id) == result.prefix.end())
        rank_id.push_back(id);
  std::sort(rank_id.begin(), rank_id.end());
  rank_id.erase(std::unique(rank_id.begin(), rank_id.end()), rank_id.end());
  std::vector<std::vector<std::uint32_t>> rank_tx(transactions.size());
  for (std::uint32_t tid : tids)
    for (std::uint32_t id : transactions[tid]) {
      auto it = std::lower_bound(rank_id.begin(), rank_id.end(), id);
      if (it != rank_id.end() && *it == id)
        rank_tx[tid].push_back(static_cast<std::uint32_t>(it - rank_id.begin()));
    }

  Walker w;
  w.rank_tx = &rank_tx;
  w.rank_id = &rank_id;
  w.attrs = &attrs;
  w.query = &query;
  w.prefix = result.prefix;
  w.min_count = min_count;
  w.max_len = max_len;
  w.scratch.resize(rank_id.size());
  w.out = &result.lines;
  w.walk(tids);
  std::sort(result.lines.begin(), result.lines.end());
  return result;
}

std::vector<std::string> normalise_output(const std::string& text, std::size_t prefix_len) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    const bool terminated = end != std::string::npos;
    if (!terminated) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;

    // Strict shape: ("<digits> ")* "(" <digits> ")".
    std::vector<std::uint32_t> ids;
    std::size_t i = 0;
    bool ok = terminated;
    while (ok && i < line.size() && is_digit(line[i])) {
      std::uint64_t v = 0;
      while (i < line.size() && is_digit(line[i]) && v <= 0xFFFFFFFFull)
        v = v * 10 + static_cast<std::uint64_t>(line[i++] - '0');
      if (v > 0xFFFFFFFFull || i >= line.size() || line[i] != ' ') ok = false;
      ++i;
      ids.push_back(static_cast<std::uint32_t>(v));
    }
    std::string support;
    if (ok && i < line.size() && line[i] == '(' && line.back() == ')' && line.size() - i > 2) {
      support = line.substr(i + 1, line.size() - i - 2);
      for (char c : support)
        if (!is_digit(c)) ok = false;
    } else {
      ok = false;
    }
    if (!ok || ids.size() < prefix_len) {
      lines.push_back("MALFORMED " + line);
      continue;
    }
    std::sort(ids.begin() + static_cast<std::ptrdiff_t>(prefix_len), ids.end());
    std::string norm;
    for (std::uint32_t id : ids) norm += std::to_string(id) + " ";
    lines.push_back(norm + "(" + support + ")");
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace reference
