// Level 3 by first item over the transactions in memory. T is the dense item
// type, T1 the support type.
#include "engine/triples_by_first_item.h"

#include <algorithm>
#include <cassert>

#include "engine/pair_counting.h"
#include "util/widths.h"

template <class T>
void transaction_block<T>::add(const T* items, std::uint32_t n, const std::uint8_t* flags) {
  assert(n >= 1);
  items_.insert(items_.end(), items, items + n);
  counters_.resize(items_.size(), 0);
  starts_.push_back(static_cast<std::uint32_t>(items_.size()));
  flags_.insert(flags_.end(), flags, flags + n_loose_);
}

template <class T>
void transaction_block<T>::index_first_items(std::uint32_t n_items, std::uint32_t k) {
  // A counting sort by item: first the sizes, then the transactions in order.
  index_start_.assign(std::size_t{n_items} + 1, 0);
  const std::uint32_t n = size();
  for (std::uint32_t t = 0; t < n; ++t) {
    const std::uint32_t len = length(t);
    const T* e = items(t);
    for (std::uint32_t i = 0; i + k <= len; ++i) ++index_start_[e[i] + 1];
  }
  for (std::uint32_t a = 0; a < n_items; ++a) index_start_[a + 1] += index_start_[a];
  by_item_.resize(index_start_[n_items]);
  position_.resize(index_start_[n_items]);
  std::vector<std::uint32_t> next(index_start_.begin(), index_start_.end() - 1);
  for (std::uint32_t t = 0; t < n; ++t) {
    const std::uint32_t len = length(t);
    const T* e = items(t);
    for (std::uint32_t i = 0; i + k <= len; ++i) {
      const std::uint32_t j = next[e[i]]++;
      by_item_[j] = t;
      position_[j] = static_cast<T>(i);
    }
  }
}

template <class T, class T1>
triples_by_first_item<T, T1>::triples_by_first_item(const frequent_level<T, T1>& pairs_level,
                                                    const frequent_pairs<T>& frequent,
                                                    typed_constraints<T>& table,
                                                    std::uint32_t n_items)
    : pairs_level_(pairs_level),
      frequent_(frequent),
      table_(table),
      n_loose_(table.loose_table.size()),
      end_group_(pairs_level.number_of_groups()),
      rank_(n_items, 0) {
  assert(pairs_level.k == 2);
}

template <class T, class T1>
std::uint64_t triples_by_first_item<T, T1>::planned_bytes(const frequent_level<T, T1>& pairs_level,
                                                          std::uint32_t n_items, int n_loose) {
  std::uint64_t largest = 0;
  for (int g = 0; g < pairs_level.number_of_groups(); ++g)
    largest = std::max<std::uint64_t>(
        largest, static_cast<std::uint64_t>(pairs_level.group_last[g] - pairs_level.group_first(g)) + 1);
  // Per join: its triangle entry, and as a candidate its two items, count and flags.
  const std::uint64_t per_join = sizeof(std::uint32_t) + 2 * sizeof(T) + sizeof(std::uint32_t) +
                                 static_cast<std::uint64_t>(n_loose);
  return number_of_pairs(largest) * per_join + std::uint64_t{n_items} * sizeof(std::uint32_t) +
         2 * largest * sizeof(std::uint32_t);
}

