// The pruned database in memory as one sorted list of transaction positions
// (tid-list) per item: the representation of sparse data, whose size follows the
// item occurrences (4 bytes each) where the bit matrix (vertical/bit_matrix.h)
// takes a bit per item and transaction.
//
// The scan that fills the dataset gives each kept transaction the next position
// (0, 1, 2, ...) and hands it over whole; the transactions are kept as they
// come (the horizontal copy) and turned into lists when the scan ends
// (finish_filling), so every list is strictly ascending. Lists are stored one
// after another in one array; item i's list is tids[first[i] .. first[i+1]).
//
// A candidate P+x+y of level k (P its first k-2 items) is counted as
// |tids(P+x) AND tids(P+y)|. One walk over the transactions of tids(P) in the
// horizontal copy projects them on the items after P: it gives tids(P+y) for
// every such y at once, for the cost of those transactions' lengths instead of
// one intersection with a long list per y. The walker keeps the projections of
// every leading part of P, so tids(P) itself is an entry of the projection one
// item shorter, and only the parts that change between candidates are walked
// again. Each candidate then costs one intersection of two short lists. The data is
// only read while a level counts, so several walkers may count at once, each
// with its own tid_scratch. T is the dense item type of the candidates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tids {

// out = a AND b (both strictly ascending); returns the length of out, which
// needs room for min(na, nb) positions.
std::size_t intersect_into(const std::uint32_t* a, std::size_t na, const std::uint32_t* b,
                           std::size_t nb, std::uint32_t* out);
// |a AND b| when it reaches at least, else some value below at least (the count
// stops once the rest of the shorter list could no longer reach it).
std::size_t intersect_count(const std::uint32_t* a, std::size_t na, const std::uint32_t* b,
                            std::size_t nb, std::size_t at_least);

}  // namespace tids

// The transactions of an itemset Q projected on the items after Q's last:
// tids(Q+y) for every such y, located by at[y] and length[y] in tids when
// round_of[y] == round (else empty).
struct tid_projection {
  std::vector<std::uint32_t> tids;  // never shrinks
  std::vector<std::size_t> at;
  std::vector<std::uint32_t> length;
  std::vector<std::uint32_t> round_of;
  std::uint32_t round = 0;
  std::vector<std::uint32_t> items;  // the items y of the current projection

  std::uint32_t length_of(std::uint32_t y) const { return round_of[y] == round ? length[y] : 0; }
  const std::uint32_t* list_of(std::uint32_t y) const { return tids.data() + at[y]; }
  // Empties the projection (every list_of becomes empty).
  void start_round();
};

// Rows of pair counters one walk over a group's transactions fills at most (4
// bytes each): larger groups are counted in blocks of rows, one walk per block.
constexpr std::size_t kGroupPairCounters = std::size_t{1} << 20;

// What one walker of a level writes while it counts on tid-lists: depth[d] is
// the projection of the first d+1 items of the last counted candidate, valid
// for d < valid_depths (candidate_is_frequent), or of projected[0..d] for
// d < projected.size() (start_group).
struct tid_scratch {
  std::vector<tid_projection> depth;
  int valid_depths = 0;
  std::vector<std::uint32_t> projected;

  // The group being counted (start_group): the transactions of its prefix P,
  // P's last item, and each last item's position in the group, valid where
  // position_round_of[item] == position_round.
  const std::uint32_t* group_tids = nullptr;
  std::size_t group_n_tids = 0;
  std::uint32_t group_prefix_last = 0;
  std::uint32_t group_size = 0;
  std::vector<std::uint32_t> position;
  std::vector<std::uint32_t> position_round_of;
  std::uint32_t position_round = 0;
  // Counts of the pairs (a, b), a < b positions, for the rows a in
  // [block_first, block_end), row after row; see pair_count.
  std::vector<std::uint32_t> pair_counts;
  std::uint32_t block_first = 0;
  std::uint32_t block_end = 0;
  std::size_t block_counters = kGroupPairCounters;  // the tests make it small
  std::vector<std::uint32_t> members;               // of one transaction
};

