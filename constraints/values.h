// Exact arithmetic on the attribute values of an itemset, shared by every
// attribute constraint.
//
// V is the multiset of values of P ∪ X: the prefix items P ("supseteq") and the
// tested items X. Values are unsigned 32-bit; every statistic is decided by an
// integer comparison (sums in 64 bits, squares and products in unsigned
// __int128), so no rounding can flip an answer at a bound:
//   mean >= t          as  S >= t*n
//   median >= t        as  2*median >= 2*t
//   variance >= t      as  n*Σx² - S² >= t*n²
//   sample var >= t    as  n*Σx² - S² >= t*n*(n-1)
//   mean |dev| >= t    as  Σ|n*x - S| >= t*n²
// n stays far below 2^32 (it is an itemset length), so n² * 2^64 fits 128 bits.
#pragma once

#include <cstdint>
#include <vector>

using u128 = unsigned __int128;

// The prefix items folded once (fold_prefix): their number, values and extremes.
struct PrefixFold {
  std::uint64_t n = 0;  // number of prefix items
  std::uint64_t sum = 0;
  u128 sumsq = 0;
  std::uint32_t min = UINT32_MAX;
  std::uint32_t max = 0;
  std::vector<std::uint32_t> values;  // in prefix_items order
  // Recomputes everything from prefix_items; column (by input id) may be null
  // for constraints without an attribute. A prefix item beyond the column's
  // end has no value: it takes 0 (such an item never occurs in the data, so
  // no itemset containing it is ever written).
  void fold(const std::vector<std::uint32_t>* column,
            const std::vector<std::uint32_t>& prefix_items);
};

// Parameters and prefix state of one constraint instance. One plain struct
// serves every class, so a typed clone copies it whole whatever T is.
struct ConstraintParams {
  std::int64_t threshold = 0;       // signed thresholds (sum, avg, med, var, ...)
  std::uint32_t bound = 0;          // unsigned thresholds (acount, min, max, range, ...)
  std::uint32_t counted_value = 0;  // acount: the value counted
  std::uint64_t prefix_count = 0;   // acount: prefix values equal to counted_value
  PrefixFold prefix;
  std::vector<std::uint32_t> list;        // listed items or attribute values, sorted
  std::vector<std::uint32_t> prefix_ids;  // sorted input ids of the prefix items
  bool prefix_ok = true;                  // item-wise constraints: every prefix item passes
};

// The values of P ∪ X summarised. counted: how many of them equal one value
// (acount's), for the constraints that count one. A median's summary (fields
// kSplit) reads counted, min and max otherwise: see median_split.
struct Summary {
  std::uint64_t n;
  std::uint64_t sum;
  u128 sumsq;
  std::uint32_t min;
  std::uint32_t max;
  std::uint64_t counted;
};

// s with one more value v; counted_value is the value s.counted counts.
inline Summary with_value(const Summary& s, std::uint32_t v, std::uint32_t counted_value) {
  return {s.n + 1,
          s.sum + v,
          s.sumsq + static_cast<u128>(v) * v,
          v < s.min ? v : s.min,
          v > s.max ? v : s.max,
          s.counted + (v == counted_value ? 1 : 0)};
}

// The summary of the prefix values alone, from p's fold (prefix_count: the
// prefix values equal to counted_value).
inline Summary prefix_summary(const ConstraintParams& p) {
  return {p.prefix.n, p.prefix.sum, p.prefix.sumsq, p.prefix.min, p.prefix.max, p.prefix_count};
}

template <class T>
Summary summarize(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                  const T* items, int k);

// 2 * median of V (n >= 1); scratch is reused between calls.
template <class T>
std::uint64_t twice_median(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                           const T* items, int k, std::vector<std::uint32_t>& scratch);

// n, min and max of V only (sum and sumsq stay 0): for the tests of the
// extremes, which monotone constraints ask once per transaction.
template <class T>
Summary extremes(const PrefixFold& prefix, const std::vector<std::uint32_t>& column, const T* items,
                 int k) {
  Summary s{prefix.n + static_cast<std::uint64_t>(k > 0 ? k : 0), 0, 0, prefix.min, prefix.max, 0};
  for (int i = 0; i < k; ++i) {
    const std::uint32_t v = column[items[i]];
    if (v < s.min) s.min = v;
    if (v > s.max) s.max = v;
  }
  return s;
}

// Σ |n*x - S| over V, with n and S those of V.
template <class T>
u128 abs_deviation_sum(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                       const T* items, int k, std::uint64_t n, std::uint64_t sum);

