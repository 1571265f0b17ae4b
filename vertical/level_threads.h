// A vertical level split between threads. Internal to vertical/.
//
// The candidates of level k are the joins inside the prefix groups of level
// k-1, so groups can be counted independently. The groups are cut into chunks
// of about equal work (a group of m itemsets gives m(m-1)/2 candidates);
// threads take the chunks in turn, each with its own walker (intersection
// scratch, constraint clones, counters, item flags) and a store per chunk. The
// chunk stores are appended to the level in chunk order and the walkers'
// counters, flags and pruning masks are merged, so the level's store, its
// output and its progress row are the same for any number of threads.
// T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "constraints/constraint_set.h"
#include "dataset/items.h"
#include "dataset/run_context.h"
#include "levels/level_release.h"
#include "levels/level_store.h"
#include "util/processors.h"
#include "util/thread_runner.h"
#include "vertical/bit_matrix.h"
#include "vertical/level_output.h"
#include "vertical/subset_examination.h"
#include "vertical/vertical_dataset.h"

// Groups [first_group, end_group) of the previous level. A chunk of one group
// too big to join at once takes only the pairs whose first joined itemset is
// one of its members [first_member, end_member) (offsets in the group; end -1:
// to its end).
struct group_chunk {
  int first_group;
  int end_group;
  int first_member = 0;
  int end_member = -1;
};

// Below this many candidates per thread a thread costs more than it saves (the
// default only: a number of threads the user gives is used as given).
constexpr std::uint64_t kCandidatesPerThread = 4096;
// Chunks per thread: enough for threads that finish early to take over work.
constexpr unsigned kChunksPerThread = 16;
// Joins a chunk takes at most where a cut may fall (a few hundred KB of
// store on deep dense levels). The level joined is released only as whole
// chunks end, and each thread's chunk store is held, grown by doubling, until
// it is appended: sixteen chunks per thread on a level of 11 million joins
// kept several MB of each beside the level being built.
constexpr std::uint64_t kMostJoinsPerChunk = std::uint64_t{1} << 16;
// However many threads are asked for, a level starts at most this many.
constexpr unsigned kMaxLevelThreads = 256;

// Candidates the join of a group of m itemsets gives.
inline std::uint64_t joins_of_members(std::uint64_t m) { return m * (m - 1) / 2; }

// Candidates the join of group g gives.
template <class T, class T1>
std::uint64_t joins_in_group(const frequent_level<T, T1>& level, int g) {
  int first, last;
  level.group_span(g, first, last);
  return joins_of_members(static_cast<std::uint64_t>(last - first) + 1);
}

// The joins of consecutive groups from first_group on, one group at a time.
// Reads each group's end once: on deep levels there are millions of groups.
template <class T, class T1>
class joins_along_groups {
 public:
  joins_along_groups(const frequent_level<T, T1>& level, int first_group)
      : before_(first_group == 0 ? -1 : level.group_last[first_group - 1]),
        ends_(level.group_last, static_cast<std::size_t>(first_group)) {}

  // Candidates the join of group g gives; g follows the group asked for last
  // (first_group at the first call).
  std::uint64_t next(int /*g*/) {
    const int last = ends_.next();
    const std::uint64_t joins = joins_of_members(static_cast<std::uint64_t>(last - before_));
    before_ = last;
    return joins;
  }

 private:
  int before_;  // the last itemset of the group before
  offset_column<int>::cursor ends_;
};

// Candidates the join of groups [first_group, end_group) gives.
template <class T, class T1>
std::uint64_t joins_in_groups(const frequent_level<T, T1>& level, int first_group, int end_group) {
  if (first_group >= end_group) return 0;
  // The whole level's sum is kept by its store once walked.
  if (first_group == 0 && end_group == level.number_of_groups()) return level.joins();
  joins_along_groups<T, T1> along(level, first_group);
  std::uint64_t joins = 0;
  for (int g = first_group; g < end_group; ++g) joins += along.next(g);
  return joins;
}

