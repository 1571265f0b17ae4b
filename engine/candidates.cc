// Candidate generation, the pair-prefix index and the count of the candidates a
// transaction contains. T is the dense item type, T1 the support type.
#include "engine/candidates.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "util/error.h"
#include "util/widths.h"

template <class T, class T1>
void candidate_store<T, T1>::init_prefix_table(std::uint32_t n) {
  table_items = n;
  table_size = number_of_pairs(n) + 1;
  if (this->prefixes.size() >= 0xFFFFFFFFu)
    throw run_error("too many candidates (" + std::to_string(this->n_itemsets) + ")");
  const std::size_t step = static_cast<std::size_t>(this->k - 1);
  if (!this->prefixes.empty()) {
    lowest_first = this->prefixes.front();
    highest_first = this->prefixes[this->prefixes.size() - step];
  }
  const auto total = static_cast<std::uint32_t>(this->prefixes.size());
  constexpr std::uint32_t kUnset = 0xFFFFFFFFu;
  // The pairs that start a prefix, for the hash's size.
  std::uint64_t n_pairs = 0;
  for (std::size_t o = 0; o < this->prefixes.size(); o += step)
    if (o == 0 || this->prefixes[o] != this->prefixes[o - step] ||
        this->prefixes[o + 1] != this->prefixes[o - step + 1])
      ++n_pairs;
  const std::uint64_t triangle_bytes = table_size * sizeof(std::uint32_t);
  const std::uint64_t first_bytes = (std::uint64_t{n} + 1) * sizeof(std::uint32_t);
  if (triangle_bytes > dense_index_limit)
    index_kind = pair_index_kind::bisected;
  else if (first_bytes + pair_prefix_index::bytes_for(n_pairs) < triangle_bytes)
    index_kind = pair_index_kind::hashed;
  else
    index_kind = pair_index_kind::triangle;
  if (index_kind == pair_index_kind::triangle) {
    first_table.clear();
    first_table.shrink_to_fit();
    hashed_index.release();
    prefix_table.assign(table_size, kUnset);
    // (0, 0) is no pair, so the first prefix always opens a range.
    T last_a = 0, last_b = 0;
    for (std::size_t o = 0; o < this->prefixes.size(); o += step) {
      const T a = this->prefixes[o], b = this->prefixes[o + 1];
      if (a != last_a || b != last_b) {
        prefix_table[pair_index(a, b, n)] = static_cast<std::uint32_t>(o);
        last_a = a;
        last_b = b;
      }
    }
    prefix_table[table_size - 1] = total;
    // A pair without candidates gets the empty range at the next pair's start.
    for (std::uint64_t p = table_size - 1; p-- > 0;)
      if (prefix_table[p] == kUnset) prefix_table[p] = prefix_table[p + 1];
    return;
  }
  prefix_table.clear();
  prefix_table.shrink_to_fit();
  first_table.assign(static_cast<std::size_t>(n) + 1, kUnset);
  for (std::size_t o = this->prefixes.size(); o >= step;) {
    o -= step;
    first_table[this->prefixes[o]] = static_cast<std::uint32_t>(o);
  }
  first_table[n] = total;
  for (std::size_t a = n; a-- > 0;)
    if (first_table[a] == kUnset) first_table[a] = first_table[a + 1];
  if (index_kind == pair_index_kind::bisected) {
    hashed_index.release();
    return;
  }
  hashed_index.reset(n_pairs);
  for (std::size_t o = 0; o < this->prefixes.size();) {
    const T a = this->prefixes[o], b = this->prefixes[o + 1];
    std::size_t end = o + step;
    while (end < this->prefixes.size() && this->prefixes[end] == a && this->prefixes[end + 1] == b)
      end += step;
    hashed_index.add(a, b, static_cast<std::uint32_t>(o), static_cast<std::uint32_t>(end));
    o = end;
  }
}

template <class T, class T1>
std::uint64_t candidate_store<T, T1>::planned_bytes(std::uint64_t n_candidates,
                                                    std::uint64_t n_groups, std::uint32_t n,
                                                    int n_loose) const {
  // Per candidate: suffix, counter and its loose flags (bits); per group: the
  // prefix and its last index.
  const std::uint64_t per_candidate_bits = 8 * (sizeof(T) + sizeof(T1)) + n_loose;
  const std::uint64_t per_group = static_cast<std::uint64_t>(this->k - 1) * sizeof(T) + sizeof(int);
  const std::uint64_t store = (n_candidates * per_candidate_bits + 7) / 8 + n_groups * per_group;
  const std::uint64_t dense = (number_of_pairs(n) + 1) * sizeof(std::uint32_t);
  const std::uint64_t index =
      dense <= dense_index_limit ? dense : (std::uint64_t{n} + 1) * sizeof(std::uint32_t);
  return 2 * store + index;
}

