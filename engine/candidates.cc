// Candidate generation, the pair-prefix index and quick_sort. T is the dense item
// type, T1 the support type.
#include "engine/candidates.h"

#include <cassert>
#include <string>
#include <utility>

#include "util/error.h"
#include "util/memory.h"

template <class T, class T1>
void candidate_store<T, T1>::init_prefix_table(std::uint32_t n) {
  table_items = n;
  table_size = number_of_pairs(n) + 1;
  if (this->prefixes.size() >= 0xFFFFFFFFu)
    throw run_error("too many candidates (" + std::to_string(this->n_itemsets) + ")");
  const std::uint64_t limit = dense_index_limit != 0 ? dense_index_limit : mem_total() / 16;
  dense_index = table_size * sizeof(std::uint32_t) <= limit;
  const std::size_t step = static_cast<std::size_t>(this->k - 1);
  const auto total = static_cast<std::uint32_t>(this->prefixes.size());
  constexpr std::uint32_t kUnset = 0xFFFFFFFFu;
  if (!dense_index) {
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
    return;
  }
  first_table.clear();
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

// True when every (k-1)-subset of cand other than the two joined itemsets is in
// previous. cand has k >= 4 items, ascending. The subset without cand[r] has the
// prefix cand[0..k-2] minus cand[r] and the suffix cand[k-1]; as r decreases the
// subsets grow lexicographically, so the group search only moves forward.
template <class T, class T1>
bool subsets_stored(const frequent_level<T, T1>& previous, const T* cand, int k,
                    std::vector<T>& sub) {
  const int plen = k - 2;  // prefix length of previous
  int lo = 0;
  const int groups = previous.number_of_groups();
  for (int r = k - 3; r >= 0; --r) {
    for (int q = 0, w = 0; q < k - 1; ++q)
      if (q != r) sub[w++] = cand[q];
    int hi = groups - 1, found = -1;
    while (lo <= hi) {
      const int mid = lo + (hi - lo) / 2;
      const T* p = previous.prefixes.data() + static_cast<std::size_t>(mid) * plen;
      int q = 0;
      while (q < plen && p[q] == sub[q]) ++q;
      if (q == plen) {
        found = mid;
        break;
      }
      if (p[q] < sub[q])
        lo = mid + 1;
      else
        hi = mid - 1;
    }
    if (found < 0) return false;
    const T want = cand[k - 1];
    const int last = previous.group_last[found];
    int s = previous.group_first(found);
    while (s <= last && previous.suffixes[s] < want) ++s;
    if (s > last || previous.suffixes[s] != want) return false;
    lo = found + 1;
  }
  return true;
}

}  // namespace

template <class T, class T1>
void generate_candidates(frequent_level<T, T1>& previous, candidate_store<T, T1>& candidates,
                    item_table& items, int k, const pair_counters<T1>* pairs,
                    typed_constraints<T>& table) {
  candidates.clear(k);
  if (!previous.start_join()) return;
  assert(k >= 3);
  assert(k > 3 || pairs != nullptr);
  std::vector<T> cand(k), sub(k);
  previous.get_prefix(cand.data());
  previous.get_suffix(cand.data() + k - 2);
  const std::uint32_t min_count = items.min_count;
  while (true) {
    bool keep = table.keeps(cand.data(), k);
    if (keep) {
      // The pair counters, not the stored pairs, decide at k = 3; at k > 3 a
      // subset missing from previous is infrequent or fails an anti-monotone
      // constraint, since the stores keep every other frequent itemset.
      if (k == 3)
        keep = pairs->count(cand[1], cand[2]) >= min_count;
      else
        keep = subsets_stored(previous, cand.data(), k, sub);
    }
    if (keep) candidates.add_itemset(cand.data(), 0, table);
    const join_step step = previous.next_join();
    if (step == join_step::none) break;
    if (step == join_step::new_prefix) previous.get_prefix(cand.data());
    previous.get_suffix(cand.data() + k - 2);
  }
  if (candidates.n_itemsets > 0) candidates.init_prefix_table(items.n_items);
}