// The threads to start for the join of level: asked, or (asked 0) the usable
// processors where each gets kCandidatesPerThread candidates; never more than
// kMaxLevelThreads or the candidates; 1 at least.
template <class T, class T1>
unsigned threads_for_join(const frequent_level<T, T1>& level, unsigned asked) {
  const std::uint64_t joins = level.joins();
  std::uint64_t threads = asked;
  if (asked == 0)
    threads = std::min<std::uint64_t>(usable_processors(), joins / kCandidatesPerThread);
  return static_cast<unsigned>(std::clamp<std::uint64_t>(
      std::min<std::uint64_t>({threads, joins, kMaxLevelThreads}), 1, kMaxLevelThreads));
}

// The places where a chunk may end along groups in order: group g+1 may start
// a chunk when it lies under another node of depth `depth` of the prefix tree
// than group g (depth < 0: never; depth k-2, the groups' own: always). The
// groups between two such places form a unit: the walk steps from unit to
// unit, one node of that depth each, following its last child down to find
// where its groups end, so the groups inside a unit are never tested.
template <class T, class T1>
class cut_points {
 public:
  cut_points(const frequent_level<T, T1>& level, int depth, int first_group)
      : level_(level), depth_(depth), top_(level.k - 2) {
    if (depth_ < 0 || depth_ >= top_) return;
    node_ = static_cast<std::size_t>(first_group);
    for (int d = top_ - 1; d >= depth_; --d)
      node_ = level_.node_ends[d].upper_bound(static_cast<std::uint32_t>(node_));
  }

  // The end of the unit that holds group g, the first group after the last
  // unit's end (first_group at the first call); n_groups when no place lies
  // before it.
  std::size_t unit_end(std::size_t g, std::size_t n_groups) {
    if (depth_ < 0) return n_groups;
    if (depth_ >= top_) return g + 1;
    return groups_under(node_++);
  }

 private:
  // The end of the groups under node n of depth_: the end of the children of
  // its last child, and so on down to the groups.
  std::size_t groups_under(std::size_t n) const {
    std::size_t end = n + 1;
    for (int d = depth_; d < top_; ++d) end = level_.node_ends[d][end - 1];
    return end;
  }

  const frequent_level<T, T1>& level_;
  int depth_;
  int top_;
  std::size_t node_ = 0;
};

// Cuts the groups of level into about threads * kChunksPerThread chunks of
// consecutive groups with about equal joins each, more on large levels (at
// most kMostJoinsPerChunk joins each, where a cut may fall); every group lies
// in one chunk.
// A cut never separates two groups whose prefixes start with the same two items:
// the candidates of both then start with those items, and a walk in one thread
// would reuse the run list of that two-item start across them. Cut elsewhere,
// each thread rebuilds it at the start of its chunk, exactly where a walk in one
// thread does too, so the work statistics that decide the diffuse pruning are
// the same for any number of threads.
// Only the groups [first_group, end_group) are cut when a range is given (end
// -1: the last group).
template <class T, class T1>
std::vector<group_chunk> chunk_groups(const frequent_level<T, T1>& level, unsigned threads,
                                      int first_group = 0, int end_group = -1) {
  const int n = end_group < 0 ? level.number_of_groups() : end_group;
  if (first_group >= n) return {};
  // Group g+1 may start a chunk when its prefix differs from group g's within
  // the first `lead` items: when it lies under another node of depth lead-1.
  const int lead = std::min(2, level.k - 1);
  cut_points<T, T1> cuts(level, lead - 1, first_group);
  const std::uint64_t joins = joins_in_groups(level, first_group, n);
  const std::uint64_t wanted = static_cast<std::uint64_t>(threads) * kChunksPerThread;
  const std::uint64_t per_chunk =
      std::clamp<std::uint64_t>((joins + wanted - 1) / wanted, 1, kMostJoinsPerChunk);
  std::vector<group_chunk> chunks;
  int first = first_group;
  std::uint64_t in_chunk = 0;
  // A unit's joins are summed at once: a chunk ends only where a unit does
  // (or at the last group).
  int before = first_group == 0 ? -1 : level.group_last[first_group - 1];
  for (int g = first_group; g < n;) {
    const int end = static_cast<int>(
        std::min(cuts.unit_end(static_cast<std::size_t>(g), static_cast<std::size_t>(n)),
                 static_cast<std::size_t>(n)));
    if (end == g + 1) {  // a unit of one group (the cut may fall after any)
      const int last = level.group_last[g];
      in_chunk += joins_of_members(static_cast<std::uint64_t>(last - before));
      before = last;
    } else {
      in_chunk += level.group_last.pairs_in_steps(static_cast<std::size_t>(g),
                                                  static_cast<std::size_t>(end), before);
      before = level.group_last[end - 1];
    }
    g = end;
    if (g == n || in_chunk >= per_chunk) {
      chunks.push_back({first, g});
      first = g;
      in_chunk = 0;
    }
  }
  return chunks;
}

