// Level stores: the itemsets of one length k, grouped by their first k-1 items.
//
// T is the dense item type and T1 the support type (8, 16 or 32-bit unsigned).
// Itemsets are added in lexicographic order of their dense ids, so the itemsets
// that share a prefix (their first k-1 items) form one contiguous group. The
// prefixes form a tree: depth d < k-1 holds each distinct run of the first d+1
// items once, as its item at d, in lexicographic order; a node's children are a
// range of the next depth. The nodes of depth k-2 are the groups, whose
// children are itemsets; the last item of each itemset (its suffix) is stored
// once per itemset. On deep dense levels groups hold two or three itemsets, so
// an itemset costs about its suffix, its support and a share of one node,
// instead of a whole prefix per group.
//   node_items  [d][n]: the item at depth d of node n
//   node_ends   [d][n], d < k-2: end of node n's children at depth d+1 (the
//               children of n start where those of n-1 end)
//   group_last  per group (node of depth k-2): index of its last itemset
//               (strictly increasing)
// Both offset arrays take 8 bits per entry where they can (levels/offset_column.h);
// group_last of flat stores is one 32-bit array.
//   suffixes, supports: per itemset (supports: levels/support_column.h)
//   keys        per itemset, used by the key-pattern iteration; sized by its user
//               (4 bits each, levels/key_column.h), or held in the supports' top
//               bits when the level's supports leave them clear (key() reads
//               either)
//   loose_flags   per itemset, one bit per loose anti-monotone constraint: set when
//               the itemset satisfies it
// A store holds every frequent itemset of its level that passes the
// anti-monotone constraints; which of them are written is decided by dump_itemsets.
// The read walk keeps its position in the store; the join walks
// (levels/candidate_cursor.h) keep theirs in their cursors and only read the store.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "constraints/constraint_set.h"
#include "constraints/summary_path.h"
#include "dataset/items.h"
#include "levels/key_column.h"
#include "levels/offset_column.h"
#include "levels/support_column.h"
#include "util/output_file.h"

template <class T, class T1>
class level_store {
 public:
  // flat: keep the group prefixes flat in `prefixes` instead of the tree
  // (candidate stores, whose count walks the prefixes by offset).
  explicit level_store(int k, bool flat = false);
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
  void reserve_for_joins(const level_store& previous, bool with_keys, std::uint64_t budget_bytes);

  // Appends itemset[0..k-1] (ascending). flag_source null: the loose flags are
  // evaluated with loose_table; otherwise they are copied from flag_source's flags
  // of its itemset source_index. Returns whether the itemset opened a group.
  bool add_itemset(const T* itemset, T1 support, typed_constraints<T>& table,
                   const level_store* flag_source = nullptr, int source_index = -1);
  // Appends itemset[0..k-1] (ascending) with the loose flags given: flags[u]
  // nonzero when it satisfies loose constraint u, loose_count entries.
  void add_itemset(const T* itemset, T1 support, const std::uint8_t* flags, int loose_count);
  // Appends itemset[0..k-1] (ascending) to a level in memory: with its loose
  // flags only where table.stores_loose_flags(). Nothing there reads a flag
  // before the level is written, and the writer asks the loose constraints
  // of an itemset without flags itself.
  void add_in_memory(const T* itemset, T1 support, typed_constraints<T>& table) {
    if (table.stores_loose_flags())
      add_itemset(itemset, support, table);
    else
      add_itemset(itemset, support, nullptr, 0);
  }
  // The same for a caller that knows how many leading items the itemset
  // shares with the last one stored: `shared` exactly, at most k-1 (k-1: it
  // joins the last group; less: it opens a group whose prefix leaves the last
  // one at position shared). The prefixes are not compared.
  void add_in_memory_sharing(const T* itemset, int shared, T1 support, typed_constraints<T>& table);

  // Appends the itemsets of part (the same k, every itemset after this
  // store's last one in lexicographic order), with their supports, key records
  // and loose flags.
  void append(const level_store& part);

  void init_read_itemsets();
  // Next itemset into buffer (k items; the prefix is kept between calls); returns
  // its index or -1 at the end.
  int next_itemset(T* buffer);

