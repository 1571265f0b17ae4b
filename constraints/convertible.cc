#include "constraints/convertible.h"

#include <algorithm>

#include "constraints/filing.h"

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

}  // namespace

// ---- AVGGEQ ----
//
// Order descending: e[0..k-1] are the k largest values of t. Without prefix
// values their mean bounds the mean of every itemset of k or more items in t.
// With prefix values it does not (prefix {0}, values 10,10: the pair reaches a
// mean of 20/3 while a single 10 reaches only 5), so nothing is pruned then.

template <class T>
Constraint<std::uint32_t>* AVGGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<AVGGEQ<std::uint32_t>>("avggeq2", params, set.cam_table);
}

template <class T>
bool AVGGEQ<T>::holds(const T* items, int n) {
  return mean_at_least(this->summary(items, n), this->p.threshold);
}

template <class T>
void AVGGEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  std::uint64_t s = 0;
  for (int i = 0; i < k; ++i) s += this->value(t.items[i]);
  if (compare_scaled(s, this->p.threshold, static_cast<u128>(k)) < 0) t.length = 0;
}

template <class T>
void AVGGEQ<T>::after_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!order_holds || k < 1 || this->p.prefix.n != 0) return;
  drop_unreachable_tail(*this, t, k, +1);
}

// ---- AVGLEQ ---- (the mirror image: ascending order, mean at most t)

template <class T>
Constraint<std::uint32_t>* AVGLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<AVGLEQ<std::uint32_t>>("avgleq2", params, set.cam_table);
}

template <class T>
bool AVGLEQ<T>::holds(const T* items, int n) {
  return mean_at_most(this->summary(items, n), this->p.threshold, true);
}

template <class T>
void AVGLEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  std::uint64_t s = 0;
  for (int i = 0; i < k; ++i) s += this->value(t.items[i]);
  if (compare_scaled(s, this->p.threshold, static_cast<u128>(k)) > 0) t.length = 0;
}

template <class T>
void AVGLEQ<T>::after_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!order_holds || k < 1 || this->p.prefix.n != 0) return;
  drop_unreachable_tail(*this, t, k, -1);
}

// ---- MINLEQ ---- (ascending: e[0] holds the smallest value of t)

template <class T>
Constraint<std::uint32_t>* MINLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_wrapping<MINLEQ<std::uint32_t>>("minleq2", params, set.cam_table);
}

template <class T>
bool MINLEQ<T>::holds(const T* items, int n) {
  return min_at_most(this->summary(items, n), this->p.bound);
}

// No itemset of t has a smaller minimum than the prefix's and e[0]'s.
template <class T>
void MINLEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds)) return;
  if (std::min(this->p.prefix.min, this->value(t.items[0])) > this->p.bound) t.length = 0;
}

// ---- MAXGEQ ---- (descending: e[0] holds the largest value of t)

template <class T>
Constraint<std::uint32_t>* MAXGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_wrapping<MAXGEQ<std::uint32_t>>("maxgeq2", params, set.cam_table);
}

template <class T>
bool MAXGEQ<T>::holds(const T* items, int n) {
  return max_at_least(this->summary(items, n), this->p.bound, this->p.bound == 0);
}

// No itemset of t has a larger maximum than the prefix's and e[0]'s.
template <class T>
void MAXGEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds)) return;
  if (std::max(this->p.prefix.max, this->value(t.items[0])) < this->p.bound) t.length = 0;
}

// ---- MEDGEQ ---- (descending: e[0..k-1] are the k largest values)
//
// Without prefix values the median of the k largest values bounds the median
// of every itemset of k or more items in t; with prefix values it does not.

template <class T>
Constraint<std::uint32_t>* MEDGEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<MEDGEQ<std::uint32_t>>("medgeq2", params, set.cam_table);
}

template <class T>
bool MEDGEQ<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, +1);
}

template <class T>
void MEDGEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  if (!holds(t.items, k)) t.length = 0;
}

// ---- MEDLEQ ---- (ascending: the mirror image)

template <class T>
Constraint<std::uint32_t>* MEDLEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_signed<MEDLEQ<std::uint32_t>>("medleq2", params, set.cam_table);
}

template <class T>
bool MEDLEQ<T>::holds(const T* items, int n) {
  return median_on_side(this->p.prefix, *this->attribute_values, items, n, this->scratch,
                        this->p.threshold, -1);
}

template <class T>
void MEDLEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
  if (!precount_head(t, k, order_holds) || this->p.prefix.n != 0) return;
  if (!holds(t.items, k)) t.length = 0;
}

// ---- RANGELEQ ---- (ascending)

template <class T>
Constraint<std::uint32_t>* RANGELEQ<T>::parse_parameters(const char* params, constraint_set& set) {
  return file_wrapping<RANGELEQ<std::uint32_t>>("rangeleq2", params, set.cam_table);
}

template <class T>
bool RANGELEQ<T>::holds(const T* items, int n) {
  return range_at_most(this->summary(items, n), this->p.bound);
}

// With values ascending, the narrowest itemsets of k items are windows of k
// consecutive items, and a longer itemset contains one: t is emptied only when
// every window (with the prefix extremes) is too wide. Testing the first
// window alone would be wrong: values 1,5,6 with k = 2 and bound 2 keep {5,6}.
template <class T>
void RANGELEQ<T>::before_counting(transaction_view<T>& t, int k, bool order_holds) {
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

template class ConvertibleBase<std::uint8_t>;
template class ConvertibleBase<std::uint16_t>;
template class ConvertibleBase<std::uint32_t>;
template class AVGGEQ<std::uint8_t>;
template class AVGGEQ<std::uint16_t>;
template class AVGGEQ<std::uint32_t>;
template class AVGLEQ<std::uint8_t>;
template class AVGLEQ<std::uint16_t>;
template class AVGLEQ<std::uint32_t>;
template class MINLEQ<std::uint8_t>;
template class MINLEQ<std::uint16_t>;
template class MINLEQ<std::uint32_t>;
template class MAXGEQ<std::uint8_t>;
template class MAXGEQ<std::uint16_t>;
template class MAXGEQ<std::uint32_t>;
template class MEDGEQ<std::uint8_t>;
template class MEDGEQ<std::uint16_t>;
template class MEDGEQ<std::uint32_t>;
template class MEDLEQ<std::uint8_t>;
template class MEDLEQ<std::uint16_t>;
template class MEDLEQ<std::uint32_t>;
template class RANGELEQ<std::uint8_t>;
template class RANGELEQ<std::uint16_t>;
template class RANGELEQ<std::uint32_t>;
