// The bit matrix: the pruned database as one bit-vector (row) per item.
//
// Row i belongs to the item with current dense id i; transaction position t is
// bit t%32 of word t/32 of the row (a row is n_words unsigned 32-bit words, rows
// stored one after another with stride n_words; bits past the last transaction
// are 0). The scan that fills the dataset (pair counting or an out-of-core pass)
// gives each kept transaction the next position and sets its bit in the row of
// each of its items (vertical/vertical_filler.h). Supports are popcounts of row ANDs;
// intersections of a shared candidate prefix are cached and reused. The rows are only read while a
// level intersects, so several threads may intersect at once, each with its own
// intersection_scratch.
//
// Two layout optimisations, chosen once per run:
//   - compact (dense data): a run of the highest-numbered (most frequent) items
//     whose rows agree on most transactions is detected once; the transactions on
//     which they all agree move to the front of every row, so the first
//     compact_words words of every section row are identical and intersections
//     among section items count them once (prefix_compact_count);
//   - diffuse (sparse data): for every two-item prefix the runs of non-zero words
//     of its intersection are recorded and later intersections with that prefix
//     touch only those runs; between levels, transactions that support no
//     frequent itemset of the level are dropped (keep_masked_transactions) and the rest are
//     renumbered so that the bits of the items still in play cluster
//     (order_bits_diffuse).
// Every size, threshold and decision is stated in 32-bit words, whatever width
// the kernels use internally (see bit_kernels.h).
// T is the dense item type of the candidate arrays; the rows do not depend on it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "dataset/items.h"
#include "util/cluster.h"
#include "vertical/bit_kernels.h"

// Work counters of one vertical iteration. Only nonzero_words is always kept;
// the others are updated when the diffuse caller asks for collection.
struct intersection_stats {
  double word_ops = 0;  // 32-bit words intersected
  int nonzero_words = 0;
  int dense_ands = 0;
  int sparse_ands = 0;
  int mask_updates = 0;
};

// What one walker of a vertical level writes while it intersects: the cached
// intersections of its current candidate's prefix, the run list of its current
// two-item prefix and, when the level collects, the pruning mask of the
// transactions that support a frequent itemset it found.
struct intersection_scratch {
  std::vector<std::uint32_t> inters_cache;  // k rows of n_words
  std::uint32_t prefix_compact_count = 0;
  // Run list of the current two-item prefix: runs of non-zero words of its
  // intersection, in increasing order, and the words they cover.
  std::vector<bits::word_run> nonzero_sections;
  std::uint32_t n_runs = 0;
  std::uint32_t nonzero_covered = 0;
  bool dense_path = true;  // diffuse: the current two-item prefix covers >= 90% of the words
  std::vector<std::uint32_t> pruning_mask;

  std::uint32_t* cache_row(int j, std::uint32_t n_words) {
    return inters_cache.data() + static_cast<std::size_t>(j) * n_words;
  }
};

// The outcome of the compact test over rows 0..n-1 of n_words words each: when
// found, the section starts at row `first`, its rows agree on the positions set
// in mask, and words = (agreeing positions) / 32 words lead every row once they
// are moved to the front. row_of(i) gives row i (valid until the next call).
struct compact_section {
  bool found = false;
  std::uint32_t first = 0;
  std::uint32_t words = 0;
  std::vector<std::uint32_t> mask;
};
compact_section find_compact_section(
    std::uint32_t n, std::uint32_t n_words,
    const std::function<const std::uint32_t*(std::uint32_t)>& row_of);

// The compact test over rows whose positions are spread across the ranks of
// peers (collective): this rank holds `filled` transactions, at positions 0 ..
// filled-1 of its rows of W words; the whole rows would be whole_words words.
// The ranks sum their agreements, so every rank finds the section (first) one
// process finds over the whole rows; mask and words are this rank's own.
compact_section find_shared_compact_section(
    std::uint32_t n, std::uint32_t W, std::uint32_t filled, std::uint32_t whole_words,
    cluster& peers, const std::function<const std::uint32_t*(std::uint32_t)>& row_of);

template <class T>
class bit_matrix {
 public:
  // Sets n_items, n_words = whole_words = ceil(n_trans/32) and size_bytes =
  // n_items*n_words*4 and tells whether size_bytes < budget_bytes/3, the run's
  // memory budget (the fields are set either way).
  bool fits_in_memory(std::uint32_t n_items, std::uint32_t n_trans, std::uint64_t budget_bytes);
  // Allocates the zeroed bit matrix, the pruning mask and the run list for the
  // whole data's positions.
  void allocate() { allocate_words(whole_words); }
  // The same for the first ceil(transactions/32) words of every row, at most
  // the whole data's: a rank's share of the transactions, which it fills alone.
  // size_bytes and whole_words keep the whole data's sizes.
  void allocate(std::uint32_t transactions) {
    allocate_words(std::min(whole_words,
                            static_cast<std::uint32_t>((std::uint64_t{transactions} + 31) / 32)));
  }
  bool allocated() const { return is_allocated_; }
  // Sets the bit of transaction position tid in the row of each item.
  void add_transaction(const T* items, std::uint32_t length, std::uint32_t tid);
  // The compact test over the first n rows; on success reorders every row and
  // sets is_compact; returns is_compact.
  bool try_make_compact(std::uint32_t n);
  // The compact test of a matrix that holds this rank's `filled` transactions
  // of the whole data's rows of whole_words words (find_shared_compact_section).
  bool try_make_compact_shared(std::uint32_t n, std::uint32_t filled, std::uint32_t whole_words,
                               cluster& peers);
  // Keeps the first `words` words of every row (the positions the rank filled).
  void keep_words(std::uint32_t words);
  // Moves, in the first n rows, the positions set in mask to the front, keeping
  // their order, then the others; then computes compact_count.
  void reorder_bits_compact(std::uint32_t n, const std::vector<std::uint32_t>& mask);
  // The compact test of both kinds: find(row_of) returns the section; on success
  // the rows are reordered to it.
  template <class Find>
  bool make_compact_with(std::uint32_t n, Find find);

