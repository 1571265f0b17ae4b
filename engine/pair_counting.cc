// Level 2: the plan, the passes over "dataset.tmp" and the store of the
// frequent pairs. T is the dense item type, T1 the support type.
#include "engine/pair_counting.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "dataset/temp_dataset.h"
#include "engine/mapped_records.h"
#include "engine/occurring_pairs.h"
#include "engine/shared_pairs.h"
#include "levels/output_line.h"
#include "util/error.h"
#include "util/output_file.h"
#include "util/pipe_beside.h"
#include "util/progress_row.h"
#include "util/stopwatch.h"
#include "util/widths.h"

namespace {

[[noreturn]] void refuse_pairs(std::uint64_t n, std::uint64_t counter_bytes) {
  const std::uint64_t bytes = number_of_pairs(n) * counter_bytes;
  throw run_error("too many frequent items (" + std::to_string(n) + "): pair counters need " +
                  std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB");
}

}  // namespace

std::vector<std::uint32_t> cut_triangle(std::uint64_t n, std::uint64_t counter_bytes,
                                        std::uint64_t budget_bytes) {
  // Row a holds n-1-a counters, so the blocks lengthen as a grows.
  std::vector<std::uint32_t> first_items = {0};
  std::uint64_t a = 0;
  while (a + 1 < n) {
    std::uint64_t end = a;
    std::uint64_t bytes = 0;
    while (end + 1 < n && bytes + (n - 1 - end) * counter_bytes <= budget_bytes)
      bytes += (n - 1 - end++) * counter_bytes;
    if (end == a) return {};
    if (end + 1 >= n) end = n;  // the last row holds no pair
    first_items.push_back(static_cast<std::uint32_t>(end));
    a = end;
  }
  if (first_items.back() != n) first_items.push_back(static_cast<std::uint32_t>(n));
  return first_items;
}

pair_counting_plan plan_pair_counting(const pair_counting_sizes& sizes,
                                      std::uint64_t budget_bytes) {
  const std::uint64_t n = sizes.items;
  const std::uint64_t cb = sizes.counter_bytes;
  pair_counting_plan plan;
  if (n > (std::uint64_t{1} << 32)) refuse_pairs(n, cb);
  const std::uint64_t triangle = number_of_pairs(n) * cb;
  const std::uint64_t occurring =
      occurring_pairs_bytes(n, sizes.occurrences, sizes.transactions, sizes.item_bytes);
  const auto last = static_cast<std::uint32_t>(n);
  if (triangle <= budget_bytes && triangle <= occurring) {
    plan.first_items = {0, last};
    return plan;
  }
  if (occurring <= budget_bytes) {
    plan.method = pair_method::occurring;
    plan.first_items = {0, last};
    return plan;
  }
  std::vector<std::uint32_t> triangle_blocks = cut_triangle(n, cb, budget_bytes);
  // Blocks of the occurring pairs: the measuring pass, then about one pass per
  // budget's worth of kept data, when the per-item arrays (and the measure)
  // leave at least half of the budget to it.
  const std::uint64_t fixed = occurring_blocks_fixed_bytes(n, sizes.item_bytes);
  std::uint64_t occurring_passes = UINT64_MAX;
  if (occurring != UINT64_MAX && fixed + n * 8 <= budget_bytes / 2) {
    const std::uint64_t data = occurring - fixed, room = budget_bytes - fixed;
    occurring_passes = 1 + (data + room - 1) / room;
  }
  if (triangle_blocks.empty() && occurring_passes == UINT64_MAX) refuse_pairs(n, cb);
  if (triangle_blocks.empty() || occurring_passes < triangle_blocks.size() - 1) {
    plan.method = pair_method::occurring_blocks;
    plan.first_items = {0, last};
    plan.estimated_passes = occurring_passes;
    return plan;
  }
  plan.method = pair_method::blocks;
  plan.first_items = std::move(triangle_blocks);
  plan.estimated_passes = plan.passes();
  return plan;
}

std::vector<std::uint32_t> cut_rows(const std::vector<std::uint64_t>& row_bytes,
                                    std::uint64_t room) {
  const auto n = static_cast<std::uint32_t>(row_bytes.size());
  std::vector<std::uint32_t> first_items = {0};
  std::uint64_t bytes = 0;
  for (std::uint32_t a = 0; a < n; ++a) {
    if (row_bytes[a] > room) return {};
    if (bytes + row_bytes[a] > room) {
      first_items.push_back(a);
      bytes = 0;
    }
    bytes += row_bytes[a];
  }
  first_items.push_back(n);
  return first_items;
}

template <class T1>
pair_counters<T1>::pair_counters(std::uint64_t n_items, std::uint64_t first_row,
                                 std::uint64_t end_row)
    : n(n_items), first(first_row), end(end_row) {
  assert(first <= end && end <= n);
  // Row a begins at the index of (a, a+1); that of n is number_of_pairs(n).
  base = pair_row(first, n) + first;
  n_pairs = pair_row(end, n) + end - base;
  // calloc: the zeroed pages of a large array are only touched when counted into.
  pair_counts = static_cast<T1*>(std::calloc(n_pairs == 0 ? 1 : n_pairs, sizeof(T1)));
  if (pair_counts == nullptr) refuse_pairs(n, sizeof(T1));
}

template <class T1>
pair_counters<T1>::~pair_counters() {
  std::free(pair_counts);
}

namespace {

// Runs the monotone constraints on a transaction while it can still hold a pair.
template <class T>
void apply_monotone(transaction_view<T>& t, typed_constraints<T>& table) {
  for (auto* c : table.monotone_table) {
    if (t.length < 2) return;
    c->process_transaction(t);
  }
}

// Counts the pairs of t whose first item falls in the counters' rows.
template <class T, class T1>
void count_block(pair_counters<T1>& pairs, const T* t, std::uint32_t len) {
  std::uint32_t i = 0;
  if (pairs.first > 0)
    i = static_cast<std::uint32_t>(std::lower_bound(t, t + len, pairs.first) - t);
  for (; i + 1 < len; ++i) {
    if (t[i] >= pairs.end) break;
    // Row start hoisted: row[b] is the counter of pair (t[i], b).
    T1* row = pairs.row(t[i]);
    for (std::uint32_t j = i + 1; j < len; ++j) {
      assert(t[i] < t[j]);
      ++row[t[j]];
    }
  }
}

struct pass_totals {
  std::uint32_t kept = 0;           // transactions handed to the sink
  std::uint64_t items_written = 0;  // their items
};

// The first pass over "dataset.tmp" (32-bit layout): maps every transaction to
// dense ids, applies the monotone constraints, lets count see what is left of
// two items or more and hands it to sink.
template <class T, class Count>
pass_totals first_pass(const std::string& tmp_name, pass_meter* meter, int max_tr_len,
                       const item_table& items, transaction_sink<T>& sink,
                       typed_constraints<T>& table, Count&& count) {
  const std::uint32_t capacity = max_tr_len > 0 ? static_cast<std::uint32_t>(max_tr_len) : 1;
  mapped_records<T> in(tmp_name, capacity, items, meter);
  std::vector<T> out_buf(capacity);
  transaction_view<T> tout{out_buf.data(), 0};

  pass_totals totals;
  while (in.next(tout)) {
    apply_monotone(tout, table);
    const std::uint32_t len = tout.length;
    if (len < 2) continue;
    count(tout.items, len);
    sink.add(tout.items, len);
    ++totals.kept;
    totals.items_written += len;
  }
  return totals;
}

// A further pass for the next block: reads back what the first pass kept, from
// the rewritten "dataset.tmp" when the sink rewrote it, else by mapping and
// pruning the 32-bit records again (the same records the first pass kept).
template <class T, class Count>
void next_pass(const std::string& tmp_name, pass_meter* meter, int max_tr_len,
               const item_table& items, typed_constraints<T>& table, bool rewritten,
               Count&& count) {
  const std::uint32_t capacity = max_tr_len > 0 ? static_cast<std::uint32_t>(max_tr_len) : 1;
  std::vector<T> buf(capacity);
  transaction_view<T> t{buf.data(), 0};
  if (rewritten) {
    temp_dataset_reader<T> in(tmp_name, meter);
    if (!in.is_open()) throw run_error(tmp_name + " could not be opened!");
    while (in.read_next(t, capacity)) count(t.items, static_cast<std::uint32_t>(t.length));
    return;
  }
  mapped_records<T> in(tmp_name, capacity, items, meter);
  while (in.next(t)) {
    apply_monotone(t, table);
    if (t.length >= 2) count(t.items, static_cast<std::uint32_t>(t.length));
  }
}

struct level_totals {
  std::uint32_t frequent = 0;
  std::uint32_t written = 0;
};

// Takes the frequent pairs in lexicographic order: keeps each one for the
// subset test of level 3, stores those the constraint set keeps and writes those
// it lets be written; counts each stored pair's items for global pruning when
// count_items is set.
template <class T, class T1>
class pair_storer {
 public:
  pair_storer(run_context& run, item_table& items, frequent_level<T, T1>& level,
              typed_constraints<T>& table, frequent_pairs<T>& frequent, bool count_items)
      : items_(items),
        pruning_(run.pruning),
        level_(level),
        table_(table),
        frequent_(frequent),
        writable_(run.constraints.level_allowed(2)),
        plain_(table.keeps_everything() && table.writes_everything()),
        count_items_(count_items) {
    // A run without output (a rank above 0) counts what it would write.
    if (run.output.enabled()) {
      out_.emplace(run.output, "a");
      line_.emplace(items, run.constraints.prefix_items, 2);
    }
  }