  // Keeps the key records of the level about to be built in the supports' top
  // bits (the store is empty; clear() returns to a separate key column). Only
  // for supports that leave them clear (support_column::fits_records).
  void pack_keys() { supports.pack_records(true); }
  // Itemset i's key record.
  [[gnu::always_inline]] std::uint8_t key(std::size_t i) const {
    return supports.packed() ? supports.record(i) : keys[i];
  }
  // Itemset i's key record and support, from one look-up of its entry when
  // the records are packed.
  [[gnu::always_inline]] void key_and_support(std::size_t i, std::uint8_t& key, T1& support) const {
    if (supports.packed()) {
      const T1 entry = supports.entry_value(i);
      key = support_column<T1>::record_of(entry);
      support = supports.support_of(entry);
    } else {
      key = keys[i];
      support = supports[i];
    }
  }
  // Whether every itemset has a key record.
  bool has_keys() const {
    return supports.packed() || keys.size() == static_cast<std::size_t>(n_itemsets);
  }
  // Sets the key record of the itemset added last (records are added in
  // itemset order, one per itemset).
  void add_key(std::uint8_t record) {
    if (supports.packed())
      supports.set_last_record(record);
    else
      keys.push_back(record);
  }

  bool flag(int itemset, int u) const {
    return loose_flags[static_cast<std::size_t>(itemset) * n_loose + u];
  }
  int number_of_groups() const { return static_cast<int>(group_last.size()); }
  // Candidates the joins inside the groups give (m(m-1)/2 from a group of m).
  // Walked once and kept while the store neither grows nor is cleared: the
  // reservation, the threads, the windows and the chunks of the next level
  // all ask.
  std::uint64_t joins() const;
  // The bytes the store's arrays hold (their capacity, not only what is used).
  std::uint64_t bytes() const;
  int group_first(int g) const { return g == 0 ? 0 : group_last[g - 1] + 1; }
  // Group g's first and last itemset, from one read of group_last.
  [[gnu::always_inline]] void group_span(int g, int& first, int& last) const {
    if (g == 0) {
      first = 0;
      last = group_last[0];
      return;
    }
    group_last.around(static_cast<std::size_t>(g), first, last);
    ++first;
  }
  // Copies group g's prefix (k-1 items) to out. Climbs the tree by bisection:
  // walks in group order use group_walk (below) instead.
  void group_prefix(int g, T* out) const;
  // First and end node of node n's children (n of depth d, d < k-2; d = -1: the
  // whole of depth 0).
  std::size_t children_begin(int d, std::size_t n) const {
    return d < 0 || n == 0 ? 0 : node_ends[d][n - 1];
  }
  std::size_t children_end(int d, std::size_t n) const {
    return d < 0 ? node_items[0].size() : node_ends[d][n];
  }
  // Both at once, from one read of node_ends.
  [[gnu::always_inline]] void children(int d, std::size_t n, std::size_t& begin,
                                       std::size_t& end) const {
    if (d < 0) {
      begin = 0;
      end = node_items[0].size();
    } else if (n == 0) {
      begin = 0;
      end = node_ends[d][0];
    } else {
      std::uint32_t b, e;
      node_ends[d].around(n, b, e);
      begin = b;
      end = e;
    }
  }
  // The node among items[begin, end) (ascending) whose item is x, or -1.
  static long find_node(const T* items, std::size_t begin, std::size_t end, T x) {
    // Sibling ranges are short on deep levels: a scan beats a bisection there.
    if (end - begin <= 8) {
      for (; begin < end && items[begin] < x; ++begin) {
      }
    } else {
      begin = static_cast<std::size_t>(std::lower_bound(items + begin, items + end, x) - items);
    }
    return begin < end && items[begin] == x ? static_cast<long>(begin) : -1;
  }

  bool flat;
  std::vector<T> prefixes;  // flat only: group g's prefix at [g*(k-1), (g+1)*(k-1))
  std::vector<std::vector<T>> node_items;
  std::vector<T> last_prefix;  // tree only: the last group's prefix, contiguous for the compare
  std::vector<offset_column<std::uint32_t>> node_ends;
  offset_column<int> group_last;
  std::vector<T> suffixes;
  support_column<T1> supports;
  key_column keys;
  std::vector<bool> loose_flags;
  int n_loose = 0;
  int k;
  int read_pos = -1;
  int cur_group = 0;
  int cur_first = 0;
  int cur_last = 0;
  int n_itemsets = 0;

 private:
  // Appends the itemset's prefix (when it opens a group), suffix and support;
  // returns how many leading items it shares with the itemset before (at
  // most k-1; none for the first).
  int append_items(const T* itemset, T1 support);
  // The same for an itemset sharing `shared` leading items with the last one
  // (at most k-1; the first itemset shares none).
  void append_sharing(const T* itemset, int shared, T1 support);
  // Opens the group of itemset, which shares `shared` leading items with the
  // last itemset (none when it is the first): its prefix, or in the tree the
  // nodes below those shared, and its end.
  void open_group(const T* itemset, int shared);
  // Appends the itemset's loose flags, asked along loose_path_; it shares
  // `shared` leading items with the itemset stored before.
  void add_flags(const T* itemset, int shared, typed_constraints<T>& table);

