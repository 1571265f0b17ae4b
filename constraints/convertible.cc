#include "constraints/convertible.h"

#include <algorithm>

#include "util/widths.h"

namespace {

// Common head of every before_counting: nothing unless this constraint set the
// order; a transaction shorter than k holds no itemset of k items. Returns
// whether the class-specific test should run.
template <class T>
bool precount_head(transaction_view<T>& t, int k, bool order_holds) {
  if (!order_holds || k < 1) return false;
  if (t.length < static_cast<std::uint32_t>(k)) {
    t.length = 0;
    return false;
  }
  return true;
}

// Drops the last item of t while no itemset of m >= k+1 items that holds it can
// satisfy the mean bound (dir = +1: mean >= t under descending values; dir = -1:
// mean <= t under ascending values). The best such itemset is e[0..m-2] plus
// the last item. Its mean f(m), as m grows, moves toward the bound while the
// added value lies on the bound's side of f(m) and, once it turns, keeps moving
// away (the values are ordered): the scan stops there.
template <class C, class T>
void drop_unreachable_tail(const C& c, transaction_view<T>& t, int k, int dir) {
  const std::uint32_t uk = static_cast<std::uint32_t>(k);
  if (t.length <= uk) {
    t.length = 0;
    return;
  }
  std::uint64_t s_k = 0;
  for (std::uint32_t i = 0; i < uk; ++i) s_k += c.value(t.items[i]);
  while (t.length > uk) {
    const std::uint32_t L = t.length;
    const std::uint64_t last = c.value(t.items[L - 1]);
    std::uint64_t s = s_k;  // sum of e[0..m-2]
    for (std::uint32_t m = uk + 1; m <= L; ++m) {
      const std::uint64_t with_last = s + last;
      if (compare_scaled(with_last, c.p.threshold, m) * dir >= 0) return;  // reachable
      if (m == L) break;
      const std::uint64_t next = c.value(t.items[m - 1]);
      const u128 scaled = static_cast<u128>(next) * m;
      const int side = scaled > with_last ? 1 : (scaled < with_last ? -1 : 0);
      if (side * dir < 0) break;  // f only moves away from the bound from here
      s += next;
    }
    t.length = L - 1;
  }
}

// Whether value v fails a bound t that a mean or median must reach (dir = +1:
// v < t; dir = -1: v > t). Adding values that all fail it to a multiset whose
// mean or median fails it keeps both failing: an itemset that fails such a
// bound, and whose last item's value fails it too, closes its extensions
// (the items after it in the order have values no better than the last's).
inline bool fails_bound(std::uint64_t v, std::int64_t t, int dir) {
  return compare_scaled(v, t, 1) * dir < 0;
}

}  // namespace

// ---- mean_at_least_convertible ----
//
// Order descending: e[0..k-1] are the k largest values of t. Without prefix
// values their mean bounds the mean of every itemset of k or more items in t.
// With prefix values it does not (prefix {0}, values 10,10: the pair reaches a
// mean of 20/3 while a single 10 reaches only 5), so nothing is pruned then.

template <class T>
bool mean_at_least_convertible<T>::holds(const T* items, int n) {
  return mean_at_least_convertible::holds_summary(this->summary(items, n));
}

template <class T>
bool mean_at_least_convertible<T>::holds_summary(const Summary& s) const {
  return mean_at_least(s, this->p.threshold);
}

template <class T>
bool mean_at_least_convertible<T>::closes_extensions(const T* items, int n) {
  return fails_bound(this->value(items[n - 1]), this->p.threshold, +1) && !holds(items, n);
}

template <class T>
void mean_at_least_convertible<T>::before_counting(transaction_view<T>& t, int k,
                                                   bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  std::uint64_t s = 0;
  for (int i = 0; i < k; ++i) s += this->value(t.items[i]);
  if (compare_scaled(s, this->p.threshold, static_cast<u128>(k)) < 0) t.length = 0;
}

template <class T>
void mean_at_least_convertible<T>::after_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!order_holds || k < 1 || this->p.prefix.n != 0) return;
  drop_unreachable_tail(*this, t, k, +1);
}

// ---- mean_at_most_convertible ---- (the mirror image: ascending order, mean at most t)

template <class T>
bool mean_at_most_convertible<T>::holds(const T* items, int n) {
  return mean_at_most_convertible::holds_summary(this->summary(items, n));
}

template <class T>
bool mean_at_most_convertible<T>::holds_summary(const Summary& s) const {
  return mean_at_most(s, this->p.threshold, true);
}

template <class T>
bool mean_at_most_convertible<T>::closes_extensions(const T* items, int n) {
  return fails_bound(this->value(items[n - 1]), this->p.threshold, -1) && !holds(items, n);
}

template <class T>
void mean_at_most_convertible<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  std::uint64_t s = 0;
  for (int i = 0; i < k; ++i) s += this->value(t.items[i]);
  if (compare_scaled(s, this->p.threshold, static_cast<u128>(k)) > 0) t.length = 0;
}

template <class T>
void mean_at_most_convertible<T>::after_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!order_holds || k < 1 || this->p.prefix.n != 0) return;
  drop_unreachable_tail(*this, t, k, -1);
}

