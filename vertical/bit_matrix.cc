#include "vertical/bit_matrix.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <string>
#include <utility>

#include "util/widths.h"

namespace {

// Compact test thresholds, in percent, tried in this order.
constexpr std::uint32_t kCompactThresholds[] = {95, 90, 85, 80, 75, 70, 65, 60};
constexpr int kThresholdCount = 8;

// Minimum section length for the last accepted percentage p of n items.
std::uint32_t min_section_length(std::uint32_t p, std::uint32_t n) {
  if (p > 80) return n / 7;
  if (p >= 76) return n / 6;
  if (p >= 71) return n / 5;
  if (p >= 66) return n / 4;
  if (p >= 61) return n / 3;
  return n / 2;
}

// Whether the compact test's walk down the rows stops before row i, which
// agrees with the rows above it on `agree` of the rows' positions; ti is the
// threshold in use, carried from row to row.
bool compact_walk_stops(std::uint64_t agree, std::int64_t i, std::uint32_t n,
                        std::uint64_t positions, int& ti) {
  if (ti >= kThresholdCount) return true;
  // percent < threshold, compared exactly: agree*100 < threshold*positions.
  while (agree * 100 < kCompactThresholds[ti] * positions) {
    if (static_cast<std::int64_t>(n) - i >= static_cast<std::int64_t>(n / 7)) return true;
    if (++ti == kThresholdCount) return true;
  }
  return false;
}

inline bool test_bit(const std::uint32_t* row, std::uint64_t p) {
  return (row[p >> 5] >> (p & 31)) & 1u;
}
inline void set_bit(std::uint32_t* row, std::uint64_t p) { row[p >> 5] |= 1u << (p & 31); }

// Appends the bits of x selected by m (in increasing bit order) to a packed
// output; writes every completed word to out[*out_words].
struct bit_packer {
  std::uint32_t* out;
  std::uint32_t out_words = 0;
  std::uint64_t acc = 0;  // pending bits, the oldest in bit 0
  int acc_bits = 0;

  void push_bits(std::uint32_t bits, int n) {
    acc |= static_cast<std::uint64_t>(bits) << acc_bits;
    acc_bits += n;
    if (acc_bits >= 32) {
      out[out_words++] = static_cast<std::uint32_t>(acc);
      acc >>= 32;
      acc_bits -= 32;
    }
  }
  void push_selected(std::uint32_t x, std::uint32_t m) {
    if (m == 0xFFFFFFFFu) {
      push_bits(x, 32);
      return;
    }
    std::uint32_t bits = 0;
    int n = 0;
    while (m != 0) {
      const int b = __builtin_ctz(m);
      bits |= ((x >> b) & 1u) << n;
      ++n;
      m &= m - 1;
    }
    if (n > 0) push_bits(bits, n);
  }
  void finish() {
    if (acc_bits > 0) out[out_words++] = static_cast<std::uint32_t>(acc);
    acc = 0;
    acc_bits = 0;
  }
};

}  // namespace

template <class T>
bool bit_matrix<T>::fits_in_memory(std::uint32_t n_items_, std::uint32_t n_trans,
                                   std::uint64_t budget_bytes) {
  const std::uint64_t words = (static_cast<std::uint64_t>(n_trans) + 31) / 32;
  n_items = n_items_;
  n_words = whole_words = static_cast<std::uint32_t>(words);
  // At most 2^32 * 2^27 * 4 = 2^61 bytes: no overflow in 64 bits.
  size_bytes = static_cast<std::uint64_t>(n_items_) * words * 4;
  return size_bytes < budget_bytes / 3;
}

template <class T>
void bit_matrix<T>::allocate_words(std::uint32_t words) {
  n_words = words;
  matrix_words.assign(static_cast<std::size_t>(n_items) * n_words, 0u);
  scratch = intersection_scratch();
  scratch.pruning_mask.assign(n_words, 0u);
  is_compact = false;
  compact_first = 0xFFFFFFFFu;
  compact_words = compact_count = 0;
  is_allocated_ = true;
}

