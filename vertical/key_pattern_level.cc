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

#include "util/stopwatch.h"
#include "vertical/iteration_common.h"
#include "vertical/intersection_levels.h"

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

}  // namespace

template <class T, class T1>
void intersect_level_key_patterns(int k, item_table& items, frequent_level<T, T1>& previous,
                          frequent_level<T, T1>& next, bit_matrix<T>& vd,
                          typed_constraints<T>& table) {
  stopwatch clock;
  clock.start();
  next.clear(k);
  next.keys.clear();
  if (!previous.start_join()) return;
  const T kKey = static_cast<T>(-1);
  // Records missing (the level was not built by this iteration and the driver
  // did not mark it): the key mark for all is always sound, it only forgoes
  // inference.
  if (previous.keys.size() != static_cast<std::size_t>(previous.n_itemsets))
    previous.keys.assign(static_cast<std::size_t>(previous.n_itemsets), kKey);
  candidate_cursor<T, T1> cursor(previous, k, items.n_items, true);
  intersection_stats stats;
  vd.start_iteration(k, false);
  const std::uint32_t min_count = items.min_count;
  level_counters counters;
  std::vector<T> subset(k - 1);
  const T* cand = cursor.candidate();

  auto store = [&](T1 support, T record) {
    next.add_itemset(cand, support, table);
    next.keys.push_back(record);
    ++counters.frequent;
  };
  // Looks up cand without item a (an item of cand); the support on success.
  auto lookup_without = [&](T a, T1* support, T* key) {
    without_position(cand, k, position_of(cand, k, a), subset.data());
    return previous.lookup(subset.data(), support, key);
  };

  do {
    ++counters.examined;
    if (!table.keeps(cand, k)) continue;
    const T x = cand[k - 2], y = cand[k - 1];
    const T a_i = cursor.key_i(), a_j = cursor.key_j();
    const T1 s_i = cursor.support_i(), s_j = cursor.support_j();

    if (a_i == x) {  // support(P+x) = support(P): C has the support of P+y
      store(s_j, x);
      continue;
    }
    if (a_j == y) {  // support(P+y) = support(P): C has the support of P+x
      store(s_i, y);
      continue;
    }
    if (a_i != kKey || a_j != kKey) {  // a is an item of P removable without change
      const T a = a_i != kKey ? a_i : a_j;
      T1 support;
      if (lookup_without(a, &support, nullptr)) store(support, a);
      continue;
    }

    // Both joined itemsets are keys: examine the other (k-1)-subsets.
    T1 m;
    T r;
    if (s_i < s_j) {
      m = s_i;
      r = y;
    } else {
      m = s_j;
      r = x;
    }
    bool count_it = true;
    for (int p = k - 3; p >= 0; --p) {
      without_position(cand, k, p, subset.data());
      T1 support;
      T key;
      if (!previous.lookup(subset.data(), &support, &key)) {  // an infrequent subset
        count_it = false;
        break;
      }
      if (key == kKey) {
        if (support <= m) {
          m = support;
          r = cand[p];
        }
        continue;
      }
      // The subset is no key: neither is C, and dropping the subset's record b
      // from C keeps its support. C without b absent means C is infrequent.
      count_it = false;
      T1 inferred;
      if (lookup_without(key, &inferred, nullptr)) store(inferred, key);
      break;
    }
    if (!count_it) continue;

    const int s = cursor.share_with_counted();
    std::uint32_t count = 0;
    if (!vd.candidate_is_frequent_compact(cand, s, k, min_count, count, stats)) continue;
    if (count == m) {
      store(m, r);
    } else {
      store(static_cast<T1>(count), kKey);
    }
  } while (cursor.advance());

  write_level(k, items, next, table, counters);
  print_vertical_row("zaxdk\t", k, counters, vd.size_bytes, clock.seconds());
}

#define KESTREL_KEY_SIGNATURE(T, T1)                                                              \
  (int, item_table&, frequent_level<T, T1>&, frequent_level<T, T1>&, bit_matrix<T>&, \
   typed_constraints<T>&)

template void intersect_level_key_patterns<std::uint8_t, std::uint8_t> KESTREL_KEY_SIGNATURE(std::uint8_t,
                                                                                     std::uint8_t);
template void intersect_level_key_patterns<std::uint8_t, std::uint16_t> KESTREL_KEY_SIGNATURE(
    std::uint8_t, std::uint16_t);
template void intersect_level_key_patterns<std::uint8_t, std::uint32_t> KESTREL_KEY_SIGNATURE(
    std::uint8_t, std::uint32_t);
template void intersect_level_key_patterns<std::uint16_t, std::uint8_t> KESTREL_KEY_SIGNATURE(std::uint16_t,
                                                                                      std::uint8_t);
template void intersect_level_key_patterns<std::uint16_t, std::uint16_t> KESTREL_KEY_SIGNATURE(
    std::uint16_t, std::uint16_t);
template void intersect_level_key_patterns<std::uint16_t, std::uint32_t> KESTREL_KEY_SIGNATURE(
    std::uint16_t, std::uint32_t);
template void intersect_level_key_patterns<std::uint32_t, std::uint8_t> KESTREL_KEY_SIGNATURE(std::uint32_t,
                                                                                      std::uint8_t);
template void intersect_level_key_patterns<std::uint32_t, std::uint16_t> KESTREL_KEY_SIGNATURE(
    std::uint32_t, std::uint16_t);
template void intersect_level_key_patterns<std::uint32_t, std::uint32_t> KESTREL_KEY_SIGNATURE(
    std::uint32_t, std::uint32_t);