// Sign of a - t*m (-1, 0, 1) for a signed t; exact for t*m below 2^127.
// Inline: the tests along a group ask it once per itemset.
inline int compare_scaled(u128 a, std::int64_t t, u128 m) {
  if (t < 0) {
    // t*m <= 0 <= a; equal only when both are 0.
    return (m == 0 && a == 0) ? 0 : 1;
  }
  const u128 b = static_cast<u128>(static_cast<std::uint64_t>(t)) * m;
  return a < b ? -1 : (a > b ? 1 : 0);
}

inline u128 squared(std::uint64_t n) { return static_cast<u128>(n) * n; }

// One test per statistic of V, shared by every class that asks it whatever
// its kind (anti-monotone, monotone, convertible or loose). Where keywords
// disagree on the empty V, the caller says the answer (if_empty).
inline bool mean_at_least(const Summary& s, std::int64_t t) {
  return s.n >= 1 && compare_scaled(s.sum, t, s.n) >= 0;
}
inline bool mean_at_most(const Summary& s, std::int64_t t, bool if_empty) {
  return s.n == 0 ? if_empty : compare_scaled(s.sum, t, s.n) <= 0;
}
inline bool min_at_most(const Summary& s, std::uint32_t bound) {
  return s.n == 0 || s.min <= bound;
}
inline bool max_at_least(const Summary& s, std::uint32_t bound, bool if_empty) {
  return s.n == 0 ? if_empty : s.max >= bound;
}
inline bool range_at_most(const Summary& s, std::uint32_t bound) {
  return s.n <= 1 || s.max - s.min <= bound;
}
inline bool range_at_least(const Summary& s, std::uint32_t bound) {
  return s.n >= 1 && s.max - s.min >= bound;
}
// median(V) >= t (dir = +1) or median(V) <= t (dir = -1); false for an empty V.
template <class T>
bool median_on_side(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                    const T* items, int k, std::vector<std::uint32_t>& scratch, std::int64_t t,
                    int dir) {
  if (prefix.n + static_cast<std::uint64_t>(k > 0 ? k : 0) == 0) return false;
  return compare_scaled(twice_median(prefix, column, items, k, scratch), t, 2) * dir >= 0;
}

// n*Σx² - S² (never negative).
inline u128 variance_numerator(const Summary& s) {
  return static_cast<u128>(s.n) * s.sumsq - static_cast<u128>(s.sum) * s.sum;
}

// Typed copy of a constraint: the parameter/state block p, the attribute and
// the column pointer.
template <class Dst, class Src>
Dst* retyped_copy(const Src& src) {
  Dst* d = new Dst;
  d->p = src.p;
  d->attribute = src.attribute;
  d->attribute_values = src.attribute_values;
  return d;
}

// The fields of a Summary a test reads besides n and sum (which every
// summary keeps): summary_path folds only these along a walk.
enum summary_fields : unsigned { kSquares = 1, kExtremes = 2, kCounted = 4, kSplit = 8 };

// s's fields (those of `fields` besides n and sum) with one more value v, into d.
inline void fold_value(Summary& d, const Summary& s, std::uint32_t v, unsigned fields,
                       std::uint32_t counted_value) {
  d.n = s.n + 1;
  d.sum = s.sum + v;
  if (fields & kSquares) d.sumsq = s.sumsq + static_cast<u128>(v) * v;
  if (fields & kExtremes) {
    d.min = v < s.min ? v : s.min;
    d.max = v > s.max ? v : s.max;
  }
  if (fields & kCounted) d.counted = s.counted + (v == counted_value ? 1 : 0);
  if (fields & kSplit) {  // counted_value is the split
    const bool above = v >= counted_value;
    d.counted = s.counted + (above ? 1 : 0);
    d.min = above && v < s.min ? v : s.min;
    d.max = !above && v > s.max ? v : s.max;
  }
}

// A median's summary: counted is the number of values at or above a split,
// min the least of them and max the greatest value below it. The split parts
// the values on the side of t that the median must reach (dir = +1: v >= t;
// dir = -1: v <= t) from the others, so that the middle of V shows in it: with
// n odd the median is on that side exactly when more than n/2 values are; with
// n even and exactly n/2 of them, the two middle values are max and min.
inline std::uint32_t median_split(std::int64_t t, int dir) {
  if (dir > 0) return t <= 0 ? 0 : static_cast<std::uint32_t>(t);
  return t < 0 ? 0 : static_cast<std::uint32_t>(t + 1);
}
inline Summary median_root(const PrefixFold& prefix, std::uint32_t split) {
  Summary s{0, 0, 0, UINT32_MAX, 0, 0};
  for (const std::uint32_t v : prefix.values) {
    const Summary before = s;
    fold_value(s, before, v, kSplit, split);
  }
  return s;
}
// median(V) >= t (dir = +1) or <= t (dir = -1) from a median's summary split
// at median_split(t, dir); false for an empty V.
inline bool median_summary_on_side(const Summary& s, std::int64_t t, int dir) {
  if (s.n == 0) return false;
  const std::uint64_t on_side = dir > 0 ? s.counted : s.n - s.counted;
  const std::uint64_t half = s.n / 2;
  if (s.n % 2 == 1 || on_side != half) return on_side > half;
  return compare_scaled(static_cast<u128>(s.min) + s.max, t, 2) * dir >= 0;
}

