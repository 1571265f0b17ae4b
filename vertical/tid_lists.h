// The pruned database in memory as one sorted list of item occurrences per
// item: the representation of sparse data, whose size follows the item
// occurrences where the bit matrix (vertical/bit_matrix.h) takes a bit per item
// and transaction.
//
// The scan that fills the dataset gives each kept transaction the next position
// (0, 1, 2, ...) and hands it over whole; the transactions are kept as they
// come (the horizontal copy: each one's items ascending, then an end mark) and
// the lists are built from them when the scan ends (finish_filling). An item's
// list holds the places in the horizontal copy where the item occurs, in
// transaction order: a place stands for its transaction, and the items after it
// in that transaction start right behind it. Lists are stored one after
// another in one array; item i's list is places[first[i] .. first[i+1]).
//
// A group of level k, the itemsets P+x of a prefix P of k-2 items, is counted
// by one walk over the transactions of P, which counts every pair x < y of the
// group's last items they hold. The transactions of P come from projections:
// one walk over the occurrences of an itemset Q's last item copies the tails of
// Q's transactions, without the items that make no frequent itemset with Q,
// and gives the occurrences of Q+y in the copy for every item y after Q's last
// at once. Deeper projections and the group's walk then read short copies laid
// out one after another instead of whole transactions anywhere in the data.
// The walker keeps the projections of every leading part of P and walks again
// only the parts that change between groups. The data is
// only read while a level counts, so several walkers may count at once, each
// with its own tid_scratch. T is the dense item type of the candidates.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/prefetch.h"

// The transactions of an itemset Q projected on the items after Q's last: a
// copy of their tails (rows, each closed by kTransactionEnd) that keeps only
// the items y for which Q+y is frequent and only the tails long enough for a
// candidate of the level, and the places of every y in those rows, list[y].at
// on for list[y].length. length is 0 for every item outside the projection:
// the items of the last projection are the only ones to clear before the next,
// so a projection holds two 32-bit words per item of the data and no more (a
// level has as many of them per walker as its candidates have prefix items).
// A list's start and length share a slot, and the projection counts an item's
// occurrences in its length: with a million items each item's first touch
// misses the cache, and then it misses once instead of three times. Lists
// start at place 1 or later: place 0 takes the writes for the items left out
// of the copy (at 0), so that the copy needs no branch per item; every slot
// outside the projection reads {0, 0}.
//
// The walker of a level may restrict a projection before it is made
// (restrict_to, then want for each item): only the items wanted, those that
// still stand after Q in an itemset of the level before, are then counted and
// copied, where otherwise every item after Q's last is. Deeper projections and
// the group walks then read rows that hold nothing a candidate cannot use, and
// the tails left shorter than a candidate go too.
struct tid_list_slot {
  std::uint32_t at;
  std::uint32_t length;
};

struct tid_projection {
  std::vector<std::uint32_t> rows;    // never shrinks
  std::vector<std::uint32_t> places;  // never shrinks
  std::vector<tid_list_slot> list;
  // The items y of the current projection, items[0..n_listed); the array has
  // a slot beyond them (never shrinks).
  std::vector<std::uint32_t> items;
  std::uint32_t n_listed = 0;
  bool restricted = false;  // the listed items are the wanted ones

  std::uint32_t length_of(std::uint32_t y) const { return list[y].length; }
  const std::uint32_t* list_of(std::uint32_t y) const { return places.data() + list[y].at; }
  // Empties the projection (every list_of becomes empty) and lifts a restriction.
  void clear();
  // Empties the projection and restricts the next one made here (only that
  // one) to the items passed to want, at most `most` distinct ones.
  void restrict_to(std::size_t most) {
    clear();
    if (items.size() < most + 1) items.resize(most + 1);
    restricted = true;
  }
  // Adds item y to the restriction (again: nothing). A wanted slot is marked
  // by a start other than kLeftOut's 0 until the projection is made.
  void want(std::uint32_t y) {
    tid_list_slot& slot = list[y];
    items[n_listed] = y;
    n_listed += slot.at == 0 ? 1 : 0;
    slot.at = 1;
  }
};

// Rows of pair counters one walk over a group's transactions fills at most (4
// bytes each): larger groups are counted in blocks of rows, one walk per block.
constexpr std::size_t kGroupPairCounters = std::size_t{1} << 20;

// What one walker of a level writes while it counts on tid-lists: depth[d] is
// the projection of projected[0..d] for d < projected.size().
struct tid_scratch {
  std::vector<tid_projection> depth;
  std::vector<std::uint32_t> projected;
  int k = 0;  // the items of the level's candidates

