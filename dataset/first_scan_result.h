// What the first scan found: the figures of the input and of "dataset.tmp"
// (dataset/first_scan.h), summed over the ranks of a shared run
// (dataset/shared_scan.h).
#pragma once

#include <cstdint>

struct first_scan_result {
  std::uint64_t lines_read = 0;
  std::uint64_t item_occurrences = 0;  // items in the input, duplicates counted
  std::uint64_t items_written = 0;     // items in "dataset.tmp" (after Winnow: its current size)
  std::uint64_t prefix_support = 0;    // lines that hold every prefix item
  std::uint64_t c1 = 0;                // largest input id seen + 1 (level 1's candidates)
  std::uint32_t max_tr_len = 0;        // longest transaction in "dataset.tmp"
};

// Size in kB of n items in the 32-bit layout (the rows' "size kB" column).
inline unsigned long long kb_of(std::uint64_t n_items) {
  return static_cast<unsigned long long>(n_items * 4 / 1024);
}
