// Level 2 for sparse data: only the pairs that occur are counted, row by row,
// from the transactions kept in memory: all rows at once, or the rows
// first <= a < end of one block (each transaction then kept from its first item
// in the block on, and only when that item is not its last).
//
// T is the dense item type; it holds n (the number of items), which closes each
// transaction in `items` as a sentinel no dense id reaches. After the pass,
// `starts` groups by item a the positions of a's occurrences that have a
// successor (a counting sort, so they ascend). Row a is counted by walking from
// each of them to the sentinel: a short row sorts the items it meets, a long
// one counts them in one array of n counters, of which only those touched are
// read back and cleared. So the work follows the pair occurrences
// and the memory the item occurrences, where a triangle of counters costs
// n(n-1)/2 whatever occurs: retail's 10,988 frequent items make 60M counters
// for 176k frequent pairs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

// The bytes occurring_pairs takes at most for n items of item_bytes each,
// `occurrences` item occurrences and `transactions` transactions; UINT64_MAX
// when its positions would not fit 32 bits.
std::uint64_t occurring_pairs_bytes(std::uint64_t n, std::uint64_t occurrences,
                                    std::uint64_t transactions, std::uint64_t item_bytes);

template <class T>
class occurring_pairs {
 public:
  // The rows first <= a < end of n items; room for reserve_items kept items and
  // sentinels (an estimate).
  occurring_pairs(std::uint32_t n, std::uint32_t first, std::uint32_t end,
                  std::uint64_t reserve_items);

  // Keeps what the rows need of a transaction of len >= 2 ascending dense ids below n.
  void add(const T* t, std::uint32_t len);

  // Counts the rows in ascending a and hands each one to visit(a, seconds,
  // counts, m), in one or more pieces: the m items b > a that occur with a,
  // ascending across the pieces, and beside each the number of transactions
  // holding both. A piece has at most kPiece seconds.
  template <class Visit>
  void for_each_row(Visit&& visit);

 private:
  static constexpr std::uint32_t kAhead = 8;  // prefetch distance in positions
  static constexpr std::size_t kIndexAhead = 16;  // the same, while indexing the rows
  static constexpr std::size_t kPiece = 256;
  static constexpr std::size_t kInsertionSorted = 16;  // gathered seconds at most
  void index_rows();

  std::uint32_t n_;
  std::uint32_t first_;
  std::uint32_t end_;
  std::vector<T> items_;                 // transactions, each closed by n
  std::vector<std::uint32_t> row_end_;   // per item: end of its run in starts_ (after index_rows)
  std::vector<std::uint32_t> starts_;    // positions in items_ grouped by item
};

// Sorts a row's gathered seconds (in place, up to insertion_sorted of them,
// else with std::sort) and lists each once in seconds, with how often it was
// gathered in counts (both cleared first).
template <class T>
[[gnu::always_inline]] inline void count_gathered(std::vector<T>& gathered, std::vector<T>& seconds,
                                                  std::vector<std::uint32_t>& counts,
                                                  std::size_t insertion_sorted) {
  seconds.clear();
  counts.clear();
  // Most rows of sparse data gather a handful (two on the million-item
  // row): sorting them in place costs less than the calls of a sort.
  if (gathered.size() <= insertion_sorted) {
    for (std::size_t i = 1; i < gathered.size(); ++i) {
      const T v = gathered[i];
      std::size_t j = i;
      for (; j > 0 && v < gathered[j - 1]; --j) gathered[j] = gathered[j - 1];
      gathered[j] = v;
    }
  } else {
    std::sort(gathered.begin(), gathered.end());
  }
  for (std::size_t i = 0; i < gathered.size();) {
    std::size_t j = i + 1;
    while (j < gathered.size() && gathered[j] == gathered[i]) ++j;
    seconds.push_back(gathered[i]);
    counts.push_back(static_cast<std::uint32_t>(j - i));
    i = j;
  }
}

