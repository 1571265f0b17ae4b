// Level 2: the triangular pair counters and the second scan. T is the dense item
// type, T1 the support type.
#include "engine/pair_counting.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset/temp_dataset.h"
#include "dataset/first_scan.h"
#include "engine/output_line.h"
#include "util/error.h"
#include "util/memory.h"
#include "util/output_file.h"
#include "util/stopwatch.h"

template <class T1>
pair_counters<T1>::pair_counters(std::uint64_t n_items)
    : n_pairs(number_of_pairs(n_items)), n(n_items) {
  const std::uint64_t bytes = n_pairs * sizeof(T1);
  auto refuse = [&]() {
    throw run_error("too many frequent items (" + std::to_string(n_items) +
                    "): pair counters need " + std::to_string((bytes + (1u << 20) - 1) >> 20) +
                    " MiB");
  };
  if (n_items > (std::uint64_t{1} << 32) || bytes > mem_total()) refuse();
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

}  // namespace

template <class T, class T1>
std::unique_ptr<frequent_level<T, T1>> count_pairs(int max_tr_len, item_table& items,
                                                     pair_counters<T1>& pairs,
                                                     bit_matrix<T>& vd,
                                                     typed_constraints<T>& table) {
  stopwatch clock;
  clock.start();
  const std::string tmp_name = TEMPORARY_DATASET;
  temp_dataset_reader<std::uint32_t> in(tmp_name);
  if (!in.is_open()) throw run_error(tmp_name + " could not be opened!");
  temp_dataset_writer<T> out(tmp_name, false);
  if (!out.is_open()) throw run_error(tmp_name + " could not be opened!");

  const std::uint64_t n = items.n_items;
  assert(pairs.n == n);
  const bool vertical = vd.allocated();
  const std::uint32_t capacity = max_tr_len > 0 ? static_cast<std::uint32_t>(max_tr_len) : 1;
  std::vector<std::uint32_t> in_buf(capacity);
  std::vector<T> out_buf(capacity);
  transaction_view<std::uint32_t> tin{in_buf.data(), 0};
  transaction_view<T> tout{out_buf.data(), 0};

  std::uint64_t items_written = 0;
  std::uint32_t kept = 0;
  T1* const counts = pairs.pair_counts;
  while (in.read_next(tin, capacity)) {
    map_to_dense_sorted(tin, tout, items);
    apply_monotone(tout, table);
    const std::uint32_t len = tout.length;
    if (len < 2) continue;
    const T* t = tout.items;
    for (std::uint32_t i = 0; i + 1 < len; ++i) {
      // Row start hoisted: counts[row + b] is the counter of pair (t[i], b).
      T1* row = counts + pair_row(t[i], n) - 1;
      for (std::uint32_t j = i + 1; j < len; ++j) {
        assert(t[i] < t[j]);
        ++row[t[j]];
      }
    }
    if (vertical)
      vd.add_transaction(t, len, kept);
    else
      out.write_record(t, static_cast<T>(len));
    ++kept;
    items_written += len;
  }
  if (!vertical) {
    if (out.trunc() != 0) throw run_error(tmp_name + " could not be written!");
    items.n_transactions = kept;
    items.init_global_pruning();
  }
  out.close();

  auto level = std::make_unique<frequent_level<T, T1>>(2);
  FSout fs(OUTF, 2);
  output_line line(items, 2);
  const bool writable = level_allowed(2);
  const bool plain = table.keeps_everything() && table.writes_everything();
  const std::uint32_t min_count = items.min_count;
  std::uint32_t lk = 0, rk = 0;
  const T1* c = counts;
  for (std::uint64_t a = 0; a + 1 < n; ++a) {
    bool row_label = false;
    for (std::uint64_t b = a + 1; b < n; ++b, ++c) {
      const T1 count = *c;
      if (count < min_count) continue;
      ++lk;
      const T pair[2] = {static_cast<T>(a), static_cast<T>(b)};
      bool write = writable;
      if (!plain) {
        // Only an anti-monotone constraint keeps a frequent pair out of the
        // store: a pair that fails a monotone, convertible or loose constraint
        // may still be a subset or join partner of a longer valid itemset.
        if (!table.keeps(pair, 2)) continue;
        level->add_itemset(pair, count, table);
        write = write && table.writes(pair, 2, level->all_flags(level->n_itemsets - 1));
      } else {
        level->add_itemset(pair, count, table);
      }
      if (!vertical) {
        ++items.global_count[a];
        ++items.global_count[b];
      }
      if (write) {
        if (!row_label) {
          line.set_item(0, static_cast<std::uint32_t>(a));
          row_label = true;
        }
        line.set_item(1, static_cast<std::uint32_t>(b));
        line.write(fs.file, count);
        ++rk;
      }
    }
  }
  fs.file.close();
  if (!vertical) items.end_global_pruning(2);

  std::printf("%2d: \t scan \t\t %6llu \t %6u \t %6u \t %8u \t %8llu \t %8.2f\n", 2,
              static_cast<unsigned long long>(pairs.n_pairs), lk, rk, items.n_transactions,
              static_cast<unsigned long long>(items_written * sizeof(T) / 1024),
              clock.seconds());
  return level;
}

