// Gives a level's memory back to the system while the level after it is built
// from it, behind its readers.
//
// The readers of level k while level k+1 is built only move forward through
// its groups: a candidate joined in group g has all its k-subsets in group g
// or in later groups (dropping an earlier item gives a lexicographically
// larger itemset), so the joins, their subset lookups and support inferences,
// and the writer that lays level k out on a thread of its own never go back.
// Once every reader has passed group g, the parts of level k's arrays that
// hold only earlier groups are released (util/page_release.h), whole pages at
// a time; the arrays stay where they are.
//
// What a reader at group g may still touch, and so what is kept:
//   suffixes, supports, keys   from group g's first itemset on
//   group_last                 from entry g-1 on (group g starts after it)
//   node_items[d]              from the ancestor of g at depth d on
//   node_ends[d]               from the entry before that ancestor on (its
//                              children start where the one before it ends)
// The tree searches (a bisection of a node_ends column, a scan or bisection
// among siblings) also probe entries before those, but only on the way to an
// answer at or after them: an ascending array that reads zeros (or a block's
// base) below the answer leads every such search to the same answer.
// The offsets' block bases go back too, a block once all its entries lie
// below the mark: a base that reads zero turns its block's entries into their
// bare 8 or 16-bit parts (or zeros), at most 65,535, and a whole page of bases
// spans 32,768 entries or more, so every entry beyond a released page is
// larger (group ends and node ends rise by one at least per entry) and the
// searches still find the same answers.
// The loose flags (a bit vector) and the offsets' spilled blocks are kept.
// Levels with flat prefixes (candidate stores) are never released.
// T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "levels/level_store.h"
#include "util/page_release.h"

// Indices below which each array of a level is no longer read once every
// reader has passed a group.
struct release_marks {
  std::size_t itemsets = 0;          // suffixes, supports, keys
  std::size_t group_ends = 0;        // group_last
  std::vector<std::size_t> items;    // node_items, per depth
  std::vector<std::size_t> ends;     // node_ends, per depth
};

// The marks once every reader has passed group g (the number of groups: all
// of the level). Depths climb from the group's node to its ancestors.
template <class T, class T1>
release_marks release_marks_below(const level_store<T, T1>& store, int g) {
  release_marks m;
  const int n = store.number_of_groups();
  m.items.assign(store.node_items.size(), 0);
  m.ends.assign(store.node_ends.size(), 0);
  if (store.flat || g <= 0 || n == 0) return m;
  if (g >= n) {
    m.itemsets = static_cast<std::size_t>(store.n_itemsets);
    m.group_ends = static_cast<std::size_t>(n);
    for (std::size_t d = 0; d < store.node_items.size(); ++d) m.items[d] = store.node_items[d].size();
    for (std::size_t d = 0; d < store.node_ends.size(); ++d) m.ends[d] = store.node_ends[d].size();
    return m;
  }
  m.itemsets = static_cast<std::size_t>(store.group_first(g));
  m.group_ends = static_cast<std::size_t>(g - 1);
  std::size_t node = static_cast<std::size_t>(g);
  for (int d = static_cast<int>(store.node_items.size()) - 1; d >= 0; --d) {
    m.items[static_cast<std::size_t>(d)] = node;
    if (d > 0) {
      node = store.node_ends[static_cast<std::size_t>(d - 1)].upper_bound(
          static_cast<std::uint32_t>(node));
      m.ends[static_cast<std::size_t>(d - 1)] = node > 0 ? node - 1 : 0;
    }
  }
  return m;
}

// The share of a level's itemsets the joins may read ahead of its writer
// (level_release::pace_joins).
constexpr std::size_t kJoinsLeadShare = 64;
// The joins may always read this many itemsets ahead of the writer.
constexpr std::size_t kJoinsLeastLead = std::size_t{1} << 16;

// Whole pages of one array that wait for more before they go back, but for
// the last release of a level. Each release of a range flushes the
// translations of every processor the process runs on (an interrupt to each,
// and on a virtual machine an exit from it per interrupt): on deep levels
// most ranges were one to four pages, and the flushes took 4-5 % of the
// processor time of mushroom at 100 and T10I4D100K at 2, for a few pages held
// a little longer (at most this much per array).
constexpr std::size_t kLeastReleaseBytes = std::size_t{64} << 10;

template <class T, class T1>
class level_release {
 public:
  // lead_itemsets: how far the joins may read ahead of the writer (0: a share
  // of the level, kJoinsLeadShare, at least kJoinsLeastLead). least_bytes: the
  // least range of one array given back before the last release.
  explicit level_release(const level_store<T, T1>& store, std::size_t lead_itemsets = 0,
                         std::size_t least_bytes = kLeastReleaseBytes)
      : store_(store),
        lead_(lead_itemsets > 0
                  ? lead_itemsets
                  : std::max(static_cast<std::size_t>(std::max(store.n_itemsets, 0)) /
                                 kJoinsLeadShare,
                             kJoinsLeastLead)),
        least_bytes_(least_bytes) {}
  level_release(const level_release&) = delete;
  level_release& operator=(const level_release&) = delete;

  const level_store<T, T1>& store() const { return store_; }

  // The group below which the writer of the level reads nothing more; the
  // number of groups once it is done (or when there is no writer). Set by the
  // writer as it goes.
  std::atomic<int> writer_group{0};
  void writer_done() { writer_group.store(store_.number_of_groups(), std::memory_order_release); }

