#include "engine/dense_ids.h"

#include <algorithm>

#include "util/widths.h"

namespace {
constexpr std::uint32_t kSortedInPlace = 16;  // items of a line sorted without std::sort
}  // namespace

template <class T>
void map_to_dense_sorted(const transaction_view<std::uint32_t>& in, transaction_view<T>& out,
                         const item_table& items) {
  // The callers fetch the lookups of a line ahead (mapped_records a few lines
  // before it hands the line out).
  T n = 0;
  for (std::uint32_t i = 0; i < in.length; ++i) {
    const std::uint32_t dense = items.map_input(in.items[i]);
    if (dense != item_table::kNotFrequent) out.items[n++] = static_cast<T>(dense);
  }
  out.length = n;
  // Sparse lines hold a handful of items: sorting them in place costs less than
  // the calls of a sort.
  if (n > kSortedInPlace) {
    std::sort(out.items, out.items + n);
    return;
  }
  for (T i = 1; i < n; ++i) {
    const T v = out.items[i];
    T j = i;
    for (; j > 0 && v < out.items[j - 1]; --j) out.items[j] = out.items[j - 1];
    out.items[j] = v;
  }
}

#define KESTREL_INSTANTIATE(T)                                                 \
  template void map_to_dense_sorted<T>(const transaction_view<std::uint32_t>&, \
                                       transaction_view<T>&, const item_table&);
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
