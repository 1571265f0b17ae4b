// Level stores: the itemsets of one length k, grouped by their first k-1 items.
//
// T is the dense item type and T1 the support type (8, 16 or 32-bit unsigned).
// Itemsets are added in lexicographic order of their dense ids, so the itemsets
// that share a prefix (their first k-1 items) form one contiguous group; the
// prefix of a group is stored once, the last item of each itemset (its suffix)
// once per itemset. Groups follow in ascending prefix order and the suffixes of a
// group ascend.
//   prefixes    group g's prefix at [g*(k-1), (g+1)*(k-1))
//   group_last  per group: index of its last itemset (strictly increasing)
//   suffixes, supports: per itemset
//   keys        per itemset, used by the key-pattern iteration; sized by its user
//   lam_flags   per itemset, one bit per loose anti-monotone constraint: set when
//               the itemset satisfies it
// A store holds every frequent itemset of its level that passes the
// anti-monotone constraints; which of them are written is decided by dump_itemsets.
// The read walk keeps its position in the store; the join walks
// (levels/join_cursor.h) keep theirs in their cursors and only read the store.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "util/output_file.h"

template <class T, class T1>
class level_store {
 public:
  explicit level_store(int k);
  virtual ~level_store() = default;
  // Moved, not copied: a level can be large.
  level_store(level_store&&) = default;
  level_store& operator=(level_store&&) = default;
  // Empties the store for level k and gives its memory back: a level's arrays
  // can be large, and the next level built here may need far less (or more,
  // and then nothing stale sits beside the new arrays).
  void clear(int k);

  // Reserves room for level k+1 built from previous (level k) by joining the
  // itemsets within each group: at most m(m-1)/2 itemsets and m-1 groups from a
  // group of m. Nothing is reserved when that bound takes more than
  // budget_bytes. Filling from reserved room never copies an array, so the level
  // under construction never holds its old and its grown arrays at once; room
  // reserved but not filled is address space the process never touches.
  // with_keys: room for one key record per itemset too.
  void reserve_for_joins(const level_store& previous, bool with_keys,
                         std::uint64_t budget_bytes);

  // Appends itemset[0..k-1] (ascending). flag_source null: the loose flags are
  // evaluated with lam_table; otherwise they are copied from flag_source's flags
  // of its itemset source_index.
  void add_itemset(const T* itemset, T1 support, typed_constraints<T>& table,
                   const level_store* flag_source = nullptr, int source_index = -1);

  // Appends the itemsets of part (the same k, every itemset after this
  // store's last one in lexicographic order), with their supports, key records
  // and loose flags.
  void append(const level_store& part);

  void init_read_itemsets();
  // Next itemset into buffer (k items; the prefix is kept between calls); returns
  // its index or -1 at the end.
  int next_itemset(T* buffer);

  bool flag(int itemset, int u) const {
    return lam_flags[static_cast<std::size_t>(itemset) * n_lam + u];
  }
  int number_of_groups() const { return static_cast<int>(group_last.size()); }
  // The bytes the store's arrays hold (their capacity, not only what is used).
  std::uint64_t bytes() const;
  int group_first(int g) const { return g == 0 ? 0 : group_last[g - 1] + 1; }

  std::vector<T> prefixes;
  std::vector<int> group_last;
  std::vector<T> suffixes;
  std::vector<T1> supports;
  std::vector<T> keys;
  std::vector<bool> lam_flags;
  int n_lam = 0;
  int k;
  int read_pos = -1;
  int cur_group = 0;
  int cur_first = 0;
  int cur_last = 0;
  int n_itemsets = 0;
};

template <class T, class T1>
class frequent_level : public level_store<T, T1> {
 public:
  explicit frequent_level(int k) : level_store<T, T1>(k) {}

  // The group whose prefix is prefix[0..k-2], searched by bisection among the
  // groups from `from` on; -1 when there is none.
  int find_group(const T* prefix, int from = 0) const;
  // Index of the itemset of group g whose last item is `last`, or -1. A long
  // group is bisected, a short one scanned.
  int find_in_group(int g, T last) const;

  // Finds the k-itemset `itemset` (ascending); on success sets its support, key
  // record and index (each when not null).
  bool lookup(const T* itemset, T1* support, T* key, int* index = nullptr) const;

  // Writes every stored itemset that the monotone and convertible constraints
  // accept and whose loose flags are all set: prefix items, labels, "(support)\n"
  // (the line layout of levels/output_line.h). Returns the number written.
  int dump_itemsets(item_table& items, const std::vector<std::uint32_t>& prefix_items,
                    output_file& out, typed_constraints<T>& table);

};