  // The group being counted (start_group): the places of its prefix P's last
  // item in the rows of P's transactions, and each last item's position in the
  // group (kNoPosition for the items outside it).
  const std::uint32_t* group_rows = nullptr;
  const std::uint32_t* group_places = nullptr;
  std::size_t group_n_places = 0;
  std::uint32_t group_size = 0;
  std::vector<std::uint32_t> position;
  std::vector<std::uint32_t> group_items;  // whose position is set
  // Counts of the pairs (a, b), a < b positions, for the rows a in
  // [block_first, block_end), row after row; see pair_count.
  std::vector<std::uint32_t> pair_counts;
  std::uint32_t block_first = 0;
  std::uint32_t block_end = 0;
  std::size_t block_counters = kGroupPairCounters;  // the tests make it small
  std::vector<std::uint32_t> members;               // of one transaction
};

// The position of an item in no group (tid_scratch::position).
constexpr std::uint32_t kNoPosition = 0xFFFFFFFFu;

// Where the horizontal copy ends a transaction. Items are below it: dense ids
// count from 0 and never reach the 32-bit range's top.
constexpr std::uint32_t kTransactionEnd = 0xFFFFFFFFu;

template <class T>
class tid_lists {
 public:
  // Items from which fetching ahead for a group pays (see prefetch_transactions),
  // and the transactions of an item, and items of a transaction, it fetches at most.
  static constexpr std::uint32_t kFetchedListItems = 1u << 16;
  static constexpr std::uint32_t kFetchedPlaces = 8;

  // Bytes taken for n_items items, n_trans transactions and at most
  // `occurrences` item occurrences: the lists and their starts, and the
  // horizontal copy with its transaction ends.
  static std::uint64_t bytes_for(std::uint32_t n_items, std::uint32_t n_trans,
                                 std::uint64_t occurrences) {
    return occurrences * 8 + (static_cast<std::uint64_t>(n_items) + 1) * 8 +
           static_cast<std::uint64_t>(n_trans) * 8;
  }

  // Empties the lists and prepares for n_items items; expected_transactions
  // and expected_occurrences (bounds, or 0 when unknown) only size the buffers
  // of the filling scan: the horizontal copy, which holds an end mark per
  // transaction beside the occurrences, and the ends.
  void allocate(std::uint32_t n_items, std::uint32_t expected_transactions,
                std::uint64_t expected_occurrences);
  // Buffers transaction position tid (the next one: 0, 1, 2, ...) with its items.
  void add_transaction(const T* items, std::uint32_t length, std::uint32_t tid);
  // Builds the lists from the transactions; a second call does nothing.
  void finish_filling();

  // Drops every item whose keep flag is 0 (after a level, the items in none
  // of its stored itemsets, which no later candidate holds), then every
  // transaction left with fewer than min_length items (min_length: the items of
  // the next level's candidates), from the transactions and the lists. Later
  // walks then take only what can still count; transaction positions stay as
  // they were (the places move).
  void keep_items_in_transactions(const std::vector<std::uint8_t>& keep,
                                  std::uint32_t min_length);

  std::uint32_t n_items() const { return n_items_; }
  std::uint32_t n_transactions() const { return n_transactions_; }
  // The places of item in the horizontal copy, ascending (not transaction
  // positions: see transaction_at and mark_transactions).
  const std::uint32_t* places(std::uint32_t item) const { return places_.data() + first_[item]; }
  std::uint32_t length(std::uint32_t item) const {
    return static_cast<std::uint32_t>(first_[item + 1] - first_[item]);
  }
  // The position of the transaction holding place.
  std::uint32_t transaction_at(std::uint32_t place) const;
  // Sets bit t of row (32 positions a word) for every transaction t holding item.
  void mark_transactions(std::uint32_t item, std::uint32_t* row) const;
  // Bytes held now.
  std::uint64_t size_bytes() const {
    return bytes_for(n_items_, n_transactions_, places_.size());
  }
  // Bytes the filling scan's buffers (the horizontal copy and its ends) have
  // room for: what allocate reserved, unless the scan outgrew it.
  std::uint64_t buffer_bytes() const {
    return (transaction_items_.capacity() + transaction_ends_.capacity()) * sizeof(std::uint32_t);
  }

  // Fetching ahead for a group whose prefix starts with item, a few groups
  // before start_group projects it (with a million items, that projection
  // missed the cache on nearly every transaction and list slot it touched):
  // first its transactions, then, once they have arrived, the projection's
  // list slots of their items. Both do nothing below kFetchedListItems items,
  // whose slots and rows the cache holds anyway.
  KESTREL_PREFETCHER void prefetch_transactions(std::uint32_t item) const {
    if (n_items_ < kFetchedListItems || !filled_) return;
    const std::uint32_t* p = places(item);
    for (std::uint32_t i = 0, n = std::min(length(item), kFetchedPlaces); i < n; ++i)
      __builtin_prefetch(transaction_items_.data() + p[i] + 1);
  }
  KESTREL_PREFETCHER void prefetch_list_slots(std::uint32_t item, const tid_scratch& s) const {
    if (n_items_ < kFetchedListItems || !filled_ || s.depth.empty()) return;
    const tid_list_slot* list = s.depth[0].list.data();
    const std::uint32_t* p = places(item);
    for (std::uint32_t i = 0, n = std::min(length(item), kFetchedPlaces); i < n; ++i) {
      const std::uint32_t* y = transaction_items_.data() + p[i] + 1;
      for (std::uint32_t j = 0; j < kFetchedPlaces && y[j] != kTransactionEnd; ++j)
        __builtin_prefetch(list + y[j], 1);
    }
  }

