// Huge pages (2 MiB) for large blocks, and the arrays that are better without.
//
// The programs mark every block of 2 MiB or more from new for huge pages
// (driver/program_allocator.cc; the library leaves operator new alone). An
// array that is filled from the front, such as a level reserved for its joins,
// then gets a whole 2 MiB page at the first touch past each boundary: up to
// 2 MiB resident beyond what it holds, per array.
#pragma once

#include <cstddef>

// Marks the whole huge pages inside [begin, begin + bytes) for small pages
// only: their memory becomes resident 4 KiB at a time as it is touched. Advice
// only (nothing changes where the system refuses it); memory the range shares
// with a neighbour at either end is left alone.
void keep_small_pages(const void* begin, std::size_t bytes);