// Folded supports (levels/support_column.h) cost more to write and read:
// next's are folded only when previous holds this many itemsets at least,
// where the room saved is megabytes (mushroom at 100 folds levels 8 to 14)...
constexpr std::uint64_t kFoldedSupportsLeast = std::uint64_t{1} << 22;
// ...and this share of its blocks of supports hold one value each (below
// about 1/7 folding takes more room than it saves).
constexpr double kFoldedSupportsFrom = 0.25;

// Reserves next's room for the joins of previous within half of what the
// budget leaves beside previous and the in-memory data (the threads' chunk stores
// take room too). next's supports are folded when previous's come in runs:
// the supports of a level and of the level joined from it run alike.
template <class T, class T1>
void reserve_next_level(const run_context& run, const frequent_level<T, T1>& previous,
                        const vertical_dataset<T>& data, bool with_keys,
                        frequent_level<T, T1>& next) {
  const std::uint64_t forced = run.config.folded_supports_from;
  const auto joined_from = static_cast<std::uint64_t>(std::max(previous.n_itemsets, 0));
  if (next.supports.empty() &&
      (forced > 0 ? joined_from >= forced
                  : joined_from >= kFoldedSupportsLeast &&
                        previous.supports.equal_block_share() >= kFoldedSupportsFrom))
    next.supports.fold_blocks(true);
  const std::uint64_t held = previous.bytes() + data.held_bytes();
  const std::uint64_t left = run.memory_bytes > held ? run.memory_bytes - held : 0;
  next.reserve_for_joins(previous, with_keys, left / 2);
}

// What one thread of a level works with and produces. Walkers lie side by side
// in a vector and each writes its counters and examination state for nearly
// every candidate: a cache line of their own each keeps one thread's writes
// from evicting the line another reads its scratch from (chess sigma 1200 on
// two threads took 28 % more processor time than on one, against 13 % so).
template <class T>
struct alignas(64) level_walker {
  intersection_scratch scratch;           // bit matrix
  tid_scratch lists;                      // tid-lists
  typed_constraints<T>* table = nullptr;  // the run's, or own_table
  std::unique_ptr<typed_constraints<T>> own_table;
  level_counters counters;
  intersection_stats stats;
  std::vector<std::uint8_t> in_frequent_itemset;  // collecting diffuse levels
  std::vector<std::uint32_t> first_item_counts;   // collecting diffuse levels
  subset_examination examination;                 // key-pattern levels
};