  // Takes the pairs in order, each one kAhead pairs later: the second items
  // of consecutive pairs lie anywhere among the items, and with a million of
  // them nearly every read of a second item's pruning counter and label missed
  // the cache (80 % of the pair storing on the million-item row). Fetched when
  // the pair comes, they have arrived by the time it is stored.
  void take(std::uint32_t a, std::uint32_t b, T1 count) {
    pending_pair& slot = pending_[taken_ % kAhead];
    if (taken_ >= kAhead) store(slot);
    ++taken_;
    if (count_items_) pruning_.prefetch(b);
    if (writable_ && out_) items_.prefetch_label(b);
    slot = {a, b, count};
  }

  level_totals finish() {
    for (std::uint64_t i = taken_ > kAhead ? taken_ - kAhead : 0; i < taken_; ++i)
      store(pending_[i % kAhead]);
    taken_ = 0;
    if (out_) out_->close();
    frequent_.finish(items_.n_items);
    return totals_;
  }

 private:
  static constexpr std::uint64_t kAhead = 16;
  struct pending_pair {
    std::uint32_t a, b;
    T1 count;
  };

  void store(const pending_pair& p) {
    const std::uint32_t a = p.a, b = p.b;
    ++totals_.frequent;
    frequent_.add(a, b);
    const T pair[2] = {static_cast<T>(a), static_cast<T>(b)};
    // Only an anti-monotone constraint keeps a frequent pair out of the store:
    // a pair that fails a monotone, convertible or loose constraint may still
    // be a subset or join partner of a longer valid itemset.
    if (!plain_ && !table_.keeps(pair, 2)) return;
    level_.add_itemset(pair, p.count, table_);
    if (count_items_) {
      pruning_.count(a);
      pruning_.count(b);
    }
    if (!writable_ || (!plain_ && !table_.writes(pair, 2))) return;
    ++totals_.written;
    if (!out_) return;
    if (a != labelled_row_) {
      line_->set_item(0, a);
      labelled_row_ = a;
    }
    // Laid out in the file's buffer in fixed-size copies (the second items
    // change with every line).
    line_->write_last(*out_, b, p.count);
  }

