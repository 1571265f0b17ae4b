// Level 2: the triangular pair counters and the second scan. T is the dense item
// type, T1 the support type.
#include "engine/pair_counting.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset/first_scan.h"
#include "dataset/temp_dataset.h"
#include "levels/output_line.h"
#include "util/error.h"
#include "util/output_file.h"
#include "util/progress_row.h"
#include "util/stopwatch.h"
#include "util/widths.h"

template <class T1>
pair_counters<T1>::pair_counters(std::uint64_t n_items, std::uint64_t budget_bytes)
    : n_pairs(number_of_pairs(n_items)), n(n_items) {
  const std::uint64_t bytes = n_pairs * sizeof(T1);
  auto refuse = [&]() {
    throw run_error("too many frequent items (" + std::to_string(n_items) +
                    "): pair counters need " + std::to_string((bytes + (1u << 20) - 1) >> 20) +
                    " MiB");
  };
  if (n_items > (std::uint64_t{1} << 32) || bytes > budget_bytes) refuse();
  // calloc: the zeroed pages of a large array are only touched when counted into.
  pair_counts = static_cast<T1*>(std::calloc(n_pairs == 0 ? 1 : n_pairs, sizeof(T1)));
  if (pair_counts == nullptr) refuse();
}

template <class T1>
pair_counters<T1>::~pair_counters() {
  std::free(pair_counts);
}

namespace {

// Runs the monotone constraints on a transaction while it can still hold a pair.
template <class T>
void apply_monotone(transaction_view<T>& t, typed_constraints<T>& table) {
  for (auto* c : table.m_table) {
    if (t.length < 2) return;
    c->process_transaction(t);
  }
}

struct pass_totals {
  std::uint32_t kept = 0;           // transactions handed to the sink
  std::uint64_t items_written = 0;  // their items
};

// The pass over "dataset.tmp" (32-bit layout): maps every transaction to dense
// ids, applies the monotone constraints, counts the pairs of what is left and
// hands it to sink.
template <class T, class T1>
pass_totals count_pass(const std::string& tmp_name, int max_tr_len, const item_table& items,
                       pair_counters<T1>& pairs, transaction_sink<T>& sink,
                       typed_constraints<T>& table) {
  temp_dataset_reader<std::uint32_t> in(tmp_name);
  if (!in.is_open()) throw run_error(tmp_name + " could not be opened!");
  const std::uint64_t n = pairs.n;
  const std::uint32_t capacity = max_tr_len > 0 ? static_cast<std::uint32_t>(max_tr_len) : 1;
  std::vector<std::uint32_t> in_buf(capacity);
  std::vector<T> out_buf(capacity);
  transaction_view<std::uint32_t> tin{in_buf.data(), 0};
  transaction_view<T> tout{out_buf.data(), 0};

  pass_totals totals;
  T1* const counts = pairs.pair_counts;
  while (in.read_next(tin, capacity)) {
    map_to_dense_sorted(tin, tout, items);
    apply_monotone(tout, table);
    const std::uint32_t len = tout.length;
    if (len < 2) continue;
    T* t = tout.items;
    for (std::uint32_t i = 0; i + 1 < len; ++i) {
      // Row start hoisted: counts[row + b] is the counter of pair (t[i], b).
      T1* row = counts + pair_row(t[i], n) - 1;
      for (std::uint32_t j = i + 1; j < len; ++j) {
        assert(t[i] < t[j]);
        ++row[t[j]];
      }
    }
    sink.add(t, len);
    ++totals.kept;
    totals.items_written += len;
  }
  return totals;
}

struct level_totals {
  std::uint32_t frequent = 0;
  std::uint32_t written = 0;
};

// Stores the frequent pairs the constraint set keeps and writes those it lets
// be written; counts each stored pair's items for global pruning when
// count_items is set.
template <class T, class T1>
level_totals store_frequent_pairs(run_context& run, item_table& items,
                                  const pair_counters<T1>& pairs, frequent_level<T, T1>& level,
                                  typed_constraints<T>& table, bool count_items) {
  output_file out(run.output, "a");
  output_line line(items, run.constraints.prefix_items, 2);
  const bool writable = run.constraints.level_allowed(2);
  const bool plain = table.keeps_everything() && table.writes_everything();
  const std::uint32_t min_count = items.min_count;
  const std::uint64_t n = pairs.n;
  level_totals totals;
  const T1* c = pairs.pair_counts;
  for (std::uint64_t a = 0; a + 1 < n; ++a) {
    bool row_label = false;
    for (std::uint64_t b = a + 1; b < n; ++b, ++c) {
      const T1 count = *c;
      if (count < min_count) continue;
      ++totals.frequent;
      const T pair[2] = {static_cast<T>(a), static_cast<T>(b)};
      // Only an anti-monotone constraint keeps a frequent pair out of the store:
      // a pair that fails a monotone, convertible or loose constraint may still
      // be a subset or join partner of a longer valid itemset.
      if (!plain && !table.keeps(pair, 2)) continue;
      level.add_itemset(pair, count, table);
      if (count_items) {
        ++items.global_count[a];
        ++items.global_count[b];
      }
      if (!writable || (!plain && !table.writes(pair, 2))) continue;
      if (!row_label) {
        line.set_item(0, static_cast<std::uint32_t>(a));
        row_label = true;
      }
      line.set_item(1, static_cast<std::uint32_t>(b));
      line.write(out, count);
      ++totals.written;
    }
  }
  out.close();
  return totals;
}

}  // namespace

template <class T, class T1>
std::unique_ptr<frequent_level<T, T1>> count_pairs(run_context& run, int max_tr_len,
                                                   item_table& items, pair_counters<T1>& pairs,
                                                   transaction_sink<T>& sink,
                                                   typed_constraints<T>& table) {
  stopwatch clock;
  clock.start();
  assert(pairs.n == items.n_items);
  const pass_totals pass = count_pass(run.temp_dataset, max_tr_len, items, pairs, sink, table);
  sink.finish();
  const bool rewrites = sink.rewrites_dataset();
  if (rewrites) {
    items.n_transactions = pass.kept;
    items.init_global_pruning();
  }

  auto level = std::make_unique<frequent_level<T, T1>>(2);
  const level_totals stored = store_frequent_pairs(run, items, pairs, *level, table, rewrites);
  if (rewrites) items.end_global_pruning(2);

  progress_row row;
  row.level = 2;
  row.algorithm = "scan";
  row.candidates = pairs.n_pairs;
  row.frequent = stored.frequent;
  row.written = stored.written;
  row.transactions = items.n_transactions;
  row.kib = pass.items_written * sizeof(T) / 1024;
  row.seconds = clock.seconds();
  print_progress_row(run.report, row);
  return level;
}

#define KESTREL_INSTANTIATE(T, T1)                                              \
  template std::unique_ptr<frequent_level<T, T1>> count_pairs<T, T1>(           \
      run_context&, int, item_table&, pair_counters<T1>&, transaction_sink<T>&, \
      typed_constraints<T>&);
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
#define KESTREL_INSTANTIATE(T1) template class pair_counters<T1>;
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
