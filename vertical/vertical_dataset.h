// The database of the in-memory levels: the bit matrix (vertical/bit_matrix.h)
// for dense data, or tid-lists (vertical/tid_lists.h) for sparse data, whose
// size follows the item occurrences. The choice is made once, when the level
// that loads the data asks whether it fits, from the measured density: the
// item occurrences (bounded by the size of "dataset.tmp") over items times
// transactions.
//
// The memory rule measures the representation chosen: it must take under a
// third of the run's budget. The progress rows of the in-memory levels report
// the size of the bit matrix whichever is used, so they read the same for both.
// T is the dense item type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dataset/run_context.h"
#include "vertical/bit_matrix.h"
#include "vertical/tid_lists.h"

// Tid-lists are chosen when fewer than one cell in kSparseCellsPerOccurrence of
// the matrix holds an occurrence. They then take fewer bytes than the matrix
// (8 per occurrence, for the lists and the transactions, against 1/8 per
// cell), and counting walks only the transactions of a prefix where the matrix
// ANDs every word of a row, or of its runs of non-zero words. T10I4D100K, one
// occurrence in about 86 cells when it is loaded, counts faster on lists;
// mushroom and chess, one in 5 or fewer, stay on the matrix.
constexpr std::uint64_t kSparseCellsPerOccurrence = 64;
// Below that density what decides is how many transactions the itemsets of
// the later levels hold: about the support threshold, which a list walks and
// a row of the matrix spreads over a word each. Where the threshold is under
// one transaction in kSparseCellsPerOccurrence, lists are chosen for data up to
// one occurrence in kLowSupportCellsPerOccurrence cells: T10I4D100K at support
// 2 kept to transactions of 11 items or more (one in 65 cells) took 11.2 s on
// the matrix and 3.0 s on lists, generated data of one in 16 cells at support
// 10 of 50,000 transactions 2.2 s and 0.6 s (bench/layout_crossover.sh).
constexpr std::uint64_t kLowSupportCellsPerOccurrence = 8;

template <class T>
struct vertical_dataset {
  // Decides the layout (layout, or by density and the support threshold
  // min_count when by_density) for n_items items over n_trans transactions
  // holding at most `occurrences` item occurrences, and whether it fits under a
  // third of budget_bytes. Sets the matrix's sizes either way: the progress
  // rows report them.
  bool fits_in_memory(std::uint32_t n_items, std::uint32_t n_trans, std::uint64_t occurrences,
                      std::uint64_t budget_bytes, vertical_layout layout,
                      std::uint32_t min_count = UINT32_MAX) {
    matrix_fits = matrix.fits_in_memory(n_items, n_trans, budget_bytes);
    const std::uint64_t cells = static_cast<std::uint64_t>(n_items) * n_trans;
    const bool low_support = std::uint64_t{min_count} * kSparseCellsPerOccurrence < n_trans;
    uses_lists = layout == vertical_layout::tid_lists ||
                 (layout == vertical_layout::by_density &&
                  (occurrences * kSparseCellsPerOccurrence < cells ||
                   (low_support && occurrences * kLowSupportCellsPerOccurrence < cells)));
    expected_occurrences = occurrences;
    expected_transactions = n_trans;
    if (!uses_lists) return matrix_fits;
    // The lists address the occurrences and end marks with 32 bits.
    if (occurrences + n_trans >= (std::uint64_t{1} << 32)) return false;
    return tid_lists<T>::bytes_for(n_items, n_trans, occurrences) < budget_bytes / 3;
  }
  // Allocates the layout chosen for the whole data the fit was decided on.
  void allocate() { allocate(expected_transactions, expected_occurrences); }
  // Allocates it for `transactions` transactions holding at most `occurrences`
  // item occurrences: where ranks share the run, this rank's share, which it
  // fills alone (bounds; more is refused or grows the buffers). The sizes the
  // progress rows report stay the whole data's.
  void allocate(std::uint32_t transactions, std::uint64_t occurrences) {
    if (uses_lists)
      lists.allocate(matrix.n_items, transactions, occurrences);
    else
      matrix.allocate(transactions);
    allocated_ = true;
  }
  bool allocated() const { return allocated_; }
  void add_transaction(const T* items, std::uint32_t length, std::uint32_t tid) {
    if (uses_lists)
      lists.add_transaction(items, length, tid);
    else
      matrix.add_transaction(items, length, tid);
  }
  void finish_filling() {
    if (uses_lists) lists.finish_filling();
  }
  // The bit matrix's compact test; it reorders the matrix where it succeeds.
  // Tid-lists are left as they are, but the test runs on the rows they stand
  // for, since its outcome picks the levels' variant (and the progress rows'
  // label). It walks those rows word by word, so on lists it runs only where
  // the matrix would have fitted too: beyond that (a million sparse items) it
  // would cost far more than the levels, and data that sparse is not compact.
  bool try_make_compact(std::uint32_t n) {
    if (!uses_lists) return matrix.try_make_compact(n);
    if (n != lists.n_items() || !matrix_fits) return false;
    std::vector<std::uint32_t> row(matrix.n_words);
    return find_compact_section(n, matrix.n_words,
                                [&](std::uint32_t item) {
                                  std::fill(row.begin(), row.end(), 0u);
                                  lists.mark_transactions(item, row.data());
                                  return row.data();
                                })
        .found;
  }
  // The same test where the ranks of peers each hold their own transactions
  // (collective): every rank gets the outcome one process holding them all
  // would. Before it the matrix gives back the words past this rank's filled
  // positions (its sizes for the progress rows stay the whole data's).
  bool try_make_compact_shared(std::uint32_t n, cluster& peers) {
    const std::uint32_t whole_words = matrix.whole_words;
    const std::uint32_t words = static_cast<std::uint32_t>((std::uint64_t{filled} + 31) / 32);
    if (!uses_lists) {
      matrix.keep_words(words);
      return matrix.try_make_compact_shared(n, filled, whole_words, peers);
    }
    if (n != lists.n_items() || !matrix_fits) return false;  // alike on every rank
    std::vector<std::uint32_t> row(words);
    return find_shared_compact_section(n, words, filled, whole_words, peers,
                                       [&](std::uint32_t item) {
                                         std::fill(row.begin(), row.end(), 0u);
                                         lists.mark_transactions(item, row.data());
                                         return row.data();
                                       })
        .found;
  }
  // Bytes the representation in use holds (a rank: its share's).
  std::uint64_t held_bytes() const {
    return uses_lists ? lists.size_bytes() : matrix.matrix_words.size() * sizeof(std::uint32_t);
  }
  // What the progress rows report: the bit matrix's size.
  std::uint64_t reported_bytes() const { return matrix.size_bytes; }

  bit_matrix<T> matrix;  // also holds the diffuse levels' state
  tid_lists<T> lists;
  bool uses_lists = false;
  bool matrix_fits = false;  // the bit matrix would fit the budget (set with the layout)
  std::uint64_t expected_occurrences = 0;  // of the whole data (set with the layout)
  std::uint32_t expected_transactions = 0;
  std::uint32_t filled = 0;  // transactions the filling pass added (positions 0 .. filled-1)

 private:
  bool allocated_ = false;
};