  std::optional<output_file> out_;
  std::optional<output_line> line_;
  item_table& items_;
  global_pruning& pruning_;
  frequent_level<T, T1>& level_;
  typed_constraints<T>& table_;
  frequent_pairs<T>& frequent_;
  const bool writable_;
  const bool plain_;
  const bool count_items_;
  std::uint32_t labelled_row_ = UINT32_MAX;
  level_totals totals_;
  pending_pair pending_[kAhead];
  std::uint64_t taken_ = 0;
};

template <class T, class T1>
void store_block(const pair_counters<T1>& pairs, std::uint32_t min_count,
                 pair_storer<T, T1>& store) {
  const T1* c = pairs.pair_counts;
  for (std::uint64_t a = pairs.first; a < pairs.end && a + 1 < pairs.n; ++a) {
    for (std::uint64_t b = a + 1; b < pairs.n; ++b, ++c) {
      if (*c >= min_count)
        store.take(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b), *c);
    }
  }
}

// What the occurring pairs keep of this rank's records at most, their items
// and the transactions' ends: its own transactions, and the smaller of the
// bound of all ranks' occurrences and what its "dataset.tmp" (32-bit layout)
// holds. The whole data's with one rank.
std::uint64_t own_items_and_ends(const run_context& run, const item_table& items,
                                 std::uint64_t occurrences) {
  const std::uint64_t own = items.own_transactions;
  return own + std::min(occurrences, items_in_temp_dataset(run.temp_dataset, own,
                                                           sizeof(std::uint32_t)));
}

// The passes of level 2 under one plan. The first pass reads the 32-bit records,
// hands what it keeps to the sink and starts the store; the later ones read the
// kept transactions back. Each count_* method returns the passes it took.
template <class T, class T1>
class pair_passes {
 public:
  pair_passes(run_context& run, int max_tr_len, item_table& items, transaction_sink<T>& sink,
              typed_constraints<T>& table, frequent_pairs<T>& frequent,
              frequent_level<T, T1>& level)
      : run_(run),
        max_tr_len_(max_tr_len),
        items_(items),
        sink_(sink),
        table_(table),
        frequent_(frequent),
        level_(level),
        n_(items.n_items),
        rewrites_(sink.rewrites_dataset()) {}

