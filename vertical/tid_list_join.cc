// The join on tid-lists. T is the dense item type, T1 the support type.
#include "vertical/tid_list_join.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "util/widths.h"
#include "vertical/count_hits.h"
#include "vertical/count_settling.h"

namespace {

// Levels of candidates longer than this many items plus two make their
// projections unrestricted (the subtree's bounds are kept on the stack).
constexpr int kMaxRestrictedDepths = 64;

// Only the projections of a group's first two prefix items are restricted. A
// deeper one is made from a restricted one, so it already lacks most of what
// its own restriction would leave out, while the walk of its subtree is paid
// again at every depth (on T10I4D100K at 2, with levels of up to 17 items,
// restricting every depth cost 2.8 % more instructions than these two).
constexpr int kRestrictedProjections = 2;

// Projections below a first item of fewer transactions than this are made
// unrestricted: they are too short for a restriction to pay for the walk of
// the subtree (with a million items in a few transactions each, the walks
// cost more than the projections save).
constexpr std::uint32_t kRestrictedFrom = 32;

// First prefix items ahead of the walk whose projections the join fetches
// (with a million items, about one group each).
constexpr std::size_t kAheadFirst = 8;
// Groups ahead of the walk whose last items' positions it fetches.
constexpr int kAheadGroups = 4;

// Restricts p to the items after the first d+1 in level's itemsets below node
// n of depth d (an item per node and per itemset of the subtree): the only
// items a candidate joined from them holds after those d+1. The subtree takes
// one run of nodes at each depth below d, then one run of itemsets.
template <class T, class T1>
void want_items_below(const frequent_level<T, T1>& level, int d, std::size_t n, tid_projection& p) {
  const int groups_depth = level.k - 2;
  std::size_t begin[kMaxRestrictedDepths], end[kMaxRestrictedDepths];
  std::size_t lo = n, hi = n + 1, most = 0;
  for (int j = d; j < groups_depth; ++j) {
    lo = level.children_begin(j, lo);
    hi = level.children_end(j, hi - 1);
    begin[j + 1] = lo;
    end[j + 1] = hi;
    most += hi - lo;
  }
  const std::size_t first = static_cast<std::size_t>(level.group_first(static_cast<int>(lo)));
  const std::size_t last = static_cast<std::size_t>(level.group_last[hi - 1]);
  most += last + 1 - first;
  p.restrict_to(std::min<std::size_t>(most, p.list.size()));
  for (int j = d + 1; j <= groups_depth; ++j) {
    const T* items = level.node_items[j].data();
    for (std::size_t i = begin[j]; i < end[j]; ++i) p.want(items[i]);
  }
  const T* suffixes = level.suffixes.data();
  for (std::size_t i = first; i <= last; ++i) p.want(suffixes[i]);
}

// The end of the rows [row_begin, row_end) of a group (its prefix in
// walk.cand, its last items last) whose first joined itemsets leave the
// extensions of closer open: along a group they close from some row on, and
// no candidate of a closed row could be written.
template <class T>
std::uint32_t open_rows_end(T* cand, int k, const T* last, std::uint32_t row_begin,
                            std::uint32_t row_end, convertible_constraint<T>& closer) {
  for (std::uint32_t a = row_begin; a < row_end; ++a) {
    cand[k - 2] = last[a];
    if (closer.closes_extensions(cand, k - 1)) return a;
  }
  return row_end;
}

// What the walk of one chunk keeps from group to group.
template <class T, class T1>
struct chunk_walk {
  chunk_walk(const frequent_level<T, T1>& previous, int k)
      : groups(previous),
        cand(static_cast<std::size_t>(k)),
        stored_prefix(static_cast<std::size_t>(k - 2)) {}

  group_walk<T, T1> groups;
  std::vector<T> cand;
  std::vector<std::uint32_t> hits;  // of one row
  // Nodes of the first prefix items before these marks have been fetched.
  std::size_t slots_to = 0, transactions_to = 0;
  // Stored at once: the prefix of the itemset stored last, and whether any
  // was (out may end in a group of an earlier chunk).
  std::vector<T> stored_prefix;
  bool stored_before = false;
};

template <class T, class T1, class Counts>
class tid_list_join {
 public:
  using counts_policy = Counts;
  static constexpr bool kWithKeys = false;

  tid_list_join(level_job<T, T1>& job, const char* label)
      : run_(job.run()),
        data_(job.data()),
        lists_(job.data().lists),
        label_(label),
        n_items_(job.items().n_items),
        min_count_(job.items().min_count) {}

  const char* label() const { return label_; }
  void start_level(int k, const frequent_level<T, T1>& /*previous*/) { k_ = k; }
  void start_walk() const {}
  bool with_mask() const { return false; }
  bool flags_items() const { return true; }
  bool collects() const { return false; }
  void prepare(level_walker<T>& /*w*/) const {}

