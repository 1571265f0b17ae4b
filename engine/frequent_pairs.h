// The frequent pairs of level 2, kept for the subset test of level 3.
//
// T is the dense item type. The pairs (a, b), a < b, are added in lexicographic
// order; the seconds of row a sit at seconds[row_start[a] .. row_start[a+1]),
// ascending, so a lookup bisects one row. The table costs 4 bytes per item plus
// sizeof(T) per frequent pair, whatever way the pairs were counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/prefetch.h"

template <class T>
class frequent_pairs {
 public:
  // Appends (a, b); a < b, after every pair added so far.
  void add(std::uint32_t a, std::uint32_t b);
  // Closes the rows up to n items; add() is not called after it.
  void finish(std::uint32_t n);
  bool contains(std::uint32_t a, std::uint32_t b) const;
  // The seconds of row a, ascending, at [*first, *last) (empty past the rows).
  void row(std::uint32_t a, const T** first, const T** last) const {
    if (std::size_t{a} + 1 >= row_start.size()) {
      *first = *last = seconds.data();
      return;
    }
    *first = seconds.data() + row_start[a];
    *last = seconds.data() + row_start[a + 1];
  }
  // Fetches where row a starts, ahead of a row(a) some time later.
  KESTREL_PREFETCHER void prefetch_start(std::uint32_t a) const {
    if (std::size_t{a} + 1 < row_start.size()) __builtin_prefetch(row_start.data() + a);
  }
  // Fetches the seconds of row a (its start read, at best fetched before).
  KESTREL_PREFETCHER void prefetch_row(std::uint32_t a) const {
    if (std::size_t{a} + 1 < row_start.size()) __builtin_prefetch(seconds.data() + row_start[a]);
  }
  std::uint64_t size() const { return seconds.size(); }
  // The memory the table holds.
  std::uint64_t bytes() const { return row_start.size() * 4 + seconds.size() * sizeof(T); }

 private:
  std::vector<std::uint32_t> row_start;  // rows 0 .. rows_started-1 opened so far
  std::vector<T> seconds;
};