template <class T>
void bit_matrix<T>::add_transaction(const T* items, std::uint32_t length, std::uint32_t tid) {
  // The filling scan sized the matrix with its transaction count; a position past
  // it would write into another row.
  if (static_cast<std::uint64_t>(tid) >= static_cast<std::uint64_t>(n_words) * 32) {
    throw std::out_of_range("vertical dataset: transaction position " + std::to_string(tid) +
                            " past " + std::to_string(n_words) + " words");
  }
  const std::size_t word = tid >> 5;
  const std::uint32_t bit = 1u << (tid & 31);
  for (std::uint32_t i = 0; i < length; ++i) {
    assert(items[i] < n_items);
    matrix_words[static_cast<std::size_t>(items[i]) * n_words + word] |= bit;
  }
}

compact_section find_compact_section(
    std::uint32_t n, std::uint32_t W,
    const std::function<const std::uint32_t*(std::uint32_t)>& row_of) {
  compact_section section;
  // The section must be the run of highest-numbered rows; a test over fewer rows
  // than the matrix holds would leave rows above the section with heads that do
  // not agree, so such a matrix is never made compact (the caller checks n).
  if (n < 2 || W == 0) return section;

  std::vector<std::uint32_t> mask(W, 0xFFFFFFFFu), eq(W);
  const std::uint64_t positions = static_cast<std::uint64_t>(W) * 32;
  std::uint32_t first = n - 1;
  std::uint32_t p = 0;
  std::uint64_t agree_count = 0;
  int ti = 0;
  const std::uint32_t* last_row = row_of(n - 1);
  const std::vector<std::uint32_t> last(last_row, last_row + W);
  for (std::int64_t i = static_cast<std::int64_t>(n) - 2; i >= 0; --i) {
    const std::uint32_t* r = row_of(static_cast<std::uint32_t>(i));
    std::uint64_t agree = 0;
    for (std::uint32_t w = 0; w < W; ++w) {
      eq[w] = ~(last[w] ^ r[w]) & mask[w];
      agree += static_cast<std::uint64_t>(__builtin_popcount(eq[w]));
    }
    if (compact_walk_stops(agree, i, n, positions, ti)) break;
    mask.swap(eq);
    first = static_cast<std::uint32_t>(i);
    agree_count = agree;
    p = static_cast<std::uint32_t>(agree * 100 / positions);
  }

  if (p == 0 || n - first < min_section_length(p, n)) return section;
  section.found = true;
  section.first = first;
  section.words = static_cast<std::uint32_t>(agree_count / 32);
  section.mask = std::move(mask);
  return section;
}

compact_section find_shared_compact_section(
    std::uint32_t n, std::uint32_t W, std::uint32_t filled, std::uint32_t whole_words,
    cluster& peers, const std::function<const std::uint32_t*(std::uint32_t)>& row_of) {
  compact_section section;
  if (n < 2 || whole_words == 0) return section;
  // This rank's agreement of each row with the rows above it, the walk taken
  // to row 0 (agree[j] is row n-2-j's), over its filled positions only: the
  // padding of the whole rows is added once the ranks' counts are summed.
  const std::uint64_t padding = static_cast<std::uint64_t>(W) * 32 - filled;
  const std::uint32_t* last_row = row_of(n - 1);
  const std::vector<std::uint32_t> last(last_row, last_row + W);
  std::vector<std::uint32_t> mask(W, 0xFFFFFFFFu);
  auto take_row = [&](std::uint32_t i) {
    const std::uint32_t* r = row_of(i);
    std::uint64_t agree = 0;
    for (std::uint32_t w = 0; w < W; ++w) {
      mask[w] &= ~(last[w] ^ r[w]);
      agree += static_cast<std::uint64_t>(__builtin_popcount(mask[w]));
    }
    return agree;
  };
  std::vector<std::uint64_t> agree(n);  // the last entry: positions filled
  for (std::int64_t i = static_cast<std::int64_t>(n) - 2; i >= 0; --i)
    agree[static_cast<std::size_t>(n - 2 - i)] = take_row(static_cast<std::uint32_t>(i)) - padding;
  agree[n - 1] = filled;
  peers.sum_counts(agree.data(), agree.size());

  const std::uint64_t positions = static_cast<std::uint64_t>(whole_words) * 32;
  const std::uint64_t whole_padding = positions - agree[n - 1];
  std::uint32_t first = n - 1, p = 0;
  int ti = 0;
  for (std::int64_t i = static_cast<std::int64_t>(n) - 2; i >= 0; --i) {
    const std::uint64_t a = agree[static_cast<std::size_t>(n - 2 - i)] + whole_padding;
    if (compact_walk_stops(a, i, n, positions, ti)) break;
    first = static_cast<std::uint32_t>(i);
    p = static_cast<std::uint32_t>(a * 100 / positions);
  }
  if (p == 0 || n - first < min_section_length(p, n)) return section;
  // The section's mask over this rank's positions: the walk again, down to first.
  std::fill(mask.begin(), mask.end(), 0xFFFFFFFFu);
  std::uint64_t agreeing = 0;
  for (std::int64_t i = static_cast<std::int64_t>(n) - 2; i >= static_cast<std::int64_t>(first);
       --i)
    agreeing = take_row(static_cast<std::uint32_t>(i));
  section.found = true;
  section.first = first;
  section.words = static_cast<std::uint32_t>(agreeing / 32);
  section.mask = std::move(mask);
  return section;
}