  // Counts the candidates of the groups of chunk: one walk per group counts
  // every pair of its last items, and the candidates are read off the counts
  // row by row, in the join's order. Only those reaching the threshold meet
  // the constraints: the others are dropped either way.
  void join(const frequent_level<T, T1>& previous, bool whole, level_walker<T>& w,
            const group_chunk& chunk, frequent_level<T, T1>& out) const {
    // The projections are restricted to what the source holds below them: those
    // of a window read back before (a part of the level) may lack items of this one.
    if (!whole) w.lists.projected.clear();
    const int end_group = chunk.end_group < 0 ? previous.number_of_groups() : chunk.end_group;
    chunk_walk<T, T1> walk(previous, k_);
    convertible_constraint<T>* closer = w.table->order_setter();
    Counts counts(run_.peers, min_count_, k_);
    // Stored after a sum: every item of the itemset is flagged.
    auto store = [&](const T* itemset, std::uint32_t count, no_payload, bool) {
      ++w.counters.frequent;
      out.add_in_memory(itemset, static_cast<T1>(count), *w.table);
      for (int q = 0; q < k_; ++q) w.in_frequent_itemset[itemset[q]] = 1;
    };
    for (int g = chunk.first_group; g < end_group; ++g) {
      int first, last_of_group;
      previous.group_span(g, first, last_of_group);
      const auto m = static_cast<std::uint32_t>(last_of_group - first + 1);
      // The rows of the first joined itemsets this chunk takes (all but a
      // chunk's first group take all).
      std::uint32_t row_begin = 0, row_end = m - 1;
      if (g == chunk.first_group) {
        row_begin = static_cast<std::uint32_t>(chunk.first_member);
        if (chunk.end_member >= 0)
          row_end = std::min(row_end, static_cast<std::uint32_t>(chunk.end_member));
      }
      if (m < 2 || row_begin >= row_end) continue;
      if (closer != nullptr) {
        walk.groups.move_to(g);
        std::copy(walk.groups.prefix(), walk.groups.prefix() + k_ - 2, walk.cand.begin());
        row_end = open_rows_end(walk.cand.data(), k_, previous.suffixes.data() + first, row_begin,
                                row_end, *closer);
        if (row_begin >= row_end) continue;
      }
      // Row a joins the m - a - 1 itemsets after it.
      w.counters.examined +=
          static_cast<long long>(row_end - row_begin) * (2 * m - row_begin - row_end - 1) / 2;
      if (!start_group(previous, g, end_group, first, m, counts.threshold(), w, walk)) continue;
      join_rows(previous.suffixes.data() + first, m, row_begin, row_end, counts, store, w, walk,
                out);
    }
    counts.settle(store);
  }

  // The items of no stored itemset leave the lists, and so do the
  // transactions too short for the next level.
  void end_level(const std::vector<level_walker<T>>& walkers, const intersection_stats&) const {
    std::vector<std::uint8_t> keep(n_items_, 0);
    for (const level_walker<T>& w : walkers)
      for (std::uint32_t i = 0; i < n_items_; ++i) keep[i] |= w.in_frequent_itemset[i];
    data_.lists.keep_items_in_transactions(keep, static_cast<std::uint32_t>(k_ + 1));
  }

 private:
  // Counts the pairs of group g's m last items (first: its first itemset) on
  // the walker's scratch; false when no pair can reach the threshold. From
  // level 4 on, a group whose first prefix item changes projects that item's
  // transactions. With enough items to miss the cache, the first items
  // kAheadFirst on get their list slots fetched, three times as far on their
  // transactions.
  bool start_group(const frequent_level<T, T1>& previous, int g, int end_group, int first,
                   std::uint32_t m, std::uint32_t threshold, level_walker<T>& w,
                   chunk_walk<T, T1>& walk) const {
    const int k = k_;
    walk.groups.move_to(g);
    if (k >= 4 && lists_.n_items() >= tid_lists<T>::kFetchedListItems) {
      const int ahead = g + kAheadGroups;
      if (ahead < end_group) {
        int ahead_first, ahead_last;
        previous.group_span(ahead, ahead_first, ahead_last);
        lists_.prefetch_positions(previous.suffixes.data() + ahead_first,
                                  static_cast<std::uint32_t>(ahead_last - ahead_first + 1),
                                  w.lists);
      }
      const std::vector<T>& first_items = previous.node_items[0];
      const std::size_t n0 = walk.groups.first_node();
      const std::size_t n_first = first_items.size();
      walk.slots_to = std::max(walk.slots_to, n0 + 1);
      walk.transactions_to = std::max(walk.transactions_to, n0 + 1);
      for (; walk.slots_to <= n0 + kAheadFirst && walk.slots_to < n_first; ++walk.slots_to)
        lists_.prefetch_list_slots(first_items[walk.slots_to], w.lists);
      for (; walk.transactions_to <= n0 + 3 * kAheadFirst && walk.transactions_to < n_first;
           ++walk.transactions_to)
        lists_.prefetch_transactions(first_items[walk.transactions_to]);
    }
    std::vector<T>& cand = walk.cand;
    std::copy(walk.groups.prefix(), walk.groups.prefix() + k - 2, cand.begin());
    // The projections start_group makes again keep only what the candidates
    // below them can hold.
    if (k - 2 <= kMaxRestrictedDepths && lists_.length(cand[0]) >= kRestrictedFrom)
      for (int d = static_cast<int>(tid_lists<T>::kept_projections(cand.data(), k - 2, w.lists));
           d + 1 < k - 2 && d < kRestrictedProjections; ++d)
        want_items_below(previous, d, walk.groups.node(d),
                         w.lists.depth[static_cast<std::size_t>(d)]);
    lists_.start_group(cand.data(), k - 2, previous.suffixes.data() + first, m, threshold, w.lists);
    // Too few transactions for any pair to reach the threshold.
    if (w.lists.group_n_places == 0 && threshold > 0) return false;
    if (walk.hits.size() < m) walk.hits.resize(m);
    return true;
  }