// ---- min_at_most_convertible ---- (ascending: e[0] holds the smallest value of t)

template <class T>
bool min_at_most_convertible<T>::holds(const T* items, int n) {
  return min_at_most_convertible::holds_summary(this->summary(items, n));
}

template <class T>
bool min_at_most_convertible<T>::holds_summary(const Summary& s) const {
  return min_at_most(s, this->p.bound);
}

// Later items have larger values: the minimum stays what it is.
template <class T>
bool min_at_most_convertible<T>::closes_extensions(const T* items, int n) {
  return !holds(items, n);
}

// No itemset of t has a smaller minimum than the prefix's and e[0]'s.
template <class T>
void min_at_most_convertible<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds)) return;
  if (std::min(this->p.prefix.min, this->value(t.items[0])) > this->p.bound) t.length = 0;
}

// ---- max_at_least_convertible ---- (descending: e[0] holds the largest value of t)

template <class T>
bool max_at_least_convertible<T>::holds(const T* items, int n) {
  return max_at_least_convertible::holds_summary(this->summary(items, n));
}

template <class T>
bool max_at_least_convertible<T>::holds_summary(const Summary& s) const {
  return max_at_least(s, this->p.bound, this->p.bound == 0);
}

// Later items have smaller values: the maximum stays what it is.
template <class T>
bool max_at_least_convertible<T>::closes_extensions(const T* items, int n) {
  return !holds(items, n);
}

// No itemset of t has a larger maximum than the prefix's and e[0]'s.
template <class T>
void max_at_least_convertible<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds)) return;
  if (std::max(this->p.prefix.max, this->value(t.items[0])) < this->p.bound) t.length = 0;
}

// ---- median_at_least_convertible ---- (descending: e[0..k-1] are the k largest values)
//
// Without prefix values the median of the k largest values bounds the median
// of every itemset of k or more items in t; with prefix values it does not.

template <class T>
bool median_at_least_convertible<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, +1);
}

template <class T>
bool median_at_least_convertible<T>::closes_extensions(const T* items, int n) {
  return fails_bound(this->value(items[n - 1]), this->p.threshold, +1) && !holds(items, n);
}

template <class T>
void median_at_least_convertible<T>::before_counting(transaction_view<T>& t, int k,
                                                     bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  if (!holds(t.items, k)) t.length = 0;
}

// ---- median_at_most_convertible ---- (ascending: the mirror image)

template <class T>
bool median_at_most_convertible<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, -1);
}

template <class T>
bool median_at_most_convertible<T>::closes_extensions(const T* items, int n) {
  return fails_bound(this->value(items[n - 1]), this->p.threshold, -1) && !holds(items, n);
}

template <class T>
void median_at_most_convertible<T>::before_counting(transaction_view<T>& t, int k,
                                                    bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  if (!holds(t.items, k)) t.length = 0;
}

// ---- range_at_most_convertible ---- (ascending)

template <class T>
bool range_at_most_convertible<T>::holds(const T* items, int n) {
  return range_at_most_convertible::holds_summary(this->summary(items, n));
}

template <class T>
bool range_at_most_convertible<T>::holds_summary(const Summary& s) const {
  return range_at_most(s, this->p.bound);
}

// Later items have larger values: the range only widens.
template <class T>
bool range_at_most_convertible<T>::closes_extensions(const T* items, int n) {
  return !holds(items, n);
}

// With values ascending, the narrowest itemsets of k items are windows of k
// consecutive items, and a longer itemset contains one: t is emptied only when
// every window (with the prefix extremes) is too wide. Testing the first
// window alone would be wrong: values 1,5,6 with k = 2 and bound 2 keep {5,6}.
template <class T>
void range_at_most_convertible<T>::before_counting(transaction_view<T>& t, int k,
                                                   bool order_holds) {
  if (!precount_head(t, k, order_holds)) return;
  const std::uint32_t L = t.length, uk = static_cast<std::uint32_t>(k);
  if (this->p.prefix.n + uk <= 1) return;  // a single value always holds
  for (std::uint32_t i = 0; i + uk <= L; ++i) {
    std::uint32_t lo = std::min(this->p.prefix.min, this->value(t.items[i]));
    std::uint32_t hi = std::max(this->p.prefix.max, this->value(t.items[i + uk - 1]));
    if (hi - lo <= this->p.bound) return;
  }
  t.length = 0;
}

KESTREL_SUMMARISED_TESTS(mean_at_least_convertible)
KESTREL_SUMMARISED_TESTS(mean_at_most_convertible)
KESTREL_SUMMARISED_TESTS(min_at_most_convertible)
KESTREL_SUMMARISED_TESTS(max_at_least_convertible)
KESTREL_SUMMARISED_TESTS(range_at_most_convertible)

#define KESTREL_INSTANTIATE(T)                   \
  template class convertible_base<T>;            \
  template class mean_at_least_convertible<T>;   \
  template class mean_at_most_convertible<T>;    \
  template class min_at_most_convertible<T>;     \
  template class max_at_least_convertible<T>;    \
  template class median_at_least_convertible<T>; \
  template class median_at_most_convertible<T>;  \
  template class range_at_most_convertible<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