template <class T>
template <class Find>
bool bit_matrix<T>::make_compact_with(std::uint32_t n, Find find) {
  is_compact = false;
  compact_first = 0xFFFFFFFFu;
  compact_words = compact_count = 0;
  if (n != n_items) return false;
  compact_section section = find([this](std::uint32_t i) { return row(i); });
  if (!section.found) return false;
  compact_first = section.first;
  compact_words = section.words;
  reorder_bits_compact(n, section.mask);
  is_compact = true;
  return true;
}

template <class T>
bool bit_matrix<T>::try_make_compact(std::uint32_t n) {
  return make_compact_with(n, [this, n](auto row_of) {
    return find_compact_section(n, n_words, row_of);
  });
}

template <class T>
bool bit_matrix<T>::try_make_compact_shared(std::uint32_t n, std::uint32_t filled,
                                            std::uint32_t whole_words, cluster& peers) {
  // Every rank has the same n_items: all return early or none.
  return make_compact_with(n, [this, n, filled, whole_words, &peers](auto row_of) {
    return find_shared_compact_section(n, n_words, filled, whole_words, peers, row_of);
  });
}

template <class T>
void bit_matrix<T>::keep_words(std::uint32_t words) {
  assert(words <= n_words);
  if (words == n_words) return;
  // Row r moves from r * n_words down to r * words: in row order no row
  // overwrites one not yet moved.
  for (std::uint32_t r = 0; r < n_items; ++r)
    std::copy_n(matrix_words.data() + static_cast<std::size_t>(r) * n_words, words,
                matrix_words.data() + static_cast<std::size_t>(r) * words);
  // Not shrunk to fit: the rows are this rank's share already, and a fresh copy
  // beside them would raise the peak by the rows kept to give back only the
  // words of the transactions the filling pass dropped.
  matrix_words.resize(static_cast<std::size_t>(n_items) * words);
  n_words = words;
  scratch.pruning_mask.assign(n_words, 0u);
}

template <class T>
void bit_matrix<T>::reorder_bits_compact(std::uint32_t n, const std::vector<std::uint32_t>& mask) {
  const std::uint32_t W = n_words;
  // Old position of every new position: first the masked ones, then the others.
  std::vector<std::uint32_t> source;
  source.reserve(static_cast<std::size_t>(W) * 32);
  for (int pass = 0; pass < 2; ++pass) {
    for (std::uint32_t w = 0; w < W; ++w) {
      std::uint32_t m = pass == 0 ? mask[w] : ~mask[w];
      while (m != 0) {
        source.push_back(w * 32 + static_cast<std::uint32_t>(__builtin_ctz(m)));
        m &= m - 1;
      }
    }
  }
  std::vector<std::uint32_t> fresh(W);
  for (std::uint32_t r = 0; r < n; ++r) {
    std::uint32_t* old = row(r);
    std::fill(fresh.begin(), fresh.end(), 0u);
    for (std::size_t q = 0; q < source.size(); ++q) {
      if (test_bit(old, source[q])) set_bit(fresh.data(), q);
    }
    std::copy(fresh.begin(), fresh.end(), old);
  }
  compact_count =
      compact_first < n_items
          ? static_cast<std::uint32_t>(bits::kernels().count(row(compact_first), compact_words))
          : 0;
}

