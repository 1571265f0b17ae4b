// Level 3 by first item, the first items split between threads.
//
// The candidates of one first item are generated from its group of level 2
// alone, so the groups are cut into chunks of consecutive groups of about equal
// work and threads take the chunks in turn. Each thread has its own generator
// (its own constraint clones: a test may keep state while it runs) and, but
// for the calling thread, its own position counters and loose flags laid out
// as the block's: two first items of one transaction credit the same counters.
// Afterwards the counters are summed into the block's and the flags OR-ed, so
// the block ends as one thread leaves it. A chunk's frequent candidates are
// handed on in chunk order as soon as the chunks before it are, so the level
// store, the rewritten dataset and the output are the same for any number of
// threads. T is the dense item type, T1 the support type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/triples_by_first_item.h"
#include "util/thread_runner.h"

// Below this much work per thread (joins and item pairs of the transactions,
// see triples_work) a thread costs more than it saves (the default only: a
// number of threads the user gives is used as given).
constexpr std::uint64_t kTripleJoinsPerThread = 1u << 16;
// Chunks per thread: enough for threads that finish early to take over work.
constexpr unsigned kTripleChunksPerThread = 16;
// However many threads are asked for, level 3 starts at most this many.
constexpr unsigned kMaxTripleThreads = 256;

// Bytes each thread beyond the first takes for a block of `items` items in
// `transactions` transactions: its position counters and loose flags (the
// generator's working memory is planned apart).
template <class T>
std::uint64_t thread_tally_bytes(std::uint64_t items, std::uint64_t transactions, int n_loose) {
  return items * sizeof(std::uint32_t) + transactions * static_cast<std::uint64_t>(n_loose);
}

// Bytes per candidate a chunk's results hold until the chunks before it are
// handed on: its three items, count and loose flags.
template <class T>
std::uint64_t triple_result_bytes(int n_loose) {
  return 3 * sizeof(T) + sizeof(std::uint32_t) + static_cast<std::uint64_t>(n_loose);
}

// The work of counting level 3: its joins, plus about the item pairs its
// transactions hold (`entries` items in `transactions` transactions hold at
// least entries^2 / (2 transactions) pairs when their lengths are equal, more
// otherwise), since every first item walks the pairs after it in each of its
// transactions. On dense
// data with few items the walks are the work: chess's level 3 has 7514 joins
// but over two million pairs in its transactions.
inline std::uint64_t triples_work(std::uint64_t joins, std::uint64_t entries,
                                  std::uint64_t transactions) {
  return joins + (transactions == 0 ? 0 : entries * entries / (2 * transactions));
}

// The threads for level 3: asked, or (asked 0) up to `processors` where each
// gets kTripleJoinsPerThread of the work (triples_work); as many as `spare` bytes hold beside one
// thread, each taking per_thread and all together shared (none with one
// thread); never more than kMaxTripleThreads; 1 at least.
inline unsigned threads_for_triples(unsigned asked, unsigned processors, std::uint64_t work,
                                    std::uint64_t spare, std::uint64_t per_thread,
                                    std::uint64_t shared) {
  std::uint64_t threads = asked;
  if (asked == 0) threads = std::min<std::uint64_t>(processors, work / kTripleJoinsPerThread);
  threads = std::clamp<std::uint64_t>(threads, 1, kMaxTripleThreads);
  if (threads == 1) return 1;
  if (spare < shared) return 1;
  const std::uint64_t extra = per_thread == 0 ? threads - 1 : (spare - shared) / per_thread;
  return static_cast<unsigned>(std::min<std::uint64_t>(threads, 1 + extra));
}

// Cuts the groups of pairs_level into about threads * kTripleChunksPerThread
// ranges [first, end) of consecutive groups, of about equal work each: a group
// weighs its joins plus the transactions its first item is indexed under.
template <class T, class T1>
std::vector<std::pair<int, int>> chunk_first_items(const frequent_level<T, T1>& pairs_level,
                                                   const transaction_block<T>& block,
                                                   unsigned threads) {
  const int n = pairs_level.number_of_groups();
  std::vector<std::uint64_t> weight(static_cast<std::size_t>(n));
  std::uint64_t total = 0;
  for (int g = 0; g < n; ++g) {
    const std::uint64_t m =
        static_cast<std::uint64_t>(pairs_level.group_last[g] - pairs_level.group_first(g)) + 1;
    T prefix[2];
    pairs_level.group_prefix(g, prefix);
    weight[g] = m * (m - 1) / 2 + block.indexed(prefix[0]);
    total += weight[g];
  }
  const std::uint64_t wanted = std::uint64_t{threads} * kTripleChunksPerThread;
  const std::uint64_t per_chunk = std::max<std::uint64_t>(1, (total + wanted - 1) / wanted);
  std::vector<std::pair<int, int>> chunks;
  std::uint64_t in_chunk = 0;
  int first = 0;
  for (int g = 0; g < n; ++g) {
    in_chunk += weight[g];
    if (g == n - 1 || in_chunk >= per_chunk) {
      chunks.push_back({first, g + 1});
      first = g + 1;
      in_chunk = 0;
    }
  }
  return chunks;
}

// A chunk's frequent candidates, three items each, until handed on.
template <class T>
struct triples_chunk {
  std::vector<T> itemsets;
  std::vector<std::uint32_t> counts;
  std::vector<std::uint8_t> flags;
  std::uint64_t candidates = 0;
};

