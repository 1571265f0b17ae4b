// Marks a helper whose only work is to prefetch. GCC (12 at least) finds such
// a function free of side effects and drops every call to it, prefetches and
// all, unless the helper is inlined before that analysis runs: hence
// always_inline. Use it on every function that only fetches ahead.
#pragma once

#define KESTREL_PREFETCHER __attribute__((always_inline)) inline