  // The loose constraints' tests along the itemsets stored, in order: the
  // summaries of the last one's leading items. Stopped by every other way of
  // adding itemsets (their flags were not asked), so a walk only continues
  // from the itemset it tested last.
  summary_path<T> loose_path_;
  // joins() as last walked, for a store of joins_itemsets_ itemsets in
  // joins_groups_ groups (-1: not walked since the last clear).
  mutable std::uint64_t joins_ = 0;
  mutable int joins_itemsets_ = -1;
  mutable int joins_groups_ = -1;
};

template <class T, class T1>
class frequent_level : public level_store<T, T1> {
 public:
  explicit frequent_level(int k) : level_store<T, T1>(k) {}

  // The group whose prefix is prefix[0..k-2]; -1 when there is none.
  int find_group(const T* prefix) const;
  // Index of the itemset of group g whose last item is `last`, or -1. A long
  // group is bisected, a short one scanned.
  int find_in_group(int g, T last) const;

  // Finds the k-itemset `itemset` (ascending); on success sets its support, key
  // record (the key mark when the level has none) and index (each when not null).
  bool lookup(const T* itemset, T1* support, std::uint8_t* key, int* index = nullptr) const;

  // Writes every stored itemset that the monotone and convertible constraints
  // accept and whose loose flags are all set (levels/line_writer.h: the bytes
  // are the same for any number of threads). Returns the number written.
  // progress (one thread only): set now and then to the group being laid out,
  // below which the walk reads nothing more (levels/level_release.h).
  int dump_itemsets(const item_table& items, const std::vector<std::uint32_t>& prefix_items,
                    output_file& out, typed_constraints<T>& table, unsigned threads = 1,
                    std::atomic<int>* progress = nullptr) const;
  // How many itemsets dump_itemsets would write, without laying any out (a
  // rank that does not write the output still reports the level's figures).
  int count_written(typed_constraints<T>& table) const;
};

// Walks the groups of a store in order and keeps the current group's prefix:
// moving to the next group climbs the tree only as far as the prefix changes.
template <class T, class T1>
class group_walk {
 public:
  explicit group_walk(const level_store<T, T1>& store)
      : store_(store),
        width_(store.k > 1 ? store.k - 1 : 0),
        nodes_(width_, 0),
        child_ends_(width_, 0),
        prefix_(width_, 0) {}

  // Moves to group g and returns the first prefix position that changed (0
  // after a move back or the first move; width when nothing changed). Moving
  // forward climbs only as far as g's nodes leave the current ones: a node
  // within its parent's children moves there directly; past them, the parent
  // steps on until its children reach it.
  [[gnu::always_inline]] int move_to(int g) {
    if (width_ == 0) return 0;
    const std::size_t target = static_cast<std::size_t>(g);
    const int top = width_ - 1;
    if (!started_ || target < nodes_[top]) {
      started_ = true;
      nodes_[top] = target;
      for (int d = top - 1; d >= 0; --d) {
        nodes_[d] = store_.node_ends[d].upper_bound(static_cast<std::uint32_t>(nodes_[d + 1]));
        child_ends_[d] = store_.node_ends[d][nodes_[d]];
      }
      copy_from(0);
      return 0;
    }
    if (target == nodes_[top]) return width_;
    nodes_[top] = target;
    int d = top;
    while (d > 0 && nodes_[d] >= child_ends_[d - 1]) {
      // A node has at least one child: one of the parent's successors holds
      // nodes_[d].
      --d;
      do child_ends_[d] = store_.node_ends[d][++nodes_[d]];
      while (child_ends_[d] <= nodes_[d + 1]);
    }
    copy_from(d);
    return d;
  }

  const T* prefix() const { return prefix_.data(); }

  // The current group's node at depth 0 (its first prefix item's), for
  // fetching ahead of the walk; valid after the first move_to.
  std::size_t first_node() const { return width_ == 0 ? 0 : nodes_[0]; }
  // The current group's node at depth d < width (the node of its first d+1
  // prefix items); valid after the first move_to.
  std::size_t node(int d) const { return nodes_[static_cast<std::size_t>(d)]; }
  // The end of the siblings of the current group's node at depth d < width
  // (the end of its parent's children); valid after the first move_to.
  std::size_t siblings_end(int d) const {
    return d == 0 ? store_.node_items[0].size() : child_ends_[static_cast<std::size_t>(d - 1)];
  }

 private:
  void copy_from(int d) {
    for (; d < width_; ++d) prefix_[d] = store_.node_items[d][nodes_[d]];
  }

  const level_store<T, T1>& store_;
  int width_;
  bool started_ = false;
  std::vector<std::size_t> nodes_;
  // Above the groups' depth: the end of nodes_[d]'s children, read once per
  // node the walk enters rather than once per group.
  std::vector<std::size_t> child_ends_;
  std::vector<T> prefix_;
};