// Puts the n_touched items of row a whose counters (of n) are set into
// touched in ascending order.
template <class T>
[[gnu::always_inline]] inline void list_touched_in_order(std::uint32_t a, std::uint32_t n,
                                                         const std::uint32_t* counters, T* touched,
                                                         std::size_t n_touched) {
  // A row touched densely is read in order instead of sorted: the counters
  // after a, four at a time, most of them 0.
  if (n_touched * 16 > n - a) {
    std::size_t m = 0;
    std::uint32_t b = a + 1;
    for (; b + 4 <= n; b += 4) {
      std::uint64_t low, high;
      std::memcpy(&low, counters + b, sizeof low);
      std::memcpy(&high, counters + b + 2, sizeof high);
      if ((low | high) == 0) continue;
      for (std::uint32_t j = b; j < b + 4; ++j)
        if (counters[j] != 0) touched[m++] = static_cast<T>(j);
    }
    for (; b < n; ++b)
      if (counters[b] != 0) touched[m++] = static_cast<T>(b);
  } else {
    std::sort(touched, touched + n_touched);
  }
}

template <class T>
template <class Visit>
void occurring_pairs<T>::for_each_row(Visit&& visit) {
  index_rows();
  const T sentinel = static_cast<T>(n_);
  // A row's seconds are gathered, duplicates and all, while they are few, then
  // sorted and run-length counted: no counter of n is touched. A row that
  // gathers more moves what it has into the counters and goes on there.
  std::vector<T> gathered;
  gathered.reserve(kPiece);
  std::vector<T> piece;  // up to kPiece seconds of a row and their counts
  std::vector<std::uint32_t> piece_counts;
  piece.reserve(kPiece);
  piece_counts.reserve(kPiece);
  std::vector<std::uint32_t> count;  // allocated by the first row that needs it
  std::vector<T> touched;            // the same; a row touches fewer than n items
  std::uint32_t begin = 0;
  for (std::uint32_t a = 0; a < end_; ++a) {
    const std::uint32_t end = row_end_[a];
    if (begin == end) continue;
    gathered.clear();
    std::size_t n_touched = 0;
    bool in_counters = false;
    for (std::uint32_t s = begin; s < end; ++s) {
      // The runs of the next rows are read in the same order: fetch ahead.
      if (s + kAhead < starts_.size()) __builtin_prefetch(&items_[starts_[s + kAhead] + 1]);
      const T* b = &items_[starts_[s] + 1];
      if (!in_counters) {
        for (; *b != sentinel && gathered.size() < kPiece; ++b) gathered.push_back(*b);
        if (*b == sentinel) continue;
        if (count.empty()) {
          count.assign(n_, 0);
          touched.resize(n_);
        }
        for (T g : gathered) {
          touched[n_touched] = g;
          n_touched += count[g]++ == 0 ? 1 : 0;
        }
        in_counters = true;
      }
      // Each item is written past the touched ones and counted in only at
      // its first count: no branch that follows the data.
      std::uint32_t* counters = count.data();
      T* listed = touched.data();
      for (; *b != sentinel; ++b) {
        const T item = *b;
        listed[n_touched] = item;
        n_touched += counters[item]++ == 0 ? 1 : 0;
      }
    }
    begin = end;
    if (!in_counters) {
      count_gathered(gathered, piece, piece_counts, kInsertionSorted);
      visit(a, piece.data(), piece_counts.data(), piece.size());
      continue;
    }
    list_touched_in_order(a, n_, count.data(), touched.data(), n_touched);
    piece_counts.clear();
    for (std::size_t i = 0; i < n_touched; i += kPiece) {
      const std::size_t m = std::min<std::size_t>(kPiece, n_touched - i);
      piece_counts.resize(m);
      for (std::size_t j = 0; j < m; ++j) {
        piece_counts[j] = count[touched[i + j]];
        count[touched[i + j]] = 0;
      }
      visit(a, touched.data() + i, piece_counts.data(), m);
    }
  }
}