template <class T, class T1>
void candidate_store<T, T1>::sparse_range(std::uint64_t a, std::uint64_t b, std::size_t* begin,
                                          std::size_t* end) const {
  // Within a's range the groups ascend by their second item: bisect for b.
  const std::size_t step = static_cast<std::size_t>(this->k - 1);
  const T* pre = this->prefixes.data();
  std::size_t lo = first_table[a] / step, hi = first_table[a + 1] / step;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (pre[mid * step + 1] < b)
      lo = mid + 1;
    else
      hi = mid;
  }
  std::size_t last = lo;
  const std::size_t stop = first_table[a + 1] / step;
  while (last < stop && pre[last * step + 1] == b) ++last;
  *begin = lo * step;
  *end = last * step;
}

namespace {

// One call of count_contained_candidates: the transaction t (items e[0..len),
// ascending, marks[x] = len - position of x for its items, 0 for others) and
// the store's arrays it credits.
template <class T, class T1>
struct containment_count {
  const T* e;
  const T* marks;
  std::uint32_t* cnt;
  int len;
  const T* suffixes;
  const int* group_last;
  T1* supports;
  const std::vector<bool>& loose_flags;
  int n_loose;
  std::uint8_t* flags;

  int unset;  // the transaction's flags not set yet

  // A contained candidate: its support, the counter of the position of its last
  // item and the flags of the loose constraints it satisfies (once every flag
  // is set, as in most transactions after their first hits, none is read).
  void hit(int index, int position) {
    ++supports[index];
    ++cnt[position];
    for (int u = 0; unset > 0 && u < n_loose; ++u)
      if (flags[u] == 0 && loose_flags[static_cast<std::size_t>(index) * n_loose + u]) {
        flags[u] = 1;
        --unset;
      }
  }

  // Counts the suffixes of group g present in t; returns how many. Every suffix
  // of the group is larger than the prefix's last item, at position tail - 1,
  // so only the items from position tail on can match. A long group is searched
  // item by item of that tail (both ascend); a short one is scanned with marks.
  std::uint32_t count_group(std::size_t g, int tail) {
    std::uint32_t found = 0;
    int s = g == 0 ? 0 : group_last[g - 1] + 1;
    const int last = group_last[g];
    if (last - s + 1 > 4 * (len - tail)) {
      for (int pos = tail; pos < len && s <= last; ++pos) {
        s = static_cast<int>(std::lower_bound(suffixes + s, suffixes + last + 1, e[pos]) -
                             suffixes);
        if (s <= last && suffixes[s] == e[pos]) {
          ++found;
          hit(s++, pos);
        }
      }
    } else {
      for (; s <= last; ++s) {
        const T m = marks[suffixes[s]];
        if (m != 0) {
          ++found;
          hit(s, len - m);
        }
      }
    }
    return found;
  }
};

// When the store keeps ranges per first item and the groups of e[i] are at most
// eight per item after it, they are walked in order and each one's second item
// looked up in the marks, rather than each later item of t looked up in the
// index: the walk reads memory in order, a lookup anywhere in the index.
template <class T, class T1>
bool walk_first_range(const candidate_store<T, T1>& store, T a, int later, std::size_t* begin,
                      std::size_t* end) {
  if (store.first_table.empty()) return false;
  *begin = store.first_table[a];
  *end = store.first_table[a + 1];
  return *end - *begin <= static_cast<std::size_t>(store.k - 1) * 8 * later;
}

// k = 3: every group is one pair (e[i], e[j]) of t; its suffixes follow j.
template <class T, class T1>
void count_triples(const candidate_store<T, T1>& store, containment_count<T, T1>& c) {
  const T* e = c.e;
  const int len = c.len;
  const std::uint64_t n = store.table_items;
  for (int i = 0; i + 2 < len; ++i) {
    if (e[i] < store.lowest_first) continue;
    if (e[i] > store.highest_first) break;
    std::size_t o, end;
    if (walk_first_range(store, e[i], len - i - 2, &o, &end)) {
      const T* prefixes = store.prefixes.data();
      for (; o < end; o += 2) {
        // The pair's second item must leave room for a suffix after it.
        const int m = static_cast<int>(c.marks[prefixes[o + 1]]);
        if (m < 2) continue;
        const int j = len - m;
        const std::uint32_t found = c.count_group(o / 2, j + 1);
        c.cnt[i] += found;
        c.cnt[j] += found;
      }
      continue;
    }
    const std::uint64_t row = pair_row(e[i], n) - 1;
    for (int j = i + 1; j + 1 < len; ++j) {
      store.pair_range(e[i], e[j], row, &o, &end);
      std::uint32_t found = 0;
      for (; o < end; o += 2) found += c.count_group(o / 2, j + 1);
      c.cnt[i] += found;
      c.cnt[j] += found;
    }
  }
}

// k >= 4: the group at offset o, whose prefix starts with (e[i], e[j]), when its
// other prefix items are in t, far enough left for the rest of a candidate.
// Returns false when no later group of the same pair can be in t either.
template <class T, class T1>
bool count_longer_group(const candidate_store<T, T1>& store, containment_count<T, T1>& c,
                        std::size_t o, int i, int j) {
  const int k = store.k;
  const T* marks = c.marks;
  const int len = c.len;
  const T* pre = store.prefixes.data() + o;
  const int m2 = static_cast<int>(marks[pre[2]]);
  if (m2 == 0) return true;
  // Groups of one pair ascend at position 2: once its item stands too
  // far right for the rest of a candidate, so do all later ones.
  if (m2 < k - 2) return false;
  for (int q = 3; q <= k - 2; ++q)
    if (static_cast<int>(marks[pre[q]]) < k - q) return true;
  const std::uint32_t found =
      c.count_group(o / static_cast<std::size_t>(k - 1), len - marks[pre[k - 2]] + 1);
  if (found == 0) return true;
  c.cnt[i] += found;
  c.cnt[j] += found;
  for (int q = 2; q <= k - 2; ++q) c.cnt[len - marks[pre[q]]] += found;
  return true;
}

template <class T, class T1>
void count_longer(const candidate_store<T, T1>& store, containment_count<T, T1>& c) {
  const int k = store.k;
  const std::size_t step = static_cast<std::size_t>(k - 1);
  const T* e = c.e;
  const int len = c.len;
  const std::uint64_t n = store.table_items;
  const T* prefixes = store.prefixes.data();
  for (int i = 0; i + k <= len; ++i) {
    if (e[i] < store.lowest_first) continue;
    if (e[i] > store.highest_first) break;
    std::size_t o, end;
    if (walk_first_range(store, e[i], len + 2 - k - i, &o, &end)) {
      for (; o < end; o += step) {
        const int m1 = static_cast<int>(c.marks[prefixes[o + 1]]);
        if (m1 < k - 1) continue;
        count_longer_group(store, c, o, i, len - m1);
      }
      continue;
    }
    const std::uint64_t row = pair_row(e[i], n) - 1;
    for (int j = i + 1; j + k <= len + 1; ++j) {
      store.pair_range(e[i], e[j], row, &o, &end);
      for (; o < end; o += step)
        if (!count_longer_group(store, c, o, i, j)) break;
    }
  }
}

}  // namespace