  // Fetching ahead for a group of last items last[0..m), a few groups before
  // start_group marks their positions and the walk reads them back, one item
  // of a million at random each (also nothing below kFetchedListItems items).
  template <class Item>
  KESTREL_PREFETCHER void prefetch_positions(const Item* last, std::uint32_t m,
                                             const tid_scratch& s) const {
    if (n_items_ < kFetchedListItems || s.position.empty()) return;
    for (std::uint32_t i = 0, n = std::min(m, kFetchedPlaces); i < n; ++i)
      __builtin_prefetch(s.position.data() + last[i], 1);
  }

  // Prepares scratch for one level of candidates of k items.
  void start_iteration(int k, tid_scratch& scratch) const;
  // Counts a whole group of the previous level at once: the itemsets P+x for
  // the ascending last items x = last[0..m) of the prefix P = prefix[0..pk),
  // pk >= 1. pair_count(x, y, scratch) then gives the support of P+x+y for x < y
  // of the group, exact when it reaches min_count (below, some smaller value).
  // One walk over the transactions of P counts every pair of last items they
  // hold, where counting candidate by candidate would intersect two lists each
  // time; the projections of P's leading parts are reused from the group
  // before, as far as the prefixes agree.
  // Before it, the caller may restrict the projections it will make:
  // depth[d] for d from kept_projections(prefix, pk) to pk - 2 (that of
  // prefix[0..d]), to the items that follow prefix[0..d] in some itemset of
  // the previous level (a wanted item's pair counts stay exact).
  void start_group(const T* prefix, int pk, const T* last, std::uint32_t m,
                   std::uint32_t min_count, tid_scratch& scratch) const;
  // How many leading projections start_group(prefix, pk, ...) keeps from the
  // group before: those whose items agree.
  static std::size_t kept_projections(const T* prefix, int pk, const tid_scratch& scratch) {
    const std::size_t need = static_cast<std::size_t>(pk - 1);
    std::size_t share = 0;
    while (share < scratch.projected.size() && share < need &&
           scratch.projected[share] == prefix[share])
      ++share;
    return share;
  }
  // Candidates of one group must come row by row (x ascending).
  std::uint32_t pair_count(std::uint32_t x, std::uint32_t y, tid_scratch& scratch) const;
  // Row a of the group's pair counts: entry b - a - 1 is the count of the pair
  // of positions a < b (last[a], last[b]), as pair_count gives it. Rows must
  // come in ascending order; the pointer holds until the next call.
  const std::uint32_t* pair_row(std::uint32_t a, tid_scratch& scratch) const;

 private:
  // Fills out with the projection of Q from q[0..nq), the places of Q's last
  // item in rows, which hold Q's transactions; tails of fewer than min_tail
  // kept items are dropped.
  void project(const std::uint32_t* rows, const std::uint32_t* q, std::size_t nq,
               std::uint32_t min_count, std::uint32_t min_tail, tid_projection& out) const;
  // Fills s.depth[d] with the projection of the prefix parts 0..d, whose last
  // is item, from s.depth[d - 1] (from item's own list at d = 0).
  void project_depth(std::size_t d, std::uint32_t item, std::uint32_t min_count,
                     tid_scratch& s) const;
  // The lists from the transactions (counting sort by item).
  void build_lists();
  // build_lists for a million items: the occurrences dealt to buckets of
  // consecutive items first, each bucket then sorted within the cache.
  void build_lists_by_buckets();
  // Counts the pairs of the rows from `first` on that fit the scratch's block.
  void count_block(std::uint32_t first, tid_scratch& scratch) const;

  std::uint32_t n_items_ = 0;
  std::uint32_t n_transactions_ = 0;
  std::vector<std::uint32_t> places_;
  std::vector<std::size_t> first_;  // n_items + 1 list starts
  // The horizontal copy: the transactions' items, each transaction closed by
  // kTransactionEnd, and where each one's end mark sits.
  std::vector<std::uint32_t> transaction_items_;
  std::vector<std::uint32_t> transaction_ends_;
  std::uint32_t longest_ = 0;  // items in the longest transaction
  bool filled_ = false;
};