// The overrides of a median class (dir = +1: median >= threshold; -1: <=),
// whose walk keeps a median's summary; holds stays the class's own.
#define KESTREL_MEDIAN_SUMMARISED(dir)                                                            \
  bool summarises(Summary& root, std::uint32_t& counted_value, unsigned& fields) const override { \
    counted_value = median_split(this->p.threshold, dir);                                         \
    root = median_root(this->p.prefix, counted_value);                                            \
    fields = kSplit;                                                                              \
    return true;                                                                                  \
  }                                                                                               \
  bool holds_summary(const Summary& s) const override {                                           \
    return median_summary_on_side(s, this->p.threshold, dir);                                     \
  }                                                                                               \
  bool holds_after(const Summary& s, std::uint32_t v) const override {                            \
    Summary d = s;                                                                                \
    fold_value(d, s, v, kSplit, median_split(this->p.threshold, dir));                            \
    return median_summary_on_side(d, this->p.threshold, dir);                                     \
  }                                                                                               \
  void keep_after_each(const Summary& s, const std::uint32_t* column, const T* last, int count,   \
                       std::uint8_t* keep) const override {                                       \
    const std::uint32_t split = median_split(this->p.threshold, dir);                             \
    for (int i = 0; i < count; ++i) {                                                             \
      Summary d = s;                                                                              \
      fold_value(d, s, column[last[i]], kSplit, split);                                           \
      if (!median_summary_on_side(d, this->p.threshold, dir)) keep[i] = 0;                        \
    }                                                                                             \
  }

// The overrides of Class, whose test reads nothing but V's Summary (its n,
// sum and the fields Fields: itemset_constraint::summarises); holds_summary is
// defined by the class. holds_after calls it directly, so the compiler keeps
// only the fields it reads.
#define KESTREL_SUMMARISED(Class, Fields)                                                         \
  bool summarises(Summary& root, std::uint32_t& counted_value, unsigned& fields) const override { \
    root = prefix_summary(this->p);                                                               \
    counted_value = this->p.counted_value;                                                        \
    fields = (Fields);                                                                            \
    return true;                                                                                  \
  }                                                                                               \
  bool holds_summary(const Summary& s) const override;                                            \
  bool holds_after(const Summary& s, std::uint32_t v) const override;                             \
  void keep_after_each(const Summary& s, const std::uint32_t* column, const T* last, int count,   \
                       std::uint8_t* keep) const override;

// The tests of KESTREL_SUMMARISED(Class, ...) that add a value and ask
// holds_summary, for the source file that defines Class::holds_summary (before
// its explicit instantiations): there the compiler puts that test inside them.
// Defined in the class, they were compiled in every file that used the class,
// and the copy the program kept called holds_summary out of line, with every
// field of the Summary laid out for it.
#define KESTREL_SUMMARISED_TESTS(Class)                                                        \
  template <class T>                                                                           \
  bool Class<T>::holds_after(const Summary& s, std::uint32_t v) const {                        \
    return Class::holds_summary(with_value(s, v, this->p.counted_value));                      \
  }                                                                                            \
  template <class T>                                                                           \
  void Class<T>::keep_after_each(const Summary& s, const std::uint32_t* column, const T* last, \
                                 int count, std::uint8_t* keep) const {                        \
    for (int i = 0; i < count; ++i)                                                            \
      if (!Class::holds_summary(with_value(s, column[last[i]], this->p.counted_value)))        \
        keep[i] = 0;                                                                           \
  }

// The three typed clones of a kind, for a class template Class over T.
#define KESTREL_CLONES(Class, Kind, fn)                   \
  Kind<std::uint8_t>* fn(std::uint8_t) const override {   \
    return retyped_copy<Class<std::uint8_t>>(*this);      \
  }                                                       \
  Kind<std::uint16_t>* fn(std::uint16_t) const override { \
    return retyped_copy<Class<std::uint16_t>>(*this);     \
  }                                                       \
  Kind<std::uint32_t>* fn(std::uint32_t) const override { \
    return retyped_copy<Class<std::uint32_t>>(*this);     \
  }
