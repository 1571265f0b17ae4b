#include "constraints/values.h"

#include <algorithm>

#include "constraints/constraint.h"

void PrefixFold::fold(const std::vector<std::uint32_t>* column,
                      const std::vector<std::uint32_t>& prefix_items) {
  *this = PrefixFold();
  for (std::uint32_t p : prefix_items) {
    std::uint32_t v = (column != nullptr && p < column->size()) ? (*column)[p] : 0;
    ++n;
    sum += v;
    sumsq += static_cast<u128>(v) * v;
    min = std::min(min, v);
    max = std::max(max, v);
    values.push_back(v);
  }
}

template <class T>
Summary summarize(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                  const T* items, int k) {
  Summary s{prefix.n + static_cast<std::uint64_t>(k > 0 ? k : 0),
            prefix.sum,
            prefix.sumsq,
            prefix.min,
            prefix.max,
            0};
  for (int i = 0; i < k; ++i) {
    std::uint32_t v = column[items[i]];
    s.sum += v;
    s.sumsq += static_cast<u128>(v) * v;
    if (v < s.min) s.min = v;
    if (v > s.max) s.max = v;
  }
  return s;
}

template <class T>
std::uint64_t twice_median(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                           const T* items, int k, std::vector<std::uint32_t>& scratch) {
  scratch.assign(prefix.values.begin(), prefix.values.end());
  // Without prefix values, items listed in the order a median constraint
  // sets (values ascending or descending) have their middle where it is.
  bool ascending = true, descending = true;
  for (int i = 0; i < k; ++i) {
    const std::uint32_t v = column[items[i]];
    if (i > 0) {
      ascending = ascending && scratch.back() <= v;
      descending = descending && scratch.back() >= v;
    }
    scratch.push_back(v);
  }
  const std::size_t c = scratch.size();
  const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>(c / 2);
  const bool in_order = prefix.values.empty() && (ascending || descending);
  if (!in_order) std::nth_element(scratch.begin(), middle, scratch.end());
  const std::uint64_t upper = *middle;
  if (c % 2 == 1) return 2 * upper;
  // The other middle value: the one before in a list in order, else the
  // largest of the lower half.
  return upper + (in_order ? middle[-1] : *std::max_element(scratch.begin(), middle));
}

namespace {
inline u128 abs_diff(u128 a, u128 b) { return a > b ? a - b : b - a; }
}  // namespace

template <class T>
u128 abs_deviation_sum(const PrefixFold& prefix, const std::vector<std::uint32_t>& column,
                       const T* items, int k, std::uint64_t n, std::uint64_t sum) {
  u128 total = 0;
  for (std::uint32_t v : prefix.values) total += abs_diff(static_cast<u128>(n) * v, sum);
  if (n <= 0xFFFFFFFFu) {  // every n·v fits 64 bits: one multiply a value, not three
    for (int i = 0; i < k; ++i) {
      const std::uint64_t nv = n * column[items[i]];
      total += nv > sum ? nv - sum : sum - nv;
    }
    return total;
  }
  for (int i = 0; i < k; ++i) total += abs_diff(static_cast<u128>(n) * column[items[i]], sum);
  return total;
}

template Summary summarize<std::uint8_t>(const PrefixFold&, const std::vector<std::uint32_t>&,
                                         const std::uint8_t*, int);
template Summary summarize<std::uint16_t>(const PrefixFold&, const std::vector<std::uint32_t>&,
                                          const std::uint16_t*, int);
template Summary summarize<std::uint32_t>(const PrefixFold&, const std::vector<std::uint32_t>&,
                                          const std::uint32_t*, int);
template std::uint64_t twice_median<std::uint8_t>(const PrefixFold&,
                                                  const std::vector<std::uint32_t>&,
                                                  const std::uint8_t*, int,
                                                  std::vector<std::uint32_t>&);
template std::uint64_t twice_median<std::uint16_t>(const PrefixFold&,
                                                   const std::vector<std::uint32_t>&,
                                                   const std::uint16_t*, int,
                                                   std::vector<std::uint32_t>&);
template std::uint64_t twice_median<std::uint32_t>(const PrefixFold&,
                                                   const std::vector<std::uint32_t>&,
                                                   const std::uint32_t*, int,
                                                   std::vector<std::uint32_t>&);
template u128 abs_deviation_sum<std::uint8_t>(const PrefixFold&, const std::vector<std::uint32_t>&,
                                              const std::uint8_t*, int, std::uint64_t,
                                              std::uint64_t);
template u128 abs_deviation_sum<std::uint16_t>(const PrefixFold&, const std::vector<std::uint32_t>&,
                                               const std::uint16_t*, int, std::uint64_t,
                                               std::uint64_t);
template u128 abs_deviation_sum<std::uint32_t>(const PrefixFold&, const std::vector<std::uint32_t>&,
                                               const std::uint32_t*, int, std::uint64_t,
                                               std::uint64_t);