template <class T, class T1>
bool triples_by_first_item<T, T1>::generate(int g) {
  const int begin = pairs_level_.group_first(g), last = pairs_level_.group_last[g];
  const std::uint32_t m = static_cast<std::uint32_t>(last - begin + 1);
  counts.clear();
  loose_flags_.clear();
  if (m < 2) return false;
  const T* n_a = pairs_level_.suffixes.data() + begin;
  // The rows of frequent_ that the merges below read lie anywhere: the row
  // starts of the next group's neighbours, and the rows of this group's, are
  // fetched before the first merge. A group of few neighbours is generated in
  // less time than a miss takes, so the first neighbours' row starts of the
  // group 2 * kAheadGroups on and their rows kAheadGroups on are fetched too.
  const int n_groups = pairs_level_.number_of_groups();
  if (g + 1 < n_groups) {
    const int next_last = pairs_level_.group_last[g + 1];
    for (int i = last + 1; i <= next_last; ++i) frequent_.prefetch_start(pairs_level_.suffixes[i]);
  }
  if (g + 2 * kAheadGroups < n_groups) {
    const int h = g + 2 * kAheadGroups, h_first = pairs_level_.group_first(h);
    const int h_end = std::min(pairs_level_.group_last[h], h_first + kAheadNeighbours - 1);
    for (int i = h_first; i <= h_end; ++i) frequent_.prefetch_start(pairs_level_.suffixes[i]);
  }
  if (g + kAheadGroups < n_groups) {
    const int h = g + kAheadGroups, h_first = pairs_level_.group_first(h);
    const int h_end = std::min(pairs_level_.group_last[h], h_first + kAheadNeighbours - 1);
    for (int i = h_first; i < h_end; ++i) frequent_.prefetch_row(pairs_level_.suffixes[i]);
  }
  for (std::uint32_t r = 0; r + 1 < m; ++r) frequent_.prefetch_row(n_a[r]);
  T cand[3] = {0, 0, 0};
  pairs_level_.group_prefix(g, cand);
  first_ = cand[0];
  if (table_.keeps_everything() && n_loose_ == 0) {
    generate_unconstrained(n_a, m);
    return !counts.empty();
  }
  seconds.clear();
  thirds.clear();
  triangle_.assign(number_of_pairs(m), kNone);
  if (n_loose_ > 0) loose_path_.resume(table_.loose_table, 3, 0);
  for (std::uint32_t r = 0; r + 1 < m; ++r) {
    // The thirds of (a, N(a)[r]): the later neighbours of a that form a
    // frequent pair with N(a)[r], a merge of two ascending lists.
    cand[1] = n_a[r];
    const std::size_t row_first = thirds.size();
    const T *q, *q_end;
    frequent_.row(cand[1], &q, &q_end);
    std::uint32_t* row = triangle_.data() + pair_row(r, m);  // (r, s) at row[s - 1]
    for (std::uint32_t s = r + 1; s < m && q != q_end;) {
      if (n_a[s] < *q) {
        ++s;
      } else if (*q < n_a[s]) {
        ++q;
      } else {
        cand[2] = n_a[s];
        if (table_.keeps(cand, 3)) {
          row[s - 1] = static_cast<std::uint32_t>(seconds.size());
          seconds.push_back(cand[1]);
          thirds.push_back(cand[2]);
        }
        ++s;
        ++q;
      }
    }
    if (n_loose_ > 0) flag_thirds(cand, row_first);
  }
  counts.assign(seconds.size(), 0);
  return !seconds.empty();
}

template <class T, class T1>
void triples_by_first_item<T, T1>::flag_thirds(T* cand, std::size_t first) {
  const std::size_t count = thirds.size() - first;
  if (count == 0) return;
  const std::size_t at = loose_flags_.size();
  loose_flags_.resize(at + count * n_loose_);
  loose_path_.moved(1);
  std::uint8_t* flags = loose_flags_.data() + at;
  for (std::size_t u = 0; u < n_loose_; ++u) {
    loose_constraint<T>* c = table_.loose_table[u];
    const Summary* pair = loose_path_.summary_before_last(u, cand, 3);
    if (pair == nullptr) {  // a test that reads the values themselves
      for (std::size_t i = 0; i < count; ++i) {
        cand[2] = thirds[first + i];
        flags[i * n_loose_ + u] = c->holds(cand, 3) ? 1 : 0;
      }
      continue;
    }
    std::uint8_t* kept = flags;
    if (n_loose_ > 1) {
      flag_scratch_.resize(count);
      kept = flag_scratch_.data();
    }
    std::fill(kept, kept + count, std::uint8_t{1});
    c->keep_after_each(*pair, loose_path_.column(u), thirds.data() + first, static_cast<int>(count),
                       kept);
    if (n_loose_ > 1)
      for (std::size_t i = 0; i < count; ++i) flags[i * n_loose_ + u] = kept[i];
  }
}

template <class T, class T1>
void triples_by_first_item<T, T1>::generate_unconstrained(const T* n_a, std::uint32_t m) {
  // Every join is a candidate. Each merge step writes the triangle entry of
  // the neighbour it stands on and a candidate past the last one, and counts
  // the candidate in only on a match; the entry written when the neighbour is
  // passed is the last one it gets (a match's index, or kNone). The entries
  // after a merge ends are filled with kNone, so the triangle is written once
  // per merge step and neighbour instead of cleared whole first. The arrays
  // only grow: with a million items most groups hold two or three
  // neighbours, and resizing them per group cost more than the merges.
  if (triangle_.size() < number_of_pairs(m)) triangle_.resize(number_of_pairs(m));
  std::size_t n = 0;
  for (std::uint32_t r = 0; r + 1 < m; ++r) {
    const T b = n_a[r];
    const T *q, *q_end;
    frequent_.row(b, &q, &q_end);
    std::uint32_t* row = triangle_.data() + pair_row(r, m);  // (r, s) at row[s - 1]
    // At most one candidate per neighbour after r and per frequent pair of b;
    // one slot more takes the write past the last.
    const std::size_t room = std::min<std::size_t>(m - r - 1, static_cast<std::size_t>(q_end - q));
    if (seconds.size() < n + room + 1) {
      seconds.resize(n + room + 1);
      thirds.resize(n + room + 1);
    }
    T* second = seconds.data();
    T* third = thirds.data();
    std::uint32_t s = r + 1;
    while (s < m && q != q_end) {
      const T c = n_a[s], d = *q;
      const bool match = c == d;
      row[s - 1] = match ? static_cast<std::uint32_t>(n) : kNone;
      second[n] = b;
      third[n] = c;
      n += match ? 1 : 0;
      s += c <= d ? 1 : 0;
      q += d <= c ? 1 : 0;
    }
    for (; s < m; ++s) row[s - 1] = kNone;
  }
  counts.assign(n, 0);
}

