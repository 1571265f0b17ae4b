#include "engine/frequent_pairs.h"

#include <algorithm>
#include <cassert>

#include "util/widths.h"

template <class T>
void frequent_pairs<T>::add(std::uint32_t a, std::uint32_t b) {
  assert(a < b);
  assert(row_start.size() <= std::size_t{a} + 1);
  assert(row_start.size() < std::size_t{a} + 1 || seconds.back() < b);
  while (row_start.size() <= a) row_start.push_back(static_cast<std::uint32_t>(seconds.size()));
  seconds.push_back(static_cast<T>(b));
}

template <class T>
void frequent_pairs<T>::finish(std::uint32_t n) {
  while (row_start.size() <= n) row_start.push_back(static_cast<std::uint32_t>(seconds.size()));
}

template <class T>
bool frequent_pairs<T>::contains(std::uint32_t a, std::uint32_t b) const {
  if (std::size_t{a} + 1 >= row_start.size()) return false;
  const auto first = seconds.begin() + row_start[a];
  const auto last = seconds.begin() + row_start[a + 1];
  return std::binary_search(first, last, static_cast<T>(b));
}

#define KESTREL_INSTANTIATE(T) template class frequent_pairs<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