// One walker per thread, with scratch for the representation data uses. The
// first uses the run's constraint table when it is alone; with several threads
// every walker gets its own clones (constraint tests may keep state while they
// run).
template <class T>
std::vector<level_walker<T>> make_walkers(unsigned threads, int k, bool with_mask,
                                          const vertical_dataset<T>& data,
                                          typed_constraints<T>& table, bool collect,
                                          std::uint32_t n_items) {
  std::vector<level_walker<T>> walkers(threads);
  for (level_walker<T>& w : walkers) {
    if (data.uses_lists)
      data.lists.start_iteration(k, w.lists);
    else
      data.matrix.start_iteration(k, with_mask, w.scratch);
    if (threads == 1) {
      w.table = &table;
    } else {
      w.own_table = table.copy();
      w.table = w.own_table.get();
    }
    if (collect) {
      w.in_frequent_itemset.assign(n_items, 0);
      w.first_item_counts.assign(n_items, 0);
    }
  }
  return walkers;
}

// Sums the walkers' counters into counters and stats, and (collect) their item
// flags, first-item counts and pruning masks into matrix.
template <class T>
void merge_walkers(const std::vector<level_walker<T>>& walkers, bool collect,
                   level_counters& counters, intersection_stats& stats, bit_matrix<T>& matrix) {
  for (const level_walker<T>& w : walkers) {
    counters.examined += w.counters.examined;
    counters.frequent += w.counters.frequent;
    stats.word_ops += w.stats.word_ops;
    stats.dense_ands += w.stats.dense_ands;
    stats.sparse_ands += w.stats.sparse_ands;
    stats.mask_updates += w.stats.mask_updates;
    if (!collect) continue;
    for (std::size_t i = 0; i < w.in_frequent_itemset.size(); ++i) {
      matrix.in_frequent_itemset[i] |= w.in_frequent_itemset[i];
      matrix.first_item_counts[i] += w.first_item_counts[i];
    }
    matrix.merge_pruning_mask(w.scratch);
  }
}

// The least group of the level joined that the chunks from `from` on may
// read: the first group of chunk `from`, or (all done) the end of the last.
inline int least_group_read(const std::vector<group_chunk>& chunks, std::size_t from,
                            int n_groups) {
  if (from < chunks.size()) return chunks[from].first_group;
  return chunks.empty() || chunks.back().end_group < 0 ? n_groups : chunks.back().end_group;
}

// Runs body(walker, chunk, store) for every chunk, on one thread per walker,
// and appends the chunk stores to next in chunk order as soon as they are done.
// With one walker the chunks are stored straight into next. The first
// exception a thread throws stops the others between chunks and is rethrown
// here. release (when not null) is told, as chunks end, the least group of
// the level joined that a chunk still running or waiting may read: a chunk
// reads its own groups and, through its subsets, later ones only.
template <class T, class T1, class Body>
void join_on_threads(std::vector<level_walker<T>>& walkers, const std::vector<group_chunk>& chunks,
                     frequent_level<T, T1>& next, const Body& body,
                     level_release<T, T1>* release = nullptr) {
  const int n_groups = release != nullptr ? release->store().number_of_groups() : 0;
  if (walkers.size() == 1) {
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      if (release != nullptr) release->pace_joins(chunks[i].first_group);
      body(walkers[0], chunks[i], next);
      if (release != nullptr) release->joins_passed(least_group_read(chunks, i + 1, n_groups));
    }
    return;
  }
  in_item_order<frequent_level<T, T1>> parts(chunks.size());
  auto append = [&](std::size_t, const frequent_level<T, T1>& part) { next.append(part); };
  run_on_threads(static_cast<unsigned>(walkers.size()), chunks.size(),
                 [&](unsigned worker, work_items& items) {
                   level_walker<T>& walker = walkers[worker];
                   for (std::size_t i; items.next(i);) {
                     if (release != nullptr) release->pace_joins(chunks[i].first_group);
                     auto part = std::make_unique<frequent_level<T, T1>>(next.k);
                     if (next.supports.packed()) part->pack_keys();
                     body(walker, chunks[i], *part);
                     // The chunks before `appended` are done; later ones may be running.
                     const std::size_t appended = parts.put(i, std::move(part), append);
                     if (release != nullptr)
                       release->joins_passed(least_group_read(chunks, appended, n_groups));
                   }
                 });
}