  // The joins read nothing below group g any more: releases what lies below
  // both them and the writer. Called from any thread.
  void joins_passed(int g) {
    std::lock_guard<std::mutex> hold(lock_);
    joins_group_ = std::max(joins_group_, g);
    const int below = std::min(joins_group_, writer_group.load(std::memory_order_acquire));
    if (below <= released_group_) return;
    release_to(release_marks_below(store_, below), below >= store_.number_of_groups());
    released_group_ = below;
  }

  // Waits, before the joins read from group g on, until the writer is at most
  // the lead's itemsets behind g. Level k goes back only behind both readers:
  // a writer left behind (it shares the processors with the joins) would keep
  // what the joins have passed while the next level grows, and the joins'
  // wait hands the writer a processor. The output is the same; only the
  // timing changes. The writer reports its group every 1,024 groups and when
  // it is done (writer_done, which a writer that fails calls too).
  void pace_joins(int g) const {
    const int n = store_.number_of_groups();
    if (g <= 0 || g >= n) return;
    const std::size_t first = static_cast<std::size_t>(store_.group_first(g));
    if (first <= lead_) return;
    for (;;) {
      const int w = writer_group.load(std::memory_order_acquire);
      if (w >= g || w >= n) return;
      if (w > 0 && static_cast<std::size_t>(store_.group_first(w)) + lead_ >= first) return;
      std::this_thread::sleep_for(std::chrono::microseconds(kPaceMicroseconds));
    }
  }

  // Bytes given back so far, and the ranges they went back in.
  std::size_t released_bytes() const { return released_bytes_; }
  std::size_t released_ranges() const { return released_ranges_; }

 private:
  // How far each array has gone back, in its own entries.
  struct column_done {
    std::size_t entries = 0, bases = 0;
  };
  struct released_to {
    std::size_t suffixes = 0, supports = 0, heads = 0, keys = 0;
    column_done group_last;
    std::vector<std::size_t> items;
    std::vector<column_done> ends;
  };

  // Releases one array from where its last release ended (done) up to entry
  // to, and moves done there; a range under least_bytes_ waits unless last:
  // the page that straddled the last mark is whole in a later range's span.
  template <class E>
  void release_span(const E* data, std::size_t& done, std::size_t to, bool last) {
    if (to <= done || data == nullptr) return;
    const std::uintptr_t page = page_bytes();
    const std::uintptr_t start = std::max(reinterpret_cast<std::uintptr_t>(data),
                                          reinterpret_cast<std::uintptr_t>(data + done) & ~(page - 1));
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(data + to) & ~(page - 1);
    if (!last && (end <= start || end - start < least_bytes_)) return;
    const std::size_t bytes = release_pages(reinterpret_cast<const void*>(start), data + to);
    released_bytes_ += bytes;
    released_ranges_ += bytes > 0 ? 1 : 0;
    done = to;
  }

  // A column's entries, and its block bases with them.
  template <class V>
  void release_column(const offset_column<V>& column, column_done& done, std::size_t to,
                      bool last) {
    const std::size_t width = column.entry_bytes();
    std::size_t bytes = done.entries * width;
    release_span(static_cast<const std::uint8_t*>(column.storage()), bytes, to * width, last);
    if (bytes != to * width) return;
    done.entries = to;
    const std::size_t block = column.block_entries();
    if (block > 0) release_span(column.bases(), done.bases, to / block, true);
  }

  void release_to(const release_marks& m, bool last) {
    if (done_.items.empty()) {
      done_.items.assign(m.items.size(), 0);
      done_.ends.assign(m.ends.size(), column_done{});
    }
    release_span(store_.suffixes.data(), done_.suffixes, m.itemsets, last);
    // Folded supports keep an entry per block or per itemset: those of the
    // blocks wholly below the mark go, with the blocks' heads.
    const support_column<T1>& supports = store_.supports;
    release_span(supports.data(), done_.supports, supports.entries_before(m.itemsets), last);
    if (supports.folded())
      release_span(supports.heads().data(), done_.heads, m.itemsets / supports.kBlock, last);
    // Keys are sized by their user: only those the level has, two to a byte
    // (a byte holding a record at or after the mark is kept).
    if (store_.keys.size() >= m.itemsets)
      release_span(store_.keys.data(), done_.keys, m.itemsets / 2, last);
    release_column(store_.group_last, done_.group_last, m.group_ends, last);
    for (std::size_t d = 0; d < m.items.size(); ++d)
      release_span(store_.node_items[d].data(), done_.items[d], m.items[d], last);
    for (std::size_t d = 0; d < m.ends.size(); ++d)
      release_column(store_.node_ends[d], done_.ends[d], m.ends[d], last);
  }

  // How long a paced join sleeps between two looks at the writer: the writer
  // lays out 1,024 groups of a deep level in about that time.
  static constexpr int kPaceMicroseconds = 200;

  const level_store<T, T1>& store_;
  const std::size_t lead_;
  const std::size_t least_bytes_;
  std::mutex lock_;
  int joins_group_ = 0;
  int released_group_ = 0;
  released_to done_;
  std::size_t released_bytes_ = 0;
  std::size_t released_ranges_ = 0;
};