template <class T>
class tid_lists {
 public:
  // Bytes taken for n_items items, n_trans transactions and at most
  // `occurrences` item occurrences: the lists and their starts, and the
  // horizontal copy with its transaction ends.
  static std::uint64_t bytes_for(std::uint32_t n_items, std::uint32_t n_trans,
                                 std::uint64_t occurrences) {
    return occurrences * 8 + (static_cast<std::uint64_t>(n_items) + 1) * 8 +
           static_cast<std::uint64_t>(n_trans) * 8;
  }

  // Empties the lists and prepares for n_items items; expected_occurrences
  // (a bound, or 0 when unknown) only sizes the buffer of the filling scan.
  void allocate(std::uint32_t n_items, std::uint64_t expected_occurrences);
  // Buffers transaction position tid (the next one: 0, 1, 2, ...) with its items.
  void add_transaction(const T* items, std::uint32_t length, std::uint32_t tid);
  // Builds the lists from the transactions; a second call does nothing.
  void finish_filling();

  // Drops every item whose keep flag is 0 (after a level, the items in none
  // of its stored itemsets, which no later candidate holds), then every
  // transaction left with fewer than min_length items (min_length: the items of
  // the next level's candidates), from the transactions and the lists. Later
  // walks then take only what can still count; positions stay as they were.
  void keep_items_in_transactions(const std::vector<std::uint8_t>& keep,
                                  std::uint32_t min_length);

  std::uint32_t n_items() const { return n_items_; }
  std::uint32_t n_transactions() const { return n_transactions_; }
  const std::uint32_t* list(std::uint32_t item) const { return tids_.data() + first_[item]; }
  std::uint32_t length(std::uint32_t item) const {
    return static_cast<std::uint32_t>(first_[item + 1] - first_[item]);
  }
  // Bytes held now.
  std::uint64_t size_bytes() const { return bytes_for(n_items_, n_transactions_, tids_.size()); }

  // Prepares scratch for one level of candidates of k items.
  void start_iteration(int k, tid_scratch& scratch) const;
  // Support of cand[0..k) (ascending items, k >= 3), reusing what scratch holds
  // for the first `start` items, which equal those of the previous candidate
  // given with the same scratch in this level. Returns count >= min_count; count
  // is exact only then.
  bool candidate_is_frequent(const T* cand, int start, int k, std::uint32_t min_count,
                             std::uint32_t& count, tid_scratch& scratch) const;

  // Counts a whole group of the previous level at once: the itemsets P+x for
  // the ascending last items x = last[0..m) of the prefix P = prefix[0..pk),
  // pk >= 1. pair_count(x, y, scratch) then gives the support of P+x+y for x < y
  // of the group, exact when it reaches min_count (below, some smaller value).
  // One walk over the transactions of P counts every pair of last items they
  // hold, where counting candidate by candidate intersects two lists each
  // time; the projections of P's leading parts are reused from the group
  // before, as far as the prefixes agree.
  void start_group(const T* prefix, int pk, const T* last, std::uint32_t m,
                   std::uint32_t min_count, tid_scratch& scratch) const;
  // Candidates of one group must come row by row (x ascending).
  std::uint32_t pair_count(std::uint32_t x, std::uint32_t y, tid_scratch& scratch) const;

 private:
  // Fills out with tids(Q+y) for every y > last, from the transactions
  // q[0..nq) of Q, whose last item is last.
  void project(const std::uint32_t* q, std::size_t nq, std::uint32_t last,
               tid_projection& out) const;
  // Fills s.depth[d] with the projection of the prefix parts 0..d, whose last
  // is item, from s.depth[d - 1] (from item's own list at d = 0).
  void project_depth(std::size_t d, std::uint32_t item, std::uint32_t min_count,
                     tid_scratch& s) const;
  // The lists from the transactions (counting sort by item).
  void build_lists();
  // Counts the pairs of the rows from `first` on that fit the scratch's block.
  void count_block(std::uint32_t first, tid_scratch& scratch) const;

  std::uint32_t n_items_ = 0;
  std::uint32_t n_transactions_ = 0;
  std::vector<std::uint32_t> tids_;
  std::vector<std::size_t> first_;  // n_items + 1 list starts
  // The horizontal copy: the transactions' items, and where each one ends.
  std::vector<std::uint32_t> transaction_items_;
  std::vector<std::size_t> transaction_ends_;
  bool filled_ = false;
};