// Counts the candidates of the first items triples is restricted to into cnt
// and lam (the block's or a thread's own) and keeps those of at least
// min_count in out.
template <class T, class T1>
void count_triples_chunk(triples_by_first_item<T, T1>& triples, transaction_block<T>& block,
                         std::uint32_t* cnt, std::uint8_t* lam, std::uint32_t min_count, int n_loose,
                         triples_chunk<T>& out) {
  while (triples.next_first_item(block, cnt, lam)) {
    out.candidates += triples.counts.size();
    for (std::size_t i = 0; i < triples.counts.size(); ++i) {
      if (triples.counts[i] < min_count) continue;
      out.itemsets.insert(out.itemsets.end(),
                          {triples.first(), triples.seconds[i], triples.thirds[i]});
      out.counts.push_back(triples.counts[i]);
      const std::uint8_t* f = triples.flags(i);
      out.flags.insert(out.flags.end(), f, f + n_loose);
    }
  }
}

// count_triples_on_threads on two threads or more: the chunks of first items
// (chunk_first_items) are counted on threads of their own, each with its own
// constraint clones and (but the calling thread) its own position counters
// and loose flags, and handed on in chunk order.
template <class T, class T1, class Take>
std::uint64_t count_triples_in_chunks(const frequent_level<T, T1>& pairs_level,
                                      const frequent_pairs<T>& pairs, typed_constraints<T>& table,
                                      std::uint32_t n_items, std::uint32_t min_count,
                                      transaction_block<T>& block, unsigned threads,
                                      const Take& take) {
  const int n_loose = block.n_loose();
  const std::vector<std::pair<int, int>> chunks = chunk_first_items(pairs_level, block, threads);
  in_item_order<triples_chunk<T>> results(chunks.size());
  std::uint64_t n_candidates = 0;
  auto hand_on = [&](std::size_t, const triples_chunk<T>& r) {
    n_candidates += r.candidates;
    for (std::size_t i = 0; i < r.counts.size(); ++i)
      take(r.itemsets.data() + 3 * i, r.counts[i], r.flags.data() + i * n_loose);
  };
  // The tallies of the threads beyond the first, summed into the block's.
  std::vector<std::vector<std::uint32_t>> counters(threads - 1);
  std::vector<std::vector<std::uint8_t>> flags(threads - 1);
  run_on_threads(threads, chunks.size(), [&](unsigned thread, work_items& items) {
    std::unique_ptr<typed_constraints<T>> own_table = table.copy();
    std::uint32_t* cnt = block.counter_data();
    std::uint8_t* lam = block.flag_data();
    if (thread > 0) {
      counters[thread - 1].assign(block.total_items(), 0);
      flags[thread - 1].assign(std::size_t{block.size()} * static_cast<std::size_t>(n_loose), 0);
      cnt = counters[thread - 1].data();
      lam = flags[thread - 1].data();
    }
    triples_by_first_item<T, T1> triples(pairs_level, pairs, *own_table, n_items);
    for (std::size_t c; items.next(c);) {
      auto result = std::make_unique<triples_chunk<T>>();
      triples.restrict_groups(chunks[c].first, chunks[c].second);
      count_triples_chunk(triples, block, cnt, lam, min_count, n_loose, *result);
      // Once a thread failed, nothing more is handed on.
      if (items.failed()) break;
      results.put(c, std::move(result), hand_on);
    }
  });
  std::uint32_t* cnt = block.counter_data();
  std::uint8_t* lam = block.flag_data();
  for (const std::vector<std::uint32_t>& c : counters)
    for (std::size_t i = 0; i < c.size(); ++i) cnt[i] += c[i];
  for (const std::vector<std::uint8_t>& f : flags)
    for (std::size_t i = 0; i < f.size(); ++i) lam[i] |= f[i];
  return n_candidates;
}

// Counts level 3 in block (indexed for k = 3) on `threads` threads and calls
// take(itemset, count, flags) for every candidate of at least min_count, in
// lexicographic order, on one thread at a time. Returns the number of
// candidates. The first exception a thread throws stops the others between
// chunks and is rethrown here.
template <class T, class T1, class Take>
std::uint64_t count_triples_on_threads(const frequent_level<T, T1>& pairs_level,
                                       const frequent_pairs<T>& pairs, typed_constraints<T>& table,
                                       std::uint32_t n_items, std::uint32_t min_count,
                                       transaction_block<T>& block, unsigned threads,
                                       const Take& take) {
  if (threads > 1)
    return count_triples_in_chunks(pairs_level, pairs, table, n_items, min_count, block, threads,
                                   take);
  triples_by_first_item<T, T1> triples(pairs_level, pairs, table, n_items);
  std::uint64_t n_candidates = 0;
  T cand[3];
  while (triples.next_first_item(block)) {
    cand[0] = triples.first();
    n_candidates += triples.counts.size();
    for (std::size_t i = 0; i < triples.counts.size(); ++i) {
      if (triples.counts[i] < min_count) continue;
      cand[1] = triples.seconds[i];
      cand[2] = triples.thirds[i];
      take(cand, triples.counts[i], triples.flags(i));
    }
  }
  return n_candidates;
}