  // All the occurring pairs at once, in one pass; capacity: the item
  // occurrences and transactions before the pass.
  std::uint32_t count_occurring(std::uint64_t capacity) {
    occurring_pairs<T> rows(n_, 0, n_, capacity);
    first([&](const T* t, std::uint32_t len) { rows.add(t, len); });
    store_rows(rows);
    return 1;
  }

  // The occurring pairs in blocks of rows, after a pass that measures what each
  // row keeps: its transactions from it on, their sentinels and the positions of
  // the items with a successor (an upper bound: a transaction kept for a block
  // is counted in each of its rows there).
  std::uint32_t count_occurring_blocks() {
    std::vector<std::uint64_t> row_bytes(n_, 0);
    first([&](const T* t, std::uint32_t len) {
      for (std::uint32_t i = 0; i + 1 < len; ++i)
        row_bytes[t[i]] += (len - i + 1) * sizeof(T) + (len - i - 1) * 4;
    });
    // Ranks cut the blocks one process would (its measure is the sum of
    // theirs); each reserves for its own share of a block.
    std::vector<std::uint64_t> own_bytes;
    if (run_.peers.ranks() > 1) {
      own_bytes = row_bytes;
      run_.peers.sum_counts(row_bytes.data(), row_bytes.size());
    }
    const std::uint64_t fixed = occurring_blocks_fixed_bytes(n_, sizeof(T));
    const std::uint64_t room = run_.memory_bytes > fixed ? run_.memory_bytes - fixed : 0;
    const std::vector<std::uint32_t> blocks = cut_rows(row_bytes, room);
    if (blocks.empty()) {
      // A row keeps more than the budget: the triangle's rows after all.
      std::vector<std::uint64_t>().swap(row_bytes);
      std::vector<std::uint64_t>().swap(own_bytes);
      const std::vector<std::uint32_t> rows = cut_triangle(n_, sizeof(T1), run_.memory_bytes);
      if (rows.empty()) refuse_pairs(n_, sizeof(T1));
      return count_triangle(rows, true);
    }
    if (!own_bytes.empty()) row_bytes.swap(own_bytes);
    std::vector<std::uint64_t>().swap(own_bytes);
    std::vector<std::uint64_t> block_bytes(blocks.size() - 1, 0);
    for (std::size_t p = 0; p + 1 < blocks.size(); ++p)
      for (std::uint32_t a = blocks[p]; a < blocks[p + 1]; ++a) block_bytes[p] += row_bytes[a];
    std::vector<std::uint64_t>().swap(row_bytes);
    for (std::size_t p = 0; p + 1 < blocks.size(); ++p) {
      occurring_pairs<T> rows(n_, blocks[p], blocks[p + 1], block_bytes[p] / (sizeof(T) + 4));
      next([&](const T* t, std::uint32_t len) { rows.add(t, len); });
      store_rows(rows);
    }
    return static_cast<std::uint32_t>(blocks.size());  // the first pass and one per block
  }