template <class T>
void bit_matrix<T>::start_iteration(int k, bool with_mask, intersection_scratch& s) const {
  s.inters_cache.assign(static_cast<std::size_t>(k) * n_words, 0u);
  s.prefix_compact_count = 0;
  // A run needs a non-zero word and a zero word (or the row end) after it.
  s.nonzero_sections.resize(n_words / 2 + 1);
  s.n_runs = 0;
  s.nonzero_covered = 0;
  if (with_mask) s.pruning_mask.assign(n_words, 0u);
}

template <class T>
void bit_matrix<T>::start_iteration(int k, bool clear_pruning_mask) {
  start_iteration(k, clear_pruning_mask, scratch);
}

template <class T>
void bit_matrix<T>::merge_pruning_mask(const intersection_scratch& walker) {
  std::uint32_t* mask = scratch.pruning_mask.data();
  for (std::size_t w = 0; w < n_words; ++w) mask[w] |= walker.pruning_mask[w];
}

template <class T>
bool bit_matrix<T>::candidate_is_frequent_compact(const T* cand, int start, int k,
                                                  std::uint32_t min_count, std::uint32_t& count,
                                                  intersection_scratch& s) const {
  assert(k >= 3 && start >= 0 && start <= k - 1);
  const bits::kernel_table& K = bits::kernels();
  const std::uint32_t F = compact_first;
  const std::size_t H = compact_words;
  const std::size_t W = n_words;
  const std::size_t tail = W - H;
  // S: the prefix processed so far holds a section item, so every later item is
  // one too and only the tail words need intersecting; the head's bit count was
  // taken when the prefix entered the section.
  bool S;
  int j;
  if (start <= 1) {
    const std::uint32_t* a = row(cand[0]);
    const std::uint32_t* b = row(cand[1]);
    std::uint32_t* c1 = s.cache_row(1, n_words);
    if (cand[0] >= F) {
      S = true;
      s.prefix_compact_count = compact_count;
      K.and_into(a + H, b + H, c1 + H, tail);
    } else if (cand[1] < F) {
      S = false;
      K.and_into(a, b, c1, W);
    } else {
      s.prefix_compact_count = static_cast<std::uint32_t>(K.and_count(a, b, c1, H));
      K.and_into(a + H, b + H, c1 + H, tail);
      S = true;
    }
    j = 2;
  } else {
    S = cand[start - 1] >= F;
    j = start;
  }
  for (; j <= k - 2; ++j) {
    const std::uint32_t* p = s.cache_row(j - 1, n_words);
    const std::uint32_t* r = row(cand[j]);
    std::uint32_t* c = s.cache_row(j, n_words);
    if (S) {
      K.and_into(p + H, r + H, c + H, tail);
    } else if (cand[j] >= F) {
      s.prefix_compact_count = static_cast<std::uint32_t>(K.and_count(p, r, c, H));
      K.and_into(p + H, r + H, c + H, tail);
      S = true;
    } else {
      K.and_into(p, r, c, W);
    }
  }
  const std::uint32_t* p = s.cache_row(k - 2, n_words);
  const std::uint32_t* r = row(cand[k - 1]);
  std::uint32_t* c = s.cache_row(k - 1, n_words);
  if (S) {
    count =
        static_cast<std::uint32_t>(K.and_count(p + H, r + H, c + H, tail)) + s.prefix_compact_count;
  } else {
    count = static_cast<std::uint32_t>(K.and_count(p, r, c, W));
  }
  return count >= min_count;
}