  // Reads the candidates of rows [row_begin, row_end) of the group started
  // (last: its m last items) off the pair counts. Stored at once, each stored
  // itemset shares with the one before it k-1 items within a row, k-2 from a
  // row to the next of its group, and between groups what their prefixes
  // share (one compare per group), so no prefix is compared per itemset; the
  // items are flagged once per group (the prefix), once per row (its item)
  // and once per itemset (its last).
  template <class Store>
  void join_rows(const T* last, std::uint32_t m, std::uint32_t row_begin, std::uint32_t row_end,
                 Counts& counts, Store& store, level_walker<T>& w, chunk_walk<T, T1>& walk,
                 frequent_level<T, T1>& out) const {
    const int k = k_;
    T* const cand = walk.cand.data();
    std::uint32_t* const hit = walk.hits.data();
    const bool check = !w.table->keeps_everything();
    const std::uint32_t threshold = counts.threshold();
    bool prefix_flagged = false;
    bool group_stored = false;
    for (std::uint32_t a = row_begin; a < row_end; ++a) {
      const std::uint32_t* row = lists_.pair_row(a, w.lists);
      const T* after = last + a + 1;
      cand[k - 2] = last[a];
      // Few counts reach the threshold: the row is first searched for them alone.
      const std::uint32_t n_hits = find_hits(row, m - a - 1, threshold, hit);
      std::uint32_t stored = 0;
      for (std::uint32_t h = 0; h < n_hits; ++h) {
        const std::uint32_t j = hit[h];
        cand[k - 1] = after[j];
        if (check && !w.table->keeps(cand, k)) continue;
        if constexpr (!Counts::kAtOnce) {
          counts.counted(cand, row[j], no_payload{}, store);
          continue;
        }
        const auto support = static_cast<T1>(row[j]);
        if (stored > 0) {
          out.add_in_memory_sharing(cand, k - 1, support, *w.table);
        } else if (group_stored) {
          out.add_in_memory_sharing(cand, k - 2, support, *w.table);
        } else {
          if (walk.stored_before) {
            const int shared = static_cast<int>(
                std::mismatch(cand, cand + (k - 2), walk.stored_prefix.begin()).first - cand);
            out.add_in_memory_sharing(cand, shared, support, *w.table);
          } else {
            out.add_in_memory(cand, support, *w.table);
          }
          std::copy(cand, cand + (k - 2), walk.stored_prefix.begin());
          walk.stored_before = group_stored = true;
        }
        ++stored;
        w.in_frequent_itemset[cand[k - 1]] = 1;
      }
      if (stored == 0) continue;
      w.counters.frequent += stored;
      w.in_frequent_itemset[cand[k - 2]] = 1;
      if (!prefix_flagged)
        for (int q = 0; q < k - 2; ++q) w.in_frequent_itemset[cand[q]] = 1;
      prefix_flagged = true;
    }
  }

  run_context& run_;
  vertical_dataset<T>& data_;
  const tid_lists<T>& lists_;
  const char* label_;
  std::uint32_t n_items_;
  std::uint32_t min_count_;
  int k_ = 0;
};

}  // namespace

template <class T, class T1>
void build_tid_list_level(level_job<T, T1>& job, const char* label) {
  if (job.summed()) {
    tid_list_join<T, T1, summed_counts<T, T1, no_payload>> join(job, label);
    job.build(join);
  } else {
    tid_list_join<T, T1, local_counts<T, T1, no_payload>> join(job, label);
    job.build(join);
  }
}

#define KESTREL_INSTANTIATE(T, T1) \
  template void build_tid_list_level<T, T1>(level_job<T, T1>&, const char*);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
