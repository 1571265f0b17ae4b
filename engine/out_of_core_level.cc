// Out-of-core counting of one level. T is the dense item type, T1 the support
// type.
#include "engine/out_of_core_level.h"

#include <algorithm>
#include <cassert>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "dataset/temp_dataset.h"
#include "engine/partial_counts.h"
#include "engine/triples_by_first_item.h"
#include "engine/triples_on_threads.h"
#include "util/error.h"
#include "util/output_file.h"
#include "util/processors.h"
#include "util/progress_row.h"
#include "util/stopwatch.h"
#include "util/widths.h"

namespace {

// Per-pass state of the out-of-core counting of level k.
template <class T>
struct pass_state {
  pass_state(int k, const item_table& items, const global_pruning& pruning,
             typed_constraints<T>& table)
      : uk(static_cast<std::uint32_t>(k)),
        flag_start(table.loose_table.size()),
        flags(table.loose_table.size()),
        kept_item(items.n_items) {
    // A loose constraint whose satisfying itemsets need not have a satisfying
    // subset one item shorter cannot vouch for dropping a transaction: its flag
    // starts set, so it never empties one.
    for (std::size_t u = 0; u < flag_start.size(); ++u)
      flag_start[u] = table.loose_table[u]->prunes_transactions() ? 0 : 1;
    // Items the previous level's global pruning kept: those of at least k-1 of
    // its stored itemsets.
    for (std::uint32_t x = 0; x < items.n_items; ++x) kept_item[x] = pruning.kept(x) ? 1 : 0;
  }
  std::uint32_t uk;
  std::vector<std::uint8_t> flag_start, flags;
  std::vector<std::uint8_t> kept_item;
};

// The pruning before counting: monotone constraints, the convertible ones (at
// k = 3 only) and global pruning. False when t can hold no candidate.
template <class T>
bool prune_before_counting(counting_transaction<T>& t, int k, pass_state<T>& s,
                           typed_constraints<T>& table) {
  const std::uint32_t uk = s.uk;
  T* e = t.elems.data();
  transaction_view<T> view{e, t.length};
  for (auto* m : table.monotone_table) {
    if (view.length < uk) break;
    m->process_transaction(view);
  }
  if (k == 3)
    for (std::size_t c = 0; c < table.convertible_table.size(); ++c) {
      if (view.length < uk) break;
      // Only the constraint that set the item order may prune by that order.
      table.convertible_table[c]->before_counting(view, k, c == 0);
    }
  if (view.length < uk) return false;
  std::uint32_t len = 0;
  for (std::uint32_t i = 0; i < view.length; ++i)
    if (s.kept_item[e[i]]) e[len++] = e[i];
  if (len < uk) return false;
  t.length = static_cast<T>(len);
  return true;
}

// The pruning after counting: local pruning, the convertible constraints and
// the loose flags. False when t can hold no candidate of level k+1.
template <class T>
bool prune_after_counting(counting_transaction<T>& t, int k, pass_state<T>& s,
                          typed_constraints<T>& table) {
  const std::uint32_t uk = s.uk;
  T* e = t.elems.data();
  std::uint32_t* cnt = t.counters.data();
  // Local pruning: an item of a candidate of level k+1 contained in t belongs
  // to k of its k-subsets, each a candidate contained in t.
  std::uint32_t w = 0;
  for (std::uint32_t i = 0; i < t.length; ++i)
    if (cnt[i] >= uk) {
      e[w] = e[i];
      cnt[w] = cnt[i];
      ++w;
    }
  if (w <= uk) return false;
  transaction_view<T> view{e, w};
  for (std::size_t c = 0; c < table.convertible_table.size(); ++c) {
    if (view.length < uk) break;
    table.convertible_table[c]->after_counting(view, k, c == 0);
  }
  t.length = static_cast<T>(view.length);
  if (std::find(s.flags.begin(), s.flags.end(), 0) != s.flags.end()) return false;
  return t.length > uk;
}

// Stores the frequent candidates the constraint set keeps as level k, under the
// sink's numbering; counts their items for global pruning when pruning is not
// null. Returns the number of frequent candidates.
template <class T, class T1>
std::uint32_t store_frequent_candidates(int k, const item_table& items,
                                        candidate_store<T, T1>& candidates,
                                        frequent_level<T, T1>& level, const std::uint32_t* map,
                                        typed_constraints<T>& table, global_pruning* pruning) {
  std::uint32_t frequent = 0;
  if (candidates.n_itemsets == 0) return frequent;
  std::vector<T> cand(k), mapped(k);
  candidates.init_read_itemsets();
  const std::uint32_t min_count = items.min_count;
  for (int s; (s = candidates.next_itemset(cand.data())) >= 0;) {
    const T1 sup = candidates.supports[s];
    if (sup < min_count) continue;
    ++frequent;
    if (!table.keeps(cand.data(), k)) continue;
    if (pruning != nullptr)
      for (int q = 0; q < k; ++q) pruning->count(cand[q]);
    if (map != nullptr) {
      for (int q = 0; q < k; ++q) mapped[q] = static_cast<T>(map[cand[q]]);
      level.add_itemset(mapped.data(), sup, table, &candidates, s);
    } else {
      level.add_itemset(cand.data(), sup, table, &candidates, s);
    }
  }
  return frequent;
}

// One pass over "dataset.tmp" counting the candidates of one chunk. partial:
// the per-transaction sums of the level's other chunks (null when the level is
// one chunk); read_partial: read the sums of the earlier passes; sink: where the
// last pass hands the transactions it keeps (null before the last pass, which
// instead adds its share to partial). Returns the items handed to the sink and
// sets *kept to the transactions.
template <class T, class T1>
std::uint64_t count_chunk(const std::string& tmp_name, pass_meter* meter, std::uint32_t capacity,
                          int k, const item_table& items, candidate_store<T, T1>& candidates,
                          pass_state<T>& state, typed_constraints<T>& table,
                          partial_counts<T>* partial, bool read_partial, transaction_sink<T>* sink,
                          std::uint32_t* kept) {
  temp_dataset_reader<T> in(tmp_name, meter);
  if (!in.is_open()) throw run_error(tmp_name + " could not be opened!");
  if (partial != nullptr) partial->start_pass(read_partial, sink == nullptr);
  counting_transaction<T> t(capacity, static_cast<int>(items.n_items));
  std::uint64_t items_written = 0;
  *kept = 0;
  const bool any = candidates.n_itemsets > 0;
  while (in.read_next(t)) {
    if (!prune_before_counting(t, k, state, table)) continue;
    std::copy(state.flag_start.begin(), state.flag_start.end(), state.flags.begin());
    std::fill(t.counters.begin(), t.counters.begin() + t.length, 0u);
    if (any) candidates.count_contained_candidates(t, state.flags.data());
    if (read_partial) partial->add_kept(t.counters.data(), state.flags, t.length);
    if (sink == nullptr) {
      partial->keep(t.counters.data(), state.flags, t.length, state.uk);
      continue;
    }
    if (!prune_after_counting(t, k, state, table)) continue;
    sink->add(t.elems.data(), t.length);
    ++*kept;
    items_written += t.length;
  }
  if (sink != nullptr) sink->finish();
  return items_written;
}

// The threads level 3 may be counted on with the pass's transactions in memory
// (triples_by_first_item), 0 when it may not: the block, its index and the
// working memory of the largest first item fit the candidates' share of the
// budget, and that share would have held the whole level as one chunk of the
// candidate store (planned as if every join were a candidate), so the level is
// one pass either way. Threads beyond the first each take their own position
// counters, loose flags and working memory, and the chunks' results wait for
// the chunks before them (planned as every join a frequent candidate): as many
// threads as asked (asked 0: the usable processors, as the joins and the
// transactions' pairs call for) whose arrays fit too.
template <class T, class T1>
unsigned triples_threads(const std::string& tmp_name, const item_table& items,
                         const frequent_level<T, T1>& level, candidate_store<T, T1>& candidates,
                         int n_loose, std::uint64_t limit_bytes, unsigned asked) {
  std::error_code error;
  const std::uintmax_t file_bytes = std::filesystem::file_size(tmp_name, error);
  if (error) return 0;
  // Every record holds a length and at least one item: the file's entries bound
  // both the items and the transactions.
  const std::uint64_t entries = static_cast<std::uint64_t>(file_bytes) / sizeof(T);
  if (entries >= 0xFFFFFFFFu) return 0;
  std::uint64_t joins = 0, prefixes = 0;
  for (int g = 0; g < level.number_of_groups(); ++g) {
    const std::uint64_t m = static_cast<std::uint64_t>(level.group_last[g] - level.group_first(g)) + 1;
    joins += number_of_pairs(m);
    prefixes += m - 1;
  }
  if (candidates.planned_bytes(joins, prefixes, items.n_items, n_loose) > limit_bytes) return 0;
  const std::uint64_t working =
      triples_by_first_item<T, T1>::planned_bytes(level, items.n_items, n_loose);
  const std::uint64_t need =
      transaction_block<T>::planned_bytes(entries, entries / 2, items.n_items, n_loose) + working;
  if (need > limit_bytes) return 0;
  return threads_for_triples(asked, usable_processors(),
                             triples_work(joins, entries, items.n_transactions), limit_bytes - need,
                             thread_tally_bytes<T>(entries, entries / 2, n_loose) + working,
                             joins * triple_result_bytes<T>(n_loose));
}

// Level 3 in one pass with the transactions in memory: reads and prunes every
// transaction into a block, counts the candidates first item by first item,
// stores the frequent ones in target, then prunes and hands on the transactions
// in their order; counts on `threads` threads. Returns the number of
// candidates; sets the frequent ones, the items handed to the sink and the
// transactions kept.
template <class T, class T1>
std::uint64_t count_triples_in_memory(
    const std::string& tmp_name, pass_meter* meter, std::uint32_t capacity, const item_table& items,
    const frequent_level<T, T1>& level, const frequent_pairs<T>& pairs, pass_state<T>& state,
    typed_constraints<T>& table, frequent_level<T, T1>& target, const std::uint32_t* map,
    global_pruning* pruning, transaction_sink<T>& sink, unsigned threads, std::uint32_t* frequent,
    std::uint64_t* items_written, std::uint32_t* kept) {
  constexpr int k = 3;
  const int n_loose = static_cast<int>(state.flags.size());
  transaction_block<T> block(n_loose);
  counting_transaction<T> t(capacity, static_cast<int>(items.n_items));
  {
    temp_dataset_reader<T> in(tmp_name, meter);
    if (!in.is_open()) throw run_error(tmp_name + " could not be opened!");
    while (in.read_next(t))
      if (prune_before_counting(t, k, state, table))
        block.add(t.elems.data(), t.length, state.flag_start.data());
  }
  block.index_first_items(items.n_items, k);

  *frequent = 0;
  T mapped[k];
  const std::uint64_t n_candidates = count_triples_on_threads<T, T1>(
      level, pairs, table, items.n_items, items.min_count, block, threads,
      [&](const T* cand, std::uint32_t count, const std::uint8_t* flags) {
        ++*frequent;
        // The anti-monotone constraints kept every candidate already.
        if (pruning != nullptr)
          for (int q = 0; q < k; ++q) pruning->count(cand[q]);
        const T* stored = cand;
        if (map != nullptr) {
          for (int q = 0; q < k; ++q) mapped[q] = static_cast<T>(map[cand[q]]);
          stored = mapped;
        }
        target.add_itemset(stored, static_cast<T1>(count), flags, n_loose);
      });

  *items_written = 0;
  *kept = 0;
  for (std::uint32_t b = 0; b < block.size(); ++b) {
    const std::uint32_t len = block.length(b);
    std::copy(block.items(b), block.items(b) + len, t.elems.begin());
    std::copy(block.counters(b), block.counters(b) + len, t.counters.begin());
    std::copy(block.flags(b), block.flags(b) + n_loose, state.flags.begin());
    t.length = static_cast<T>(len);
    if (!prune_after_counting(t, k, state, table)) continue;
    sink.add(t.elems.data(), t.length);
    ++*kept;
    *items_written += t.length;
  }
  sink.finish();
  return n_candidates;
}

// The level's candidate chunks (the first one filled), a pass each: stores
// level k in place of level k-1. The candidates' supports are summed over the
// ranks; the last pass's figures (*kept, *items_written) are this rank's own.
template <class T, class T1>
void count_candidate_chunks(run_context& run, int k, std::uint32_t capacity,
                            const item_table& items, frequent_level<T, T1>& level,
                            candidate_store<T, T1>& candidates,
                            std::unique_ptr<frequent_pairs<T>>& pairs, transaction_sink<T>& sink,
                            typed_constraints<T>& table, candidate_chunks<T, T1>& chunks,
                            pass_state<T>& state, const std::uint32_t* map,
                            std::uint64_t* n_candidates, std::uint32_t* frequent,
                            std::uint64_t* items_written, std::uint32_t* kept,
                            std::uint32_t* passes) {
  const bool rewrites = sink.rewrites_dataset();
  // One chunk: level k-1 is done with, and level k takes its place at once.
  // Several: the later chunks are still generated from level k-1, so level k
  // grows beside it and replaces it at the end.
  std::unique_ptr<frequent_level<T, T1>> next;
  std::unique_ptr<partial_counts<T>> partial;
  if (chunks.finished()) {
    level.clear(k);
  } else {
    next = std::make_unique<frequent_level<T, T1>>(k);
    partial = std::make_unique<partial_counts<T>>(run.temp_dataset, table.loose_table.size());
  }
  frequent_level<T, T1>& target = next ? *next : level;
  while (true) {
    const bool last = chunks.finished();
    if (last && k == 3) pairs.reset();
    *items_written =
        count_chunk(run.temp_dataset, run.meter.when_shown(), capacity, k, items, candidates, state,
                    table, partial.get(), *passes > 0, last ? &sink : nullptr, kept);
    ++*passes;
    // Each rank counted its own records: the chunk's supports are the sums.
    cluster& peers = run.peers;
    if (peers.ranks() > 1)
      peers.sum_counts(candidates.supports.data(), static_cast<std::size_t>(candidates.n_itemsets));
    *n_candidates += static_cast<std::uint64_t>(candidates.n_itemsets);
    *frequent += store_frequent_candidates(k, items, candidates, target, map, table,
                                           rewrites ? &run.pruning : nullptr);
    if (last) break;
    run.report.check_stop();  // a level of many passes can be long
    chunks.fill_next(candidates);
  }
  if (partial) partial->finish();
  if (next) level = std::move(*next);
}

// Writes (or counts) the itemsets of a level counted out of core and prints
// its progress row; with unwritten, hands both back to be done later instead.
template <class T, class T1>
void finish_out_of_core_level(run_context& run, int k, const item_table& items,
                              const frequent_level<T, T1>& level, typed_constraints<T>& table,
                              progress_row row, const stopwatch& clock,
                              unwritten_level* unwritten) {
  if (unwritten != nullptr) {
    *unwritten = unwritten_level{row, clock};
    return;
  }
  if (run.constraints.level_allowed(k) && !run.output.enabled()) {
    row.written = static_cast<std::uint64_t>(level.count_written(table));
  } else if (run.constraints.level_allowed(k)) {
    output_file out(run.output, "a");
    row.written = static_cast<std::uint64_t>(
        level.dump_itemsets(items, run.constraints.prefix_items, out, table));
    out.close();
  }
  row.seconds = clock.seconds();
  print_progress_row(run.report, row);
  report_exchange(run);
}

}  // namespace