template <class T>
std::uint32_t bit_matrix<T>::and_build_runs(std::uint32_t a, std::uint32_t b,
                                            intersection_scratch& s) const {
  const std::uint32_t W = n_words;
  std::uint32_t* c1 = s.cache_row(1, n_words);
  bits::kernels().and_into(row(a), row(b), c1, W);
  // Runs are maximal ranges of non-zero words; there are at most ceil(W/2).
  s.n_runs = 0;
  s.nonzero_covered = 0;
  std::uint32_t w = 0;
  while (w < W) {
    while (w < W && c1[w] == 0) ++w;
    if (w == W) break;
    const std::uint32_t begin = w;
    while (w < W && c1[w] != 0) ++w;
    s.nonzero_sections[s.n_runs++] =
        bits::word_run{static_cast<std::int32_t>(begin), static_cast<std::int32_t>(w)};
    s.nonzero_covered += w - begin;
  }
  return s.nonzero_covered;
}

template <class T>
bool bit_matrix<T>::candidate_is_frequent_diffuse(const T* cand, int start, int k,
                                                  std::uint32_t min_count, std::uint32_t& count,
                                                  intersection_stats& stats, bool collect,
                                                  intersection_scratch& s) const {
  assert(k >= 3 && start >= 0 && start <= k - 1);
  const bits::kernel_table& K = bits::kernels();
  const std::size_t W = n_words;
  if (start < 2) {
    stats.nonzero_words = static_cast<int>(and_build_runs(cand[0], cand[1], s));
    // nonzero_words >= 0.9 * W, exactly.
    s.dense_path =
        static_cast<std::uint64_t>(s.nonzero_covered) * 10 >= static_cast<std::uint64_t>(W) * 9;
    if (collect) {
      stats.dense_ands += 1;
      stats.word_ops += static_cast<double>(W);
    }
    start = 2;
  }
  const int ands = k - start;
  if (s.dense_path) {
    for (int j = start; j <= k - 2; ++j)
      K.and_into(s.cache_row(j - 1, n_words), row(cand[j]), s.cache_row(j, n_words), W);
    count = static_cast<std::uint32_t>(
        K.and_count(s.cache_row(k - 2, n_words), row(cand[k - 1]), s.cache_row(k - 1, n_words), W));
    if (collect) {
      stats.dense_ands += ands;
      stats.word_ops += static_cast<double>(ands) * static_cast<double>(W);
    }
  } else {
    // Outside the runs the prefix intersection is zero, and so is every extension.
    const bits::word_run* runs = s.nonzero_sections.data();
    for (int j = start; j <= k - 2; ++j) {
      K.and_into_runs(s.cache_row(j - 1, n_words), row(cand[j]), s.cache_row(j, n_words), runs,
                      s.n_runs);
    }
    count =
        static_cast<std::uint32_t>(K.and_count_runs(s.cache_row(k - 2, n_words), row(cand[k - 1]),
                                                    s.cache_row(k - 1, n_words), runs, s.n_runs));
    if (collect) {
      stats.sparse_ands += ands;
      stats.word_ops += static_cast<double>(ands) * static_cast<double>(s.nonzero_covered);
    }
  }
  const bool frequent = count >= min_count;
  if (frequent && collect) {
    if (s.dense_path) {
      const bits::word_run all{0, static_cast<std::int32_t>(W)};
      K.or_into_runs(s.pruning_mask.data(), s.cache_row(k - 1, n_words), &all, 1);
    } else {
      K.or_into_runs(s.pruning_mask.data(), s.cache_row(k - 1, n_words), s.nonzero_sections.data(),
                     s.n_runs);
    }
    stats.mask_updates += 1;
  }
  return frequent;
}

template <class T>
void bit_matrix<T>::start_collecting(std::uint32_t n) {
  in_frequent_itemset.assign(std::max<std::size_t>(in_frequent_itemset.size(), n), 0);
  first_item_counts.assign(std::max<std::size_t>(first_item_counts.size(), n), 0);
}

template <class T>
std::uint32_t bit_matrix<T>::active_items() const {
  std::uint32_t active = 0;
  for (std::uint32_t i = 0; i < n_items && i < in_frequent_itemset.size(); ++i)
    active += in_frequent_itemset[i] != 0;
  return active;
}

