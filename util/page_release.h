// Gives memory that will not be read again back to the system while the array
// that holds it stays where it is.
//
// Only the pages wholly inside [begin, end) are released (MADV_DONTNEED): the
// bytes of a partial page at either end may belong to a neighbour or to the
// allocator's bookkeeping and are left alone. A released page of private
// anonymous memory (every heap or mapped block) reads back as zeros if touched
// again, and then counts in the resident set once more; nothing moves, so
// pointers into the array stay valid. Addresses are bytes; the page size is the
// system's.
#pragma once

#include <cstddef>

// Releases the whole pages inside [begin, end); returns the bytes released (0
// when the range holds no whole page, or the system refuses).
std::size_t release_pages(const void* begin, const void* end);

// The page size in bytes.
std::size_t page_bytes();
