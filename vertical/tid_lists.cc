#include "vertical/tid_lists.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <string>
#include <utility>

#include "util/widths.h"

namespace tids {

namespace {

// Above this length ratio the short list's positions are looked up in the long
// one by exponential search instead of walking both.
constexpr std::size_t kGallopRatio = 16;

// First index at or after j in b[0..nb) whose position is >= x (nb when none).
inline std::size_t gallop(const std::uint32_t* b, std::size_t nb, std::size_t j, std::uint32_t x) {
  std::size_t step = 1, hi = j;
  while (hi < nb && b[hi] < x) {
    j = hi + 1;
    hi += step;
    step <<= 1;
  }
  if (hi > nb) hi = nb;
  return static_cast<std::size_t>(std::lower_bound(b + j, b + hi, x) - b);
}

}  // namespace

std::size_t intersect_into(const std::uint32_t* a, std::size_t na, const std::uint32_t* b,
                           std::size_t nb, std::uint32_t* out) {
  if (na > nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  std::size_t n = 0;
  if (na * kGallopRatio < nb) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < na && j < nb; ++i) {
      j = gallop(b, nb, j, a[i]);
      if (j < nb && b[j] == a[i]) out[n++] = a[i];
    }
    return n;
  }
  // Without branches on the comparison: positions match unpredictably. The
  // store at out[n] is harmless when they differ, since n <= i < na.
  std::size_t i = 0, j = 0;
  while (i < na && j < nb) {
    const std::uint32_t x = a[i], y = b[j];
    out[n] = x;
    n += x == y;
    i += x <= y;
    j += y <= x;
  }
  return n;
}

std::size_t intersect_count(const std::uint32_t* a, std::size_t na, const std::uint32_t* b,
                            std::size_t nb, std::size_t at_least) {
  if (na > nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  if (na < at_least) return na;
  // Every position of a not found in b lowers what can still be reached by one;
  // `spare` is how many may go before at_least is out of reach.
  std::size_t spare = na - at_least;
  std::size_t n = 0;
  if (na * kGallopRatio < nb) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < na; ++i) {
      j = gallop(b, nb, j, a[i]);
      if (j == nb) return n;
      if (b[j] == a[i]) {
        ++n;
      } else if (spare-- == 0) {
        return n;
      }
    }
    return n;
  }
  std::size_t i = 0, j = 0;
  while (i < na && j < nb) {
    const std::uint32_t x = a[i], y = b[j];
    if (x < y) {
      if (spare-- == 0) return n;
      ++i;
    } else {
      n += x == y;
      i += x == y;
      ++j;
    }
  }
  return n;
}

}  // namespace tids

template <class T>
void tid_lists<T>::allocate(std::uint32_t n_items, std::uint64_t expected_occurrences) {
  n_items_ = n_items;
  n_transactions_ = 0;
  tids_.clear();
  first_.assign(static_cast<std::size_t>(n_items) + 1, 0);
  transaction_items_.clear();
  transaction_items_.reserve(static_cast<std::size_t>(expected_occurrences));
  transaction_ends_.clear();
  filled_ = false;
}

template <class T>
void tid_lists<T>::add_transaction(const T* items, std::uint32_t length, std::uint32_t tid) {
  // Positions come in order from the filling scan: the lists are sorted by
  // construction only then.
  if (filled_ || tid != n_transactions_) {
    throw std::out_of_range("vertical dataset: transaction position " + std::to_string(tid) +
                            " where " + std::to_string(n_transactions_) + " was next");
  }
  for (std::uint32_t i = 0; i < length; ++i) {
    assert(items[i] < n_items_);
    transaction_items_.push_back(static_cast<std::uint32_t>(items[i]));
  }
  transaction_ends_.push_back(transaction_items_.size());
  ++n_transactions_;
}

template <class T>
void tid_lists<T>::finish_filling() {
  if (filled_) return;
  filled_ = true;
  // The projections need ascending items; the passes hand them over so,
  // which makes this one comparison per item.
  std::size_t at = 0;
  for (std::uint32_t t = 0; t < n_transactions_; ++t) {
    const std::size_t end = transaction_ends_[t];
    std::sort(transaction_items_.begin() + static_cast<std::ptrdiff_t>(at),
              transaction_items_.begin() + static_cast<std::ptrdiff_t>(end));
    at = end;
  }
  build_lists();
}

template <class T>
void tid_lists<T>::build_lists() {
  // The list starts from the counts, then the positions in transaction order,
  // so every list ascends.
  std::fill(first_.begin(), first_.end(), 0);
  for (std::uint32_t item : transaction_items_) ++first_[item + 1];
  for (std::size_t i = 1; i < first_.size(); ++i) first_[i] += first_[i - 1];
  tids_.resize(transaction_items_.size());
  std::vector<std::size_t> next(first_.begin(), first_.end() - 1);
  std::size_t at = 0;
  for (std::uint32_t t = 0; t < n_transactions_; ++t) {
    for (const std::size_t end = transaction_ends_[t]; at < end; ++at)
      tids_[next[transaction_items_[at]]++] = t;
  }
}