  // The triangle's blocks of rows (blocks: their first items, then n), one pass
  // each; the first of them is the first pass unless first_pass_done.
  std::uint32_t count_triangle(const std::vector<std::uint32_t>& blocks, bool first_pass_done) {
    for (std::uint32_t p = 0; p + 1 < blocks.size(); ++p) {
      pair_counters<T1> block(n_, blocks[p], blocks[p + 1]);
      auto count = [&](const T* t, std::uint32_t len) { count_block(block, t, len); };
      if (p == 0 && !first_pass_done)
        first(count);
      else
        next(count);
      cluster& peers = run_.peers;
      if (peers.ranks() > 1) peers.sum_counts(block.pair_counts, block.n_pairs);
      store_block(block, items_.min_count, *store_);
    }
    return static_cast<std::uint32_t>(blocks.size() - 1) + (first_pass_done ? 1 : 0);
  }

  level_totals finish() { return store_->finish(); }
  const pass_totals& first_pass_totals() const { return totals_; }

 private:
  // The first pass, then what follows it whatever the plan.
  template <class Count>
  void first(Count&& count) {
    totals_ = first_pass(run_.temp_dataset, run_.meter.when_shown(), max_tr_len_, items_, sink_,
                         table_, count);
    sink_.finish();
    if (rewrites_) items_.own_transactions = totals_.kept;
    cluster& peers = run_.peers;
    if (peers.ranks() > 1) {
      std::uint64_t sums[] = {totals_.kept, totals_.items_written};
      peers.sum_counts(sums, 2);
      totals_.kept = static_cast<std::uint32_t>(sums[0]);
      totals_.items_written = sums[1];
    }
    if (rewrites_) {
      items_.n_transactions = totals_.kept;
      run_.pruning.start(items_.n_items);
    }
    store_.emplace(run_, items_, level_, table_, frequent_, rewrites_);
  }

  template <class Count>
  void next(Count&& count) {
    run_.report.check_stop();
    next_pass(run_.temp_dataset, run_.meter.when_shown(), max_tr_len_, items_, table_, rewrites_,
              count);
  }