template <class T, class T1>
void candidate_store<T, T1>::count_contained_candidates(counting_transaction<T>& t,
                                                        std::uint8_t* flags) {
  const int len = t.length;
  const T* e = t.elems.data();
  T* marks = t.marks.data();
  for (int i = 0; i < len; ++i) marks[e[i]] = static_cast<T>(len - i);
  containment_count<T, T1> c{e,
                             marks,
                             t.counters.data(),
                             len,
                             this->suffixes.data(),
                             this->group_last.data(),
                             this->supports.data(),
                             this->loose_flags,
                             this->n_loose,
                             flags,
                             static_cast<int>(std::count(flags, flags + this->n_loose, 0))};
  if (this->k == 3)
    count_triples(*this, c);
  else
    count_longer(*this, c);
  for (int i = 0; i < len; ++i) marks[e[i]] = 0;
}

template <class T, class T1>
candidate_chunks<T, T1>::candidate_chunks(const frequent_level<T, T1>& previous,
                                          const item_table& items, int k,
                                          const frequent_pairs<T>* pairs,
                                          typed_constraints<T>& table, std::uint64_t limit_bytes)
    : previous_(previous),
      n_items_(items.n_items),
      k_(k),
      pairs_(pairs),
      table_(table),
      limit_bytes_(limit_bytes),
      cursor_(previous, k, false),
      subsets_(previous, k) {
  assert(k >= 3);
  assert(k > 3 || pairs != nullptr);
}

template <class T, class T1>
void candidate_chunks<T, T1>::fill_next(candidate_store<T, T1>& candidates) {
  candidates.clear(k_);
  const int n_loose = static_cast<int>(table_.loose_table.size());
  int first = -1;
  for (bool more = cursor_.valid(); more; more = cursor_.advance()) {
    const T* cand = cursor_.candidate();
    if (cursor_.first_joined() != first) {
      // A new (k-1)-prefix: itemset `first` of the previous level joins with at
      // most every later one of its group. Admit the prefix only when all of
      // those candidates would fit, unless the chunk has nothing yet; else the
      // cursor stays on its first candidate for the next chunk.
      first = cursor_.first_joined();
      const auto most = static_cast<std::uint64_t>(previous_.group_last[cursor_.group()] - first);
      const std::uint64_t worst = candidates.planned_bytes(
          static_cast<std::uint64_t>(candidates.n_itemsets) + most,
          static_cast<std::uint64_t>(candidates.number_of_groups()) + 1, n_items_, n_loose);
      if (candidates.n_itemsets > 0 && worst > limit_bytes_) break;
    }
    if (!table_.keeps(cand, k_)) continue;
    // The frequent pairs, not the stored pairs, decide at k = 3; at k > 3 a
    // subset missing from previous is infrequent or fails an anti-monotone
    // constraint, since the stores keep every other frequent itemset.
    const bool subsets_frequent =
        k_ == 3 ? pairs_->contains(cand[1], cand[2])
                : subsets_.others_stored(cursor_);
    if (subsets_frequent) candidates.add_itemset(cand, 0, table_);
  }
  if (candidates.n_itemsets > 0) candidates.init_prefix_table(n_items_);
}

#define KESTREL_INSTANTIATE(T, T1)       \
  template class candidate_store<T, T1>; \
  template class candidate_chunks<T, T1>;
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