template <class T>
std::uint32_t bit_matrix<T>::check_pruning() const {
  const std::uint64_t set = bits::kernels().count(scratch.pruning_mask.data(), n_words);
  return static_cast<std::uint32_t>((set + 31) / 32);
}

template <class T>
void bit_matrix<T>::keep_masked_transactions(std::uint32_t new_n_words) {
  const std::uint32_t W = n_words;
  assert(new_n_words <= W);
  // In place, rows in increasing order: row i's new start i*new_n_words never lies
  // after its old start i*W, and a packed word is written only after the input
  // word at or behind it has been read.
  for (std::uint32_t i = 0; i < n_items; ++i) {
    if (i >= in_frequent_itemset.size() || in_frequent_itemset[i] == 0) continue;
    const std::uint32_t* src = matrix_words.data() + static_cast<std::size_t>(i) * W;
    std::uint32_t* dst = matrix_words.data() + static_cast<std::size_t>(i) * new_n_words;
    bit_packer pack{dst};
    for (std::uint32_t w = 0; w < W; ++w) {
      const std::uint32_t x = src[w];
      const std::uint32_t m = scratch.pruning_mask[w];
      if (m != 0) pack.push_selected(x, m);
    }
    pack.finish();
    for (std::uint32_t w = pack.out_words; w < new_n_words; ++w) dst[w] = 0;
  }
  n_words = new_n_words;
}

template <class T>
void bit_matrix<T>::order_bits_diffuse() {
  const std::uint32_t W = n_words;
  const std::uint64_t positions = static_cast<std::uint64_t>(W) * 32;
  constexpr std::uint32_t kUnplaced = 0xFFFFFFFFu;

  // Items by decreasing count, the lowest-numbered first on ties; zero counts end
  // the list. The counts are consumed.
  std::vector<std::uint32_t> order;
  const std::uint32_t counted =
      std::min<std::uint32_t>(n_items, static_cast<std::uint32_t>(first_item_counts.size()));
  for (std::uint32_t i = 0; i < counted; ++i) {
    if (first_item_counts[i] > 0) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return first_item_counts[a] > first_item_counts[b];
  });
  for (std::uint32_t i : order) first_item_counts[i] = 0;
  if (order.empty()) return;  // every position keeps its place: nothing changes

  std::vector<std::uint32_t> newpos(positions, kUnplaced);
  std::uint64_t next = 0;
  for (std::uint32_t item : order) {
    const std::uint32_t* r = row(item);
    for (std::uint32_t w = 0; w < W; ++w) {
      std::uint32_t x = r[w];
      while (x != 0) {
        const std::uint64_t p = static_cast<std::uint64_t>(w) * 32 + __builtin_ctz(x);
        if (newpos[p] == kUnplaced) newpos[p] = static_cast<std::uint32_t>(next++);
        x &= x - 1;
      }
    }
  }
  // Positions from `next` on keep their own place. A transaction there that was
  // also placed above moves back to its old slot; the map stays one-to-one since
  // every placed slot is below next. Positions below next still unplaced hold
  // transactions without any first item of a frequent itemset: they are dropped.
  for (std::uint64_t p = next; p < positions; ++p) newpos[p] = static_cast<std::uint32_t>(p);

  std::vector<std::uint32_t> fresh(W);
  for (std::uint32_t i = 0; i < n_items; ++i) {
    if (i >= in_frequent_itemset.size() || in_frequent_itemset[i] == 0) continue;
    std::uint32_t* r = row(i);
    std::fill(fresh.begin(), fresh.end(), 0u);
    for (std::uint32_t w = 0; w < W; ++w) {
      std::uint32_t x = r[w];
      while (x != 0) {
        const std::uint64_t p = static_cast<std::uint64_t>(w) * 32 + __builtin_ctz(x);
        if (newpos[p] != kUnplaced) set_bit(fresh.data(), newpos[p]);
        x &= x - 1;
      }
    }
    std::copy(fresh.begin(), fresh.end(), r);
  }
}

#define KESTREL_INSTANTIATE(T) template class bit_matrix<T>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
