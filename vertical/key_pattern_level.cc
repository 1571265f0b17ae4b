// The key-pattern vertical iteration. T is the dense item type, T1 the support
// type.
//
// An itemset X is a key pattern when its support differs from that of each of
// its subsets one item shorter. Otherwise some item a of X has
// support(X) = support(X - a), and then support(Y) = support(Y - a) for every
// superset Y of X. Each stored itemset carries either the key mark T(-1) or one
// such item a; a candidate that is not a key gets its support from a subset
// without any intersection.
//
// Soundness of the inferences here. Every identity support(X) = support(X - a) is
// one of the data in the bit matrix: it is recorded only after counting X there,
// or derived from such identities. At the first vertical level every record is
// the key mark, so no support counted on earlier, larger data enters an
// inference; a count on the bit matrix equal to a smaller-or-equal subset support
// counted earlier still proves the identity on the bit matrix, since dropping
// transactions can only lower supports. A subset absent from the previous store
// is infrequent or fails an anti-monotone constraint (stores keep every other
// itemset), and in either case so does the candidate.
#include <vector>

#include "levels/join_cursor.h"
#include "util/stopwatch.h"
#include "util/widths.h"
#include "vertical/intersection_levels.h"
#include "vertical/level_output.h"

namespace {

constexpr int kNotFound = -1;

// Candidate without the item at position skip, into out (k-1 items).
template <class T>
void without_position(const T* cand, int k, int skip, T* out) {
  int w = 0;
  for (int q = 0; q < k; ++q) {
    if (q != skip) out[w++] = cand[q];
  }
}

// Position of item a in cand, or kNotFound.
template <class T>
int position_of(const T* cand, int k, T a) {
  for (int q = 0; q < k; ++q) {
    if (cand[q] == a) return q;
  }
  return kNotFound;
}

// What one candidate C = P+x+y (the join of P+x and P+y) turns out to be.
template <class T, class T1>
struct key_verdict {
  enum { skip, store, count } action = skip;
  T1 support = 0;    // store: the inferred support
  T record = 0;      // store: the item whose removal keeps the support
  T1 least = 0;      // count: the least support of C's (k-1)-subsets, all keys
  T least_item = 0;  // count: the item whose removal gives that subset
};

// Infers C's support from its subsets where one of them is no key pattern;
// otherwise asks for C to be counted, with the least subset support m and its
// item r (C is no key when its count equals m).
template <class T, class T1>
key_verdict<T, T1> examine_subsets(const frequent_level<T, T1>& previous,
                                   const candidate_cursor<T, T1>& cursor, int k, T* subset) {
  const T kKey = static_cast<T>(-1);
  const T* cand = cursor.candidate();
  const T x = cand[k - 2], y = cand[k - 1];
  const T a_i = cursor.key_i(), a_j = cursor.key_j();
  const T1 s_i = cursor.support_i(), s_j = cursor.support_j();
  key_verdict<T, T1> v;
  // Looks up C without item a (an item of C): stores its support on success.
  auto infer_without = [&](T a) {
    without_position(cand, k, position_of(cand, k, a), subset);
    if (previous.lookup(subset, &v.support, nullptr)) {
      v.action = key_verdict<T, T1>::store;
      v.record = a;
    }
    return v;
  };

  if (a_i == x) {  // support(P+x) = support(P): C has the support of P+y
    v.action = key_verdict<T, T1>::store;
    v.support = s_j;
    v.record = x;
    return v;
  }
  if (a_j == y) {  // support(P+y) = support(P): C has the support of P+x
    v.action = key_verdict<T, T1>::store;
    v.support = s_i;
    v.record = y;
    return v;
  }
  // a is an item of P removable without change.
  if (a_i != kKey || a_j != kKey) return infer_without(a_i != kKey ? a_i : a_j);

  // Both joined itemsets are keys: examine the other (k-1)-subsets.
  if (s_i < s_j) {
    v.least = s_i;
    v.least_item = y;
  } else {
    v.least = s_j;
    v.least_item = x;
  }
  for (int p = k - 3; p >= 0; --p) {
    without_position(cand, k, p, subset);
    T1 support;
    T key;
    if (!previous.lookup(subset, &support, &key)) return v;  // an infrequent subset
    if (key != kKey) {
      // The subset is no key: neither is C, and dropping the subset's record b
      // from C keeps its support. C without b absent means C is infrequent.
      return infer_without(key);
    }
    if (support <= v.least) {
      v.least = support;
      v.least_item = cand[p];
    }
  }
  v.action = key_verdict<T, T1>::count;
  return v;
}

}  // namespace

template <class T, class T1>
void intersect_level_key_patterns(run_context& run, int k, item_table& items,
                                  frequent_level<T, T1>& previous, frequent_level<T, T1>& next,
                                  bit_matrix<T>& matrix, typed_constraints<T>& table) {
  stopwatch clock;
  clock.start();
  next.clear(k);
  next.keys.clear();
  const T kKey = static_cast<T>(-1);
  // Records missing (the level was not built by this iteration and the driver
  // did not mark it): the key mark for all is always sound, it only forgoes
  // inference.
  if (previous.keys.size() != static_cast<std::size_t>(previous.n_itemsets))
    previous.keys.assign(static_cast<std::size_t>(previous.n_itemsets), kKey);
  candidate_cursor<T, T1> cursor(previous, k, items.n_items, true);
  if (!cursor.valid()) return;
  intersection_stats stats;
  matrix.start_iteration(k, false);
  const std::uint32_t min_count = items.min_count;
  level_counters counters;
  std::vector<T> subset(k - 1);
  const T* cand = cursor.candidate();
  auto store = [&](T1 support, T record) {
    next.add_itemset(cand, support, table);
    next.keys.push_back(record);
    ++counters.frequent;
  };

  do {
    ++counters.examined;
    if (!table.keeps(cand, k)) continue;
    const key_verdict<T, T1> v = examine_subsets(previous, cursor, k, subset.data());
    if (v.action == key_verdict<T, T1>::store) store(v.support, v.record);
    if (v.action != key_verdict<T, T1>::count) continue;
    const int s = cursor.share_with_counted();
    std::uint32_t count = 0;
    if (!matrix.candidate_is_frequent_compact(cand, s, k, min_count, count, stats)) continue;
    if (count == v.least)
      store(v.least, v.least_item);
    else
      store(static_cast<T1>(count), kKey);
  } while (cursor.advance());

  write_level(run, k, items, next, table, counters);
  print_vertical_row(run.report, "zaxdk", k, counters, matrix.size_bytes, clock.seconds());
}

#define KESTREL_INSTANTIATE(T, T1)                                                    \
  template void intersect_level_key_patterns<T, T1>(                                  \
      run_context&, int, item_table&, frequent_level<T, T1>&, frequent_level<T, T1>&, \
      bit_matrix<T>&, typed_constraints<T>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