template class pair_counters<std::uint8_t>;
template class pair_counters<std::uint16_t>;
template class pair_counters<std::uint32_t>;

template std::unique_ptr<frequent_level<std::uint8_t, std::uint8_t>>
count_pairs<std::uint8_t, std::uint8_t>(int, item_table&, pair_counters<std::uint8_t>&,
                                        bit_matrix<std::uint8_t>&,
                                        typed_constraints<std::uint8_t>&);
template std::unique_ptr<frequent_level<std::uint8_t, std::uint16_t>>
count_pairs<std::uint8_t, std::uint16_t>(int, item_table&, pair_counters<std::uint16_t>&,
                                         bit_matrix<std::uint8_t>&,
                                         typed_constraints<std::uint8_t>&);
template std::unique_ptr<frequent_level<std::uint8_t, std::uint32_t>>
count_pairs<std::uint8_t, std::uint32_t>(int, item_table&, pair_counters<std::uint32_t>&,
                                         bit_matrix<std::uint8_t>&,
                                         typed_constraints<std::uint8_t>&);
template std::unique_ptr<frequent_level<std::uint16_t, std::uint8_t>>
count_pairs<std::uint16_t, std::uint8_t>(int, item_table&, pair_counters<std::uint8_t>&,
                                         bit_matrix<std::uint16_t>&,
                                         typed_constraints<std::uint16_t>&);
template std::unique_ptr<frequent_level<std::uint16_t, std::uint16_t>>
count_pairs<std::uint16_t, std::uint16_t>(int, item_table&, pair_counters<std::uint16_t>&,
                                          bit_matrix<std::uint16_t>&,
                                          typed_constraints<std::uint16_t>&);
template std::unique_ptr<frequent_level<std::uint16_t, std::uint32_t>>
count_pairs<std::uint16_t, std::uint32_t>(int, item_table&, pair_counters<std::uint32_t>&,
                                          bit_matrix<std::uint16_t>&,
                                          typed_constraints<std::uint16_t>&);
template std::unique_ptr<frequent_level<std::uint32_t, std::uint8_t>>
count_pairs<std::uint32_t, std::uint8_t>(int, item_table&, pair_counters<std::uint8_t>&,
                                         bit_matrix<std::uint32_t>&,
                                         typed_constraints<std::uint32_t>&);
template std::unique_ptr<frequent_level<std::uint32_t, std::uint16_t>>
count_pairs<std::uint32_t, std::uint16_t>(int, item_table&, pair_counters<std::uint16_t>&,
                                          bit_matrix<std::uint32_t>&,
                                          typed_constraints<std::uint32_t>&);
template std::unique_ptr<frequent_level<std::uint32_t, std::uint32_t>>
count_pairs<std::uint32_t, std::uint32_t>(int, item_table&, pair_counters<std::uint32_t>&,
                                          bit_matrix<std::uint32_t>&,
                                          typed_constraints<std::uint32_t>&);