template <class T, class T1>
bool count_level_out_of_core(run_context& run, int k, int max_tr_len, item_table& items,
                             frequent_level<T, T1>& level, candidate_store<T, T1>& candidates,
                             std::unique_ptr<frequent_pairs<T>>& pairs, transaction_sink<T>& sink,
                             typed_constraints<T>& table, unwritten_level* unwritten) {
  assert(unwritten == nullptr || run.peers.ranks() == 1);
  // The candidates share what the frequent pairs (still read at k = 3) and the
  // previous level leave of the budget.
  const std::uint64_t held = level.bytes() + (pairs ? pairs->bytes() : std::uint64_t{0});
  std::unique_ptr<candidate_chunks<T, T1>> chunks;
  const std::uint64_t left = run.memory_bytes > held ? run.memory_bytes - held : 0;
  const std::uint64_t limit = candidate_budget(left, run.memory_bytes);
  const int n_loose = static_cast<int>(table.loose_table.size());
  candidates.clear(k);
  // Several ranks sum the supports of a chunk's candidate store, which the
  // count by first item does not build.
  const unsigned triple_threads =
      k == 3 && run.peers.ranks() == 1
          ? triples_threads(run.temp_dataset, items, level, candidates, n_loose, limit,
                            run.config.threads)
          : 0;
  if (triple_threads > 0) {
    triples_by_first_item<T, T1> probe(level, *pairs, table, items.n_items);
    if (!probe.any_candidate()) return false;
  } else {
    chunks = std::make_unique<candidate_chunks<T, T1>>(level, items, k, pairs.get(), table, limit);
    chunks->fill_next(candidates);
    if (candidates.n_itemsets == 0) return false;  // an empty first chunk is the only one
  }
  stopwatch clock;
  clock.start();

  // Read before global pruning starts over: the items the previous level kept.
  pass_state<T> state(k, items, run.pruning, table);
  const bool rewrites = sink.rewrites_dataset();
  if (rewrites) run.pruning.start(items.n_items);
  const std::uint32_t* map = sink.renumbering();
  const std::uint32_t capacity = max_tr_len > 0 ? static_cast<std::uint32_t>(max_tr_len) : 1;
  std::uint64_t n_candidates = 0, items_written = 0;
  std::uint32_t frequent = 0, passes = 0, kept = 0;

  if (!chunks) {
    // Level 3 grows beside level 2, which its generation reads to the end.
    frequent_level<T, T1> next(k);
    n_candidates =
        count_triples_in_memory(run.temp_dataset, run.meter.when_shown(), capacity, items, level,
                                *pairs, state, table, next, map, rewrites ? &run.pruning : nullptr,
                                sink, triple_threads, &frequent, &items_written, &kept);
    passes = 1;
    pairs.reset();
    level = std::move(next);
  } else {
    count_candidate_chunks(run, k, capacity, items, level, candidates, pairs, sink, table, *chunks,
                           state, map, &n_candidates, &frequent, &items_written, &kept, &passes);
  }
  // Each rank kept its own records: the pass's figures are those of all of them.
  if (rewrites) items.own_transactions = kept;
  if (run.peers.ranks() > 1) {
    std::uint64_t sums[] = {kept, items_written};
    run.peers.sum_counts(sums, 2);
    kept = static_cast<std::uint32_t>(sums[0]);
    items_written = sums[1];
  }
  if (rewrites) items.n_transactions = kept;
  if (map != nullptr) run.pruning.compact(items, run.attributes);

  if (rewrites) run.pruning.mark(state.uk);

  progress_row row;
  row.level = k;
  row.algorithm = "hop";
  row.candidates = n_candidates;
  row.frequent = frequent;
  row.transactions = items.n_transactions;
  row.kib = items_written * sizeof(T) / 1024;
  row.passes = passes;
  finish_out_of_core_level(run, k, items, level, table, row, clock, unwritten);
  return true;
}

#define KESTREL_INSTANTIATE(T, T1)                                                          \
  template bool count_level_out_of_core<T, T1>(                                             \
      run_context&, int, int, item_table&, frequent_level<T, T1>&, candidate_store<T, T1>&, \
      std::unique_ptr<frequent_pairs<T>>&, transaction_sink<T>&, typed_constraints<T>&,     \
      unwritten_level*);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