template <class T>
void quick_sort(T* a, int lo, int hi) {
  while (lo < hi) {
    const T pivot = a[lo];
    int i = lo - 1, j = hi + 1;
    while (true) {
      do --j;
      while (a[j] > pivot);
      do ++i;
      while (a[i] < pivot);
      if (i >= j) break;
      std::swap(a[i], a[j]);
    }
    // Recurse into the left part, loop on the right one.
    quick_sort(a, lo, j);
    lo = j + 1;
  }
}

template class candidate_store<std::uint8_t, std::uint8_t>;
template class candidate_store<std::uint8_t, std::uint16_t>;
template class candidate_store<std::uint8_t, std::uint32_t>;
template class candidate_store<std::uint16_t, std::uint8_t>;
template class candidate_store<std::uint16_t, std::uint16_t>;
template class candidate_store<std::uint16_t, std::uint32_t>;
template class candidate_store<std::uint32_t, std::uint8_t>;
template class candidate_store<std::uint32_t, std::uint16_t>;
template class candidate_store<std::uint32_t, std::uint32_t>;

template void generate_candidates<std::uint8_t, std::uint8_t>(
    frequent_level<std::uint8_t, std::uint8_t>&, candidate_store<std::uint8_t, std::uint8_t>&,
    item_table&, int, const pair_counters<std::uint8_t>*, typed_constraints<std::uint8_t>&);
template void generate_candidates<std::uint8_t, std::uint16_t>(
    frequent_level<std::uint8_t, std::uint16_t>&, candidate_store<std::uint8_t, std::uint16_t>&,
    item_table&, int, const pair_counters<std::uint16_t>*, typed_constraints<std::uint8_t>&);
template void generate_candidates<std::uint8_t, std::uint32_t>(
    frequent_level<std::uint8_t, std::uint32_t>&, candidate_store<std::uint8_t, std::uint32_t>&,
    item_table&, int, const pair_counters<std::uint32_t>*, typed_constraints<std::uint8_t>&);
template void generate_candidates<std::uint16_t, std::uint8_t>(
    frequent_level<std::uint16_t, std::uint8_t>&, candidate_store<std::uint16_t, std::uint8_t>&,
    item_table&, int, const pair_counters<std::uint8_t>*, typed_constraints<std::uint16_t>&);
template void generate_candidates<std::uint16_t, std::uint16_t>(
    frequent_level<std::uint16_t, std::uint16_t>&, candidate_store<std::uint16_t, std::uint16_t>&,
    item_table&, int, const pair_counters<std::uint16_t>*, typed_constraints<std::uint16_t>&);
template void generate_candidates<std::uint16_t, std::uint32_t>(
    frequent_level<std::uint16_t, std::uint32_t>&, candidate_store<std::uint16_t, std::uint32_t>&,
    item_table&, int, const pair_counters<std::uint32_t>*, typed_constraints<std::uint16_t>&);
template void generate_candidates<std::uint32_t, std::uint8_t>(
    frequent_level<std::uint32_t, std::uint8_t>&, candidate_store<std::uint32_t, std::uint8_t>&,
    item_table&, int, const pair_counters<std::uint8_t>*, typed_constraints<std::uint32_t>&);
template void generate_candidates<std::uint32_t, std::uint16_t>(
    frequent_level<std::uint32_t, std::uint16_t>&, candidate_store<std::uint32_t, std::uint16_t>&,
    item_table&, int, const pair_counters<std::uint16_t>*, typed_constraints<std::uint32_t>&);
template void generate_candidates<std::uint32_t, std::uint32_t>(
    frequent_level<std::uint32_t, std::uint32_t>&, candidate_store<std::uint32_t, std::uint32_t>&,
    item_table&, int, const pair_counters<std::uint32_t>*, typed_constraints<std::uint32_t>&);

template void quick_sort<std::uint8_t>(std::uint8_t*, int, int);
template void quick_sort<std::uint16_t>(std::uint16_t*, int, int);
template void quick_sort<std::uint32_t>(std::uint32_t*, int, int);