template <class T>
void tid_lists<T>::keep_items_in_transactions(const std::vector<std::uint8_t>& keep,
                                              std::uint32_t min_length) {
  // In place: the write position never passes the read position.
  std::size_t read = 0, write = 0;
  for (std::uint32_t t = 0; t < n_transactions_; ++t) {
    const std::size_t start = write;
    for (const std::size_t end = transaction_ends_[t]; read < end; ++read) {
      const std::uint32_t y = transaction_items_[read];
      if (y < keep.size() && keep[y] != 0) transaction_items_[write++] = y;
    }
    if (write - start < min_length) write = start;
    transaction_ends_[t] = write;
  }
  transaction_items_.resize(write);
  build_lists();
}

void tid_projection::start_round() {
  if (++round == 0) {  // wrapped: no stale mark may match
    std::fill(round_of.begin(), round_of.end(), 0);
    round = 1;
  }
  items.clear();
}

namespace {

// Counters before row a of the pair triangle of a group of m (row a holds the
// pairs (a, b) for a < b < m).
inline std::size_t rows_before(std::size_t a, std::size_t m) { return a * (m - 1) - a * (a - 1) / 2; }

}  // namespace

template <class T>
void tid_lists<T>::start_iteration(int k, tid_scratch& s) const {
  s.projected.clear();
  s.position.assign(n_items_, 0);
  s.position_round_of.assign(n_items_, 0);
  s.position_round = 0;
  s.depth.resize(static_cast<std::size_t>(std::max(k - 2, 0)));
  for (tid_projection& d : s.depth) {
    d.at.assign(n_items_, 0);
    d.length.assign(n_items_, 0);
    d.round_of.assign(n_items_, 0);
    d.round = 0;
    d.start_round();
  }
  s.valid_depths = 0;
}

template <class T>
void tid_lists<T>::project_depth(std::size_t d, std::uint32_t item, std::uint32_t min_count,
                                 tid_scratch& s) const {
  const std::uint32_t* q = d == 0 ? list(item) : s.depth[d - 1].list_of(item);
  const std::size_t nq = d == 0 ? length(item) : s.depth[d - 1].length_of(item);
  // Below min_count no extension is frequent: the projection stays empty.
  if (nq >= min_count)
    project(q, nq, item, s.depth[d]);
  else
    s.depth[d].start_round();
}

template <class T>
void tid_lists<T>::project(const std::uint32_t* q, std::size_t nq, std::uint32_t last,
                           tid_projection& out) const {
  // Two walks over the transactions of Q: the lengths of the lists, then the
  // positions, in Q's order, so each list ascends.
  out.start_round();
  const std::uint32_t* items = transaction_items_.data();
  const std::size_t* ends = transaction_ends_.data();
  // Transactions ascend: the items after last are a tail of each.
  auto after_last = [&](std::uint32_t t) {
    const std::uint32_t* begin = items + (t == 0 ? 0 : ends[t - 1]);
    return std::upper_bound(begin, items + ends[t], last);
  };
  for (std::size_t i = 0; i < nq; ++i) {
    const std::uint32_t t = q[i];
    for (const std::uint32_t *y = after_last(t), *end = items + ends[t]; y < end; ++y) {
      if (out.round_of[*y] != out.round) {
        out.round_of[*y] = out.round;
        out.length[*y] = 0;
        out.items.push_back(*y);
      }
      ++out.length[*y];
    }
  }
  std::size_t at = 0;
  for (std::uint32_t y : out.items) {
    out.at[y] = at;
    at += out.length[y];
    out.length[y] = 0;
  }
  if (out.tids.size() < at) out.tids.resize(std::max(at, 2 * out.tids.size()));
  for (std::size_t i = 0; i < nq; ++i) {
    const std::uint32_t t = q[i];
    for (const std::uint32_t *y = after_last(t), *end = items + ends[t]; y < end; ++y)
      out.tids[out.at[*y] + out.length[*y]++] = t;
  }
}

template <class T>
bool tid_lists<T>::candidate_is_frequent(const T* cand, int start, int k, std::uint32_t min_count,
                                         std::uint32_t& count, tid_scratch& s) const {
  assert(k >= 3 && start >= 0 && start <= k - 1);
  const int pk = k - 2;  // items of the prefix P
  s.projected.clear();   // start_group may not reuse these
  // Projections of the parts P shares with the last counted candidate stay;
  // the others are walked again, each from the one before it.
  for (int d = std::min(s.valid_depths, start); d < pk; ++d) {
    project_depth(static_cast<std::size_t>(d), cand[d], min_count, s);
  }
  s.valid_depths = pk;
  const tid_projection& p = s.depth[pk - 1];
  const std::uint32_t x = cand[k - 2], y = cand[k - 1];
  const std::uint32_t n_x = p.length_of(x), n_y = p.length_of(y);
  if (n_x < min_count || n_y < min_count) {
    count = std::min(n_x, n_y);
    return false;
  }
  count = static_cast<std::uint32_t>(
      tids::intersect_count(p.list_of(x), n_x, p.list_of(y), n_y, min_count));
  return count >= min_count;
}