  void store_rows(occurring_pairs<T>& rows) {
    const std::uint32_t min_count = items_.min_count;
    cluster& peers = run_.peers;
    if (peers.ranks() > 1) {
      // The exchange takes at most a quarter of the budget beside the rows.
      take_shared_pairs(peers, rows, n_, min_count, run_.memory_bytes / 4,
                        [&](std::uint32_t a, std::uint32_t b, std::uint32_t support) {
                          store_->take(a, b, static_cast<T1>(support));
                        });
      return;
    }
    // The rows are counted on a thread of their own while this one stores
    // the pairs they give, in the same order: on the million-item row storing
    // (the level, the subset index, the output) took 60 % of the level's
    // instructions and counting the rows 40 %.
    struct counted_pair {
      std::uint32_t a, b, count;
    };
    pipe_beside<counted_pair>(
        may_use_threads(run_.config),
        [&](auto&& emit) {
          rows.for_each_row(
              [&](std::uint32_t a, const T* seconds, const std::uint32_t* counts, std::size_t m) {
                for (std::size_t i = 0; i < m; ++i) {
                  const std::uint32_t c = counts[i];
                  if (c >= min_count) emit(counted_pair{a, static_cast<std::uint32_t>(seconds[i]), c});
                }
              });
        },
        [&](const counted_pair& p) { store_->take(p.a, p.b, static_cast<T1>(p.count)); });
  }

  run_context& run_;
  const int max_tr_len_;
  item_table& items_;
  transaction_sink<T>& sink_;
  typed_constraints<T>& table_;
  frequent_pairs<T>& frequent_;
  frequent_level<T, T1>& level_;
  const std::uint32_t n_;
  const bool rewrites_;
  pass_totals totals_;
  std::optional<pair_storer<T, T1>> store_;
};

}  // namespace

template <class T, class T1>
std::unique_ptr<frequent_level<T, T1>> count_pairs(run_context& run, int max_tr_len,
                                                   item_table& items, transaction_sink<T>& sink,
                                                   typed_constraints<T>& table,
                                                   frequent_pairs<T>& frequent) {
  stopwatch clock;
  clock.start();
  const std::uint32_t n = items.n_items;
  pair_counting_sizes sizes;
  sizes.items = n;
  for (std::uint32_t a = 0; a < n; ++a) sizes.occurrences += items.support(a);
  sizes.transactions = items.n_transactions;
  sizes.item_bytes = sizeof(T);
  sizes.counter_bytes = sizeof(T1);
  pair_counting_plan plan = plan_pair_counting(sizes, run.memory_bytes);
  // Ranks follow one process's plan: they sum the triangle's counters, and
  // exchange the occurring pairs as nominations (engine/shared_pairs.h), which
  // costs far less than summing a triangle many times their memory.
  auto level = std::make_unique<frequent_level<T, T1>>(2);
  pair_passes<T, T1> passes(run, max_tr_len, items, sink, table, frequent, *level);
  std::uint32_t n_passes = 0;
  if (plan.method == pair_method::occurring)
    n_passes = passes.count_occurring(own_items_and_ends(run, items, sizes.occurrences));
  else if (plan.method == pair_method::occurring_blocks)
    n_passes = passes.count_occurring_blocks();
  else
    n_passes = passes.count_triangle(plan.first_items, false);
  const level_totals stored = passes.finish();
  // Every pass from here on reads dense ids.
  items.release_input_map();
  if (sink.rewrites_dataset()) run.pruning.mark(2);

  progress_row row;
  row.level = 2;
  row.algorithm = "scan";
  row.candidates = number_of_pairs(n);
  row.frequent = stored.frequent;
  row.written = stored.written;
  row.transactions = items.n_transactions;
  row.kib = passes.first_pass_totals().items_written * sizeof(T) / 1024;
  row.seconds = clock.seconds();
  row.passes = n_passes;
  print_progress_row(run.report, row);
  report_exchange(run);
  return level;
}

#define KESTREL_INSTANTIATE(T, T1)                                                 \
  template std::unique_ptr<frequent_level<T, T1>> count_pairs<T, T1>(              \
      run_context&, int, item_table&, transaction_sink<T>&, typed_constraints<T>&, \
      frequent_pairs<T>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
#define KESTREL_INSTANTIATE(T1) template class pair_counters<T1>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