  // Prepares scratch for one vertical iteration of level k: a fresh cache of k
  // rows, prefix_compact_count = 0 and (with_mask) an empty pruning mask.
  void start_iteration(int k, bool with_mask, intersection_scratch& scratch) const;
  // Prepares one vertical iteration on the matrix's own scratch, and (diffuse)
  // empties the level's pruning mask.
  void start_iteration(int k, bool clear_pruning_mask);

  // Support of cand[0..k) (ascending items) by intersection, reusing the cached
  // intersections of the first `start` items, which equal those of the previous
  // candidate given to the same routine with the same scratch. Returns count >= min_count.
  bool candidate_is_frequent_compact(const T* cand, int start, int k, std::uint32_t min_count,
                                     std::uint32_t& count, intersection_scratch& scratch) const;
  // Collect: also counts the work in stats and ORs the transactions of a
  // frequent candidate into scratch.pruning_mask.
  bool candidate_is_frequent_diffuse(const T* cand, int start, int k, std::uint32_t min_count,
                                     std::uint32_t& count, intersection_stats& stats, bool collect,
                                     intersection_scratch& scratch) const;
  // The same on the matrix's own scratch.
  bool candidate_is_frequent_compact(const T* cand, int start, int k, std::uint32_t min_count,
                                     std::uint32_t& count) {
    return candidate_is_frequent_compact(cand, start, k, min_count, count, scratch);
  }
  bool candidate_is_frequent_diffuse(const T* cand, int start, int k, std::uint32_t min_count,
                                     std::uint32_t& count, intersection_stats& stats,
                                     bool collect) {
    return candidate_is_frequent_diffuse(cand, start, k, min_count, count, stats, collect, scratch);
  }
  // ORs a walker's pruning mask into the level's.
  void merge_pruning_mask(const intersection_scratch& walker);

  // Words needed for the transactions set in pruning_mask: ceil(bits/32).
  std::uint32_t check_pruning() const;
  // Keeps, in every flagged item's row, only the positions set in pruning_mask,
  // packed from position 0, with row stride new_n_words.
  void keep_masked_transactions(std::uint32_t new_n_words);
  // Renumbers the positions of the flagged items' rows: first the transactions of
  // the item that starts most frequent itemsets, then the next, ...; drops the
  // transactions that contain no such item. Consumes first_item_counts.
  void order_bits_diffuse();
  // Clears the item flags and first-item counts of a collecting level for
  // n_items items (the vectors never shrink).
  void start_collecting(std::uint32_t n_items);
  // Items flagged by the current collecting level.
  std::uint32_t active_items() const;

  const std::uint32_t* row(std::uint32_t item) const {
    return matrix_words.data() + static_cast<std::size_t>(item) * n_words;
  }
  std::uint32_t* row(std::uint32_t item) {
    return matrix_words.data() + static_cast<std::size_t>(item) * n_words;
  }

  // Bytes of the whole data's bit matrix (one process's), in 32-bit words * 4:
  // what the memory rule and the progress rows measure, whatever is held.
  std::uint64_t size_bytes = 0;
  std::vector<std::uint32_t> matrix_words;
  std::uint32_t n_words = 0;      // words of every row held now
  std::uint32_t whole_words = 0;  // words of the whole data's rows
  std::uint32_t n_items = 0;
  bool is_compact = false;
  // The diffuse variant's state for the whole run: whether the transaction order
  // has been set, and whether the current level collects the statistics, item
  // flags and pruning mask (every second level, from the second; the first call
  // flips it to false).
  bool diffuse_order_set = false;
  bool diffuse_collects = true;
  // Filled by a collecting level, per dense id: whether the item is in a
  // frequent itemset of the level (its row is kept), and how many frequent
  // itemsets of the level start with it.
  std::vector<std::uint8_t> in_frequent_itemset;
  std::vector<std::uint32_t> first_item_counts;
  // The compact section is the items compact_first .. n_items-1; when the test
  // did not succeed it is empty (compact_first above every item number).
  std::uint32_t compact_first = 0xFFFFFFFFu;
  std::uint32_t compact_words = 0;
  std::uint32_t compact_count = 0;
  // The scratch of single-threaded callers. Its pruning mask is the level's:
  // the transactions that support a frequent itemset of a collecting level
  // (other walkers' masks are merged into it).
  intersection_scratch scratch;

 private:
  // Builds C[1] = row(a) AND row(b) and the run list of the result in one pass.
  std::uint32_t and_build_runs(std::uint32_t a, std::uint32_t b,
                               intersection_scratch& scratch) const;

  void allocate_words(std::uint32_t words);

  bool is_allocated_ = false;
};