template <class T>
void tid_lists<T>::start_group(const T* prefix, int pk, const T* last, std::uint32_t m,
                               std::uint32_t min_count, tid_scratch& s) const {
  assert(pk >= 1 && static_cast<std::size_t>(pk) <= s.depth.size());
  // depth[d] projects prefix[0..d]; only P's leading parts are needed, since
  // the walk below takes P's transactions whole.
  const std::size_t need = static_cast<std::size_t>(pk - 1);
  std::size_t share = 0;
  while (share < s.projected.size() && share < need && s.projected[share] == prefix[share])
    ++share;
  s.projected.resize(share);
  s.valid_depths = 0;  // the candidate-by-candidate walk may not reuse these
  for (std::size_t d = share; d < need; ++d) {
    project_depth(d, prefix[d], min_count, s);
    s.projected.push_back(prefix[d]);
  }
  const std::uint32_t p_last = prefix[pk - 1];
  s.group_tids = need == 0 ? list(p_last) : s.depth[need - 1].list_of(p_last);
  s.group_n_tids = need == 0 ? length(p_last) : s.depth[need - 1].length_of(p_last);
  // No pair of P's last items can reach min_count: every count stays 0.
  if (s.group_n_tids < min_count) s.group_n_tids = 0;
  s.group_prefix_last = p_last;
  s.group_size = m;
  if (++s.position_round == 0) {  // wrapped: no stale mark may match
    std::fill(s.position_round_of.begin(), s.position_round_of.end(), 0);
    s.position_round = 1;
  }
  for (std::uint32_t i = 0; i < m; ++i) {
    assert(last[i] > p_last && (i == 0 || last[i - 1] < last[i]));
    s.position[last[i]] = i;
    s.position_round_of[last[i]] = s.position_round;
  }
  s.block_first = s.block_end = 0;
}

template <class T>
void tid_lists<T>::count_block(std::uint32_t first, tid_scratch& s) const {
  const std::size_t m = s.group_size;
  const std::size_t base = rows_before(first, m);
  // At least one row, then as many as fit.
  std::uint32_t end = first + 1;
  while (end + 1 < m && rows_before(end + 1, m) - base <= s.block_counters) ++end;
  s.block_first = first;
  s.block_end = end;
  const std::size_t n_counts = rows_before(end, m) - base;
  if (s.pair_counts.size() < n_counts) s.pair_counts.resize(n_counts);
  std::uint32_t* counts = s.pair_counts.data();
  std::fill(counts, counts + n_counts, 0u);
  const std::uint32_t* items = transaction_items_.data();
  const std::size_t* ends = transaction_ends_.data();
  const std::uint32_t* position = s.position.data();
  const std::uint32_t* round_of = s.position_round_of.data();
  const std::uint32_t round = s.position_round;
  std::vector<std::uint32_t>& members = s.members;
  for (std::size_t i = 0; i < s.group_n_tids; ++i) {
    const std::uint32_t t = s.group_tids[i];
    // The group's last items lie after P's last item: a tail of the transaction.
    const std::uint32_t* begin = items + (t == 0 ? 0 : ends[t - 1]);
    const std::uint32_t* y = std::upper_bound(begin, items + ends[t], s.group_prefix_last);
    members.clear();
    for (const std::uint32_t* e = items + ends[t]; y < e; ++y)
      if (round_of[*y] == round) members.push_back(position[*y]);
    // Positions ascend with the items; rows outside the block are skipped.
    const std::size_t n = members.size();
    for (std::size_t a = 0; a + 1 < n && members[a] < end; ++a) {
      const std::uint32_t row = members[a];
      if (row < first) continue;
      // Pair (row, b) sits at rows_before(row) - base + b - row - 1.
      std::uint32_t* c = counts + (rows_before(row, m) - base) - row - 1;
      for (std::size_t b = a + 1; b < n; ++b) ++c[members[b]];
    }
  }
}

template <class T>
std::uint32_t tid_lists<T>::pair_count(std::uint32_t x, std::uint32_t y, tid_scratch& s) const {
  assert(s.position_round_of[x] == s.position_round && s.position_round_of[y] == s.position_round);
  const std::uint32_t a = s.position[x], b = s.position[y];
  assert(a < b && a >= s.block_first);
  if (a >= s.block_end) count_block(a, s);
  return s.pair_counts[rows_before(a, s.group_size) - rows_before(s.block_first, s.group_size) +
                       b - a - 1];
}

#define KESTREL_INSTANTIATE(T) template class tid_lists<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
