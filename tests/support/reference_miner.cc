#include "tests/support/reference_miner.h"

#include <algorithm>
#include <limits>

namespace reference {
namespace {

using i128 = __int128;
using ids = std::vector<std::uint32_t>;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool has(const ids& v, std::uint32_t x) { return std::find(v.begin(), v.end(), x) != v.end(); }

// The values V of one attribute over the items (sorted), with exact moments.
struct Values {
  ids v;
  i128 n, sum = 0, sum_sq = 0;
  explicit Values(ids values) : v(std::move(values)), n(static_cast<i128>(v.size())) {
    for (std::uint32_t x : v) sum += x, sum_sq += static_cast<i128>(x) * x;
    std::sort(v.begin(), v.end());
  }
  i128 scaled_variance() const { return n * sum_sq - sum * sum; }  // n^2 * variance
  i128 twice_median() const {
    const std::size_t m = v.size();
    return m % 2 ? 2 * static_cast<i128>(v[m / 2]) : static_cast<i128>(v[m / 2 - 1]) + v[m / 2];
  }
  i128 scaled_mean_deviation() const {  // sum |n*x - S| = n^2 * mean absolute deviation
    i128 total = 0;
    for (std::uint32_t x : v) total += n * x > sum ? n * x - sum : sum - n * x;
    return total;
  }
};

}  // namespace

std::string parse_number_lines(const std::string& text, bool as_sets,
                               std::vector<std::vector<std::uint32_t>>* rows) {
  rows->clear();
  for (std::size_t pos = 0, line_no = 1; pos < text.size(); ++line_no) {
    std::size_t end = std::min(text.find('\n', pos), text.size());
    const std::string where = "line " + std::to_string(line_no) + ": ";
    ids row;
    for (std::size_t i = pos; i < end;) {
      const char c = text[i];
      if (c == '-' && i + 1 < end && is_digit(text[i + 1])) return where + "minus sign";
      if (c == '.' && i > pos && is_digit(text[i - 1]) && i + 1 < end && is_digit(text[i + 1]))
        return where + "decimal point";
      if (!is_digit(c)) {
        ++i;
        continue;
      }
      std::uint64_t value = 0;
      for (; i < end && is_digit(text[i]); ++i)
        if ((value = value * 10 + static_cast<std::uint64_t>(text[i] - '0')) > 0xFFFFFFFFull)
          return where + "id too large";
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

std::string RefConstraint::parameter_text() const {
  std::string s = "[";
  const Layout l = layout_of(keyword);
  if (l != Layout::kThreshold && l != Layout::kItems) s += std::to_string(attr) + ",";
  if (l == Layout::kAttrValueThreshold) s += std::to_string(value) + ",";
  if (l == Layout::kItems || l == Layout::kAttrValues)
    for (std::size_t i = 0; i < list.size(); ++i) s += (i ? "," : "") + std::to_string(list[i]);
  else
    s += std::to_string(threshold);
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

Layout layout_of(const std::string& w) {
  if (w == "lengeq" || w == "lenleq") return Layout::kThreshold;
  if (w == "acountgeq" || w == "acountleq") return Layout::kAttrValueThreshold;
  if (w == "subseteq" || w == "supseteq") return Layout::kItems;
  if (w == "asubseteq" || w == "asupseteq") return Layout::kAttrValues;
  return Layout::kAttrThreshold;
}

bool is_lower_bound(const std::string& w) { return w.find("geq") != std::string::npos; }

bool unsigned_threshold(const std::string& w) {
  for (const char* k : {"acountgeq", "acountleq", "minleq", "minleq2", "maxgeq", "maxgeq2",
                        "mingeq", "maxleq", "rangeleq", "rangeleq2", "rangegeq", "lengeq"})
    if (w == k) return true;
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
      if (!has(c.list, i)) return false;
    return true;
  }
  ids raw;
  for (std::uint32_t i : items) raw.push_back(attrs[static_cast<std::size_t>(c.attr)][i]);
  const Values V(raw);
  const i128 n = V.n, t = c.threshold;                      // signed reading
  const i128 ut = static_cast<std::uint32_t>(c.threshold);  // unsigned reading
  const i128 lo = n > 0 ? V.v.front() : 0, hi = n > 0 ? V.v.back() : 0;
  const bool geq = is_lower_bound(w);
  auto cmp = [geq](i128 a, i128 b) { return geq ? a >= b : a <= b; };
  auto starts = [&w](const char* stem) { return w.rfind(stem, 0) == 0; };
  if (starts("sum")) return cmp(V.sum, t);
  if (w == "rangeleq" || w == "rangeleq2") return n <= 1 || hi - lo <= ut;
  if (w == "rangegeq") return n >= 1 && hi - lo >= ut;
  if (starts("acount"))
    return cmp(std::count(V.v.begin(), V.v.end(), static_cast<std::uint32_t>(c.value)), ut);
  if (w == "minleq" || w == "minleq2") return n == 0 || lo <= ut;
  if (w == "maxgeq") return n >= 1 && hi >= ut;
  if (w == "maxgeq2") return (n == 0 && ut == 0) || (n >= 1 && hi >= ut);
  if (w == "mingeq") return n == 0 || lo >= ut;
  if (w == "maxleq") return n == 0 || hi <= ut;
  if (w == "asubseteq") {
    for (std::uint32_t x : V.v)
      if (!has(c.list, x)) return false;
    return true;
  }
  if (w == "asupseteq") {
    for (std::uint32_t x : c.list)
      if (!std::binary_search(V.v.begin(), V.v.end(), x)) return false;
    return true;
  }
  if (w == "avgleq2") return n == 0 || V.sum <= t * n;
  if (starts("avg")) return n >= 1 && cmp(V.sum, t * n);
  if (starts("med")) return n >= 1 && cmp(V.twice_median(), 2 * t);
  if (starts("var")) return n >= 1 && cmp(V.scaled_variance(), t * n * n);
  if (w == "stdgeq") return n >= 1 && (t <= 0 || V.scaled_variance() >= t * t * n * n);
  if (w == "stdleq") return n >= 1 && t >= 0 && V.scaled_variance() <= t * t * n * n;
  if (starts("spv")) return n >= 2 && cmp(V.scaled_variance(), t * n * (n - 1));
  if (starts("md")) return k >= 1 && cmp(V.scaled_mean_deviation(), t * n * n);
  return false;  // unknown keyword: never used by the tests
}

MineResult mine(const Transactions& transactions, const AttributeRows& attrs, bool attrs_present,
                const Query& query) {
  MineResult r;
  std::uint32_t largest_id = 0;
  bool any_item = false;
  for (const auto& t : transactions)
    for (std::uint32_t id : t) largest_id = std::max(largest_id, id), any_item = true;
  std::int64_t max_len = std::numeric_limits<std::int64_t>::max();
  for (const RefConstraint& c : query.constraints) {
    if (c.keyword == "supseteq")
      for (std::uint32_t id : c.list)
        if (!has(r.prefix, id)) r.prefix.push_back(id);
    if (c.keyword == "lenleq") max_len = std::min<std::int64_t>(max_len, c.threshold);
    if (c.attr < 0) continue;
    const std::size_t row = static_cast<std::size_t>(c.attr);
    if (!attrs_present) return {"no attribute file", {}, r.prefix};
    if (row >= attrs.size()) return {"no attribute line " + std::to_string(row), {}, r.prefix};
    if (any_item && attrs[row].size() < static_cast<std::size_t>(largest_id) + 1)
      return {"attribute line " + std::to_string(row) + " too short", {}, r.prefix};
  }
  if (max_len < 0) return r;  // a negative "lenleq": nothing may be written

  // Transactions that contain all of P; X ranges over the other ids they hold.
  ids tids, rank_id;
  for (std::uint32_t tid = 0; tid < transactions.size(); ++tid) {
    const auto& t = transactions[tid];
    bool all = true;
    for (std::uint32_t p : r.prefix) all = all && std::binary_search(t.begin(), t.end(), p);
    if (!all) continue;
    tids.push_back(tid);
    for (std::uint32_t id : t)
      if (!has(r.prefix, id)) rank_id.push_back(id);
  }
  const std::uint32_t min_count = std::max<std::uint32_t>(query.sigma, 1);
  if (tids.size() < min_count) return r;
  std::sort(rank_id.begin(), rank_id.end());
  rank_id.erase(std::unique(rank_id.begin(), rank_id.end()), rank_id.end());
  std::vector<ids> rank_tx(transactions.size());  // per tid: ranks ascending
  for (std::uint32_t tid : tids)
    for (std::uint32_t id : transactions[tid]) {
      auto it = std::lower_bound(rank_id.begin(), rank_id.end(), id);
      if (it != rank_id.end() && *it == id)
        rank_tx[tid].push_back(static_cast<std::uint32_t>(it - rank_id.begin()));
    }

  // Depth-first over ranks: each node carries the tids holding P u X.
  std::vector<ids> scratch(rank_id.size());
  ids x;
  auto walk = [&](auto& self, const ids& node_tids) -> void {
    ids items = r.prefix;
    for (std::uint32_t rk : x) items.push_back(rank_id[rk]);
    bool ok = true;
    for (const RefConstraint& c : query.constraints)
      ok = ok && constraint_holds(c, items, x.size(), attrs);
    if (ok) {
      std::string line;
      for (std::uint32_t id : items) line += std::to_string(id) + " ";
      r.lines.push_back(line + "(" + std::to_string(node_tids.size()) + ")");
    }
    if (static_cast<std::int64_t>(items.size()) >= max_len) return;
    ids touched;
    for (std::uint32_t tid : node_tids) {
      const ids& t = rank_tx[tid];
      for (auto it = x.empty() ? t.begin() : std::upper_bound(t.begin(), t.end(), x.back());
           it != t.end(); ++it) {
        if (scratch[*it].empty()) touched.push_back(*it);
        scratch[*it].push_back(tid);
      }
    }
    std::sort(touched.begin(), touched.end());
    std::vector<std::pair<std::uint32_t, ids>> children;
    for (std::uint32_t rk : touched) {
      if (scratch[rk].size() >= min_count) children.emplace_back(rk, std::move(scratch[rk]));
      scratch[rk].clear();
    }
    for (auto& child : children) {
      x.push_back(child.first);
      self(self, child.second);
      x.pop_back();
      ids().swap(child.second);
    }
  };
  walk(walk, tids);
  std::sort(r.lines.begin(), r.lines.end());
  return r;
}

std::vector<std::string> normalise_output(const std::string& text, std::size_t prefix_len) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0, end = 0; pos < text.size(); pos = end + 1) {
    end = std::min(text.find('\n', pos), text.size());
    const std::string line = text.substr(pos, end - pos);
    // Strict shape, '\n'-terminated: ("<id> ")* "(" <digits> ")", every id below 2^32.
    bool ok = end < text.size();
    ids v;
    std::size_t i = 0;
    while (ok && i < line.size() && is_digit(line[i])) {
      const std::size_t sp = line.find_first_not_of("0123456789", i);
      const std::uint64_t n = sp - i <= 10 ? std::stoull(line.substr(i, sp - i)) : 1ull << 32;
      ok = sp < line.size() && line[sp] == ' ' && n <= 0xFFFFFFFFull;
      v.push_back(static_cast<std::uint32_t>(n));
      i = sp + 1;
    }
    ok = ok && line.size() > i + 2 && line[i] == '(' && line.back() == ')' &&
         line.find_first_not_of("0123456789", i + 1) == line.size() - 1;
    if (!ok || v.size() < prefix_len) {
      lines.push_back("MALFORMED " + line);
      continue;
    }
    std::sort(v.begin() + static_cast<std::ptrdiff_t>(prefix_len), v.end());
    std::string norm;
    for (std::uint32_t id : v) norm += std::to_string(id) + " ";
    lines.push_back(norm + line.substr(i));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace reference