template <class T, class T1>
bool triples_by_first_item<T, T1>::any_candidate() {
  for (int g = group_; g < end_group_; ++g)
    if (generate(g)) return true;
  return false;
}

template <class T, class T1>
bool triples_by_first_item<T, T1>::group_first_item(int g, T* a) const {
  if (g >= pairs_level_.number_of_groups()) return false;
  T prefix[2];
  pairs_level_.group_prefix(g, prefix);
  *a = prefix[0];
  return true;
}

template <class T, class T1>
void triples_by_first_item<T, T1>::count(const transaction_block<T>& block,
                                         std::uint32_t* counters, std::uint8_t* flag_base) {
  const int g = group_ - 1;
  const int begin = pairs_level_.group_first(g), last = pairs_level_.group_last[g];
  const std::uint32_t m = static_cast<std::uint32_t>(last - begin + 1);
  const T* n_a = pairs_level_.suffixes.data() + begin;
  // The transactions of the first items kAheadGroups and twice that many
  // groups on (whether they have candidates or not) are fetched while this
  // one counts: a group of few neighbours takes less time than a miss.
  T ahead;
  if (group_first_item(g + 2 * kAheadGroups, &ahead)) block.prefetch_starts(ahead);
  if (group_first_item(g + kAheadGroups, &ahead)) block.prefetch_transactions(ahead, counters);
  const bool by_rank = m > kMergedNeighbours;
  if (by_rank)
    for (std::uint32_t r = 0; r < m; ++r) rank_[n_a[r]] = r + 1;
  hit_rank_.resize(m);
  hit_position_.resize(m);
  const std::uint32_t *t, *t_end;
  const T* at;
  block.transactions_with(first_, &t, &t_end, &at);
  for (; t != t_end; ++t, ++at) {
    const T* e = block.items(*t);
    const std::uint32_t len = block.length(*t);
    std::uint32_t* cnt = counters + block.start(*t);
    const std::uint32_t i = *at;
    assert(i < len && e[i] == first_);
    // The items after a that are neighbours of a, with their ranks: only pairs
    // of them can complete a candidate.
    std::uint32_t hits = 0;
    if (by_rank) {
      for (std::uint32_t p = i + 1; p < len; ++p) {
        const std::uint32_t r = rank_[e[p]];
        if (r == 0) continue;
        hit_rank_[hits] = r - 1;
        hit_position_[hits] = p;
        ++hits;
      }
    } else {
      for (std::uint32_t p = i + 1, r = 0; p < len && r < m; ++p) {
        while (r < m && n_a[r] < e[p]) ++r;
        if (r == m || n_a[r] != e[p]) continue;
        hit_rank_[hits] = r++;
        hit_position_[hits] = p;
        ++hits;
      }
    }
    std::uint32_t found = 0;
    std::uint8_t* flags = n_loose_ > 0 ? flag_base + std::size_t{*t} * n_loose_ : nullptr;
    // A transaction's flags, once all set, stay set: its hits need not look
    // at their candidates' flags (most transactions get there early).
    const std::size_t n_flags =
        flags != nullptr && std::find(flags, flags + n_loose_, 0) != flags + n_loose_ ? n_loose_
                                                                                      : 0;
    for (std::uint32_t u = 0; u + 1 < hits; ++u) {
      // (rank u, rank v) at pair_row(rank u, m) + rank v - 1.
      const std::uint32_t* row = triangle_.data() + pair_row(hit_rank_[u], m);
      std::uint32_t found_u = 0;
      for (std::uint32_t v = u + 1; v < hits; ++v) {
        const std::uint32_t c = row[hit_rank_[v] - 1];
        if (c == kNone) continue;
        ++counts[c];
        ++cnt[hit_position_[v]];
        ++found_u;
        for (std::size_t x = 0; x < n_flags; ++x)
          if (loose_flags_[c * n_loose_ + x]) flags[x] = 1;
      }
      cnt[hit_position_[u]] += found_u;
      found += found_u;
    }
    cnt[i] += found;
  }
  if (by_rank)
    for (std::uint32_t r = 0; r < m; ++r) rank_[n_a[r]] = 0;
}

template <class T, class T1>
bool triples_by_first_item<T, T1>::next_first_item(const transaction_block<T>& block,
                                                   std::uint32_t* counters, std::uint8_t* flags) {
  while (group_ < end_group_) {
    if (generate(group_++)) {
      count(block, counters, flags);
      return true;
    }
  }
  return false;
}

#define KESTREL_INSTANTIATE(T) template class transaction_block<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
#define KESTREL_INSTANTIATE(T, T1) template class triples_by_first_item<T, T1>;
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
