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
// The read walk, the join cursor and dump_itemsets share the group cursor, so
// they are never interleaved on one store.
#pragma once

#include <cstdint>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/items.h"
#include "util/output_file.h"

// The output file opened for one level: "w+" for iteration 1, else appended.
class FSout {
 public:
  FSout(const std::string& name, int iteration) : file(name, iteration == 1 ? "w+" : "a") {}
  output_file file;
};

template <class T, class T1>
class level_store {
 public:
  explicit level_store(int k);
  virtual ~level_store() = default;
  void clear(int k);

  // Appends itemset[0..k-1] (ascending). flag_source null: the loose flags are
  // evaluated with lam_table; otherwise they are copied from flag_source's flags
  // of its itemset source_index.
  void add_itemset(const T* itemset, T1 support, typed_constraints<T>& table,
                   const level_store* flag_source = nullptr, int source_index = -1);

  void init_read_itemsets();
  // Next itemset into buffer (k items; the prefix is kept between calls); returns
  // its index or -1 at the end.
  int next_itemset(T* buffer);

  bool flag(int itemset, int u) const {
    return lam_flags[static_cast<std::size_t>(itemset) * n_lam + u];
  }
  bool all_flags(int itemset) const;
  int number_of_groups() const { return static_cast<int>(group_last.size()); }
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

enum class join_step { same_prefix, new_prefix, none };

template <class T, class T1>
class frequent_level : public level_store<T, T1> {
 public:
  explicit frequent_level(int k) : level_store<T, T1>(k) {}

  // Join cursor over every pair (i, j), i < j, of every group of >= 2 itemsets.
  bool start_join();
  join_step next_join();
  void get_prefix(T* out) const;  // out[0..k-2]
  void get_suffix(T* out) const;  // out[0] = suffix of pair_i, out[1] = suffix of pair_j
  void get_suffix(T* out, T* key_out, T1* support_out) const;

  // Finds the k-itemset `itemset` (ascending); on success sets its support, key
  // record and index. Binary search over groups, then over (or along) the group.
  bool lookup(const T* itemset, T1* support, T* key, int* index = nullptr) const;

  // Writes every stored itemset that the monotone and convertible constraints
  // accept and whose loose flags are all set: prefix items, labels, "(support)\n".
  // Returns the number written.
  int dump_itemsets(item_table& items, FSout& out, typed_constraints<T>& table);

  int pair_i = 0;
  int pair_j = 0;
};
