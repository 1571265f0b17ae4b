#include "dataset/first_scan.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/attributes.h"
#include "dataset/fimi_reader.h"
#include "dataset/winnow.h"
#include "util/output_file.h"
#include "util/stopwatch.h"
#include "util/transaction.h"

namespace {

// Makes a line a set, keeping the first occurrence of every item in line order.
// Small ids are marked in a table stamped with the line number, so clearing it
// costs nothing; the rare ids above the table use a hash set.
class line_deduper {
 public:
  void run(std::vector<std::uint32_t>& items) {
    if (items.size() < 2) return;
    ++stamp_;
    if (stamp_ == 0) {  // the stamp wrapped: old marks could alias
      std::fill(mark_.begin(), mark_.end(), 0);
      stamp_ = 1;
    }
    big_.clear();
    std::size_t kept = 0;
    for (std::uint32_t id : items) {
      bool seen;
      if (id < item_table::kDenseIdLimit) {
        if (id >= mark_.size()) mark_.resize(std::max<std::size_t>(id + 1, 2 * mark_.size()), 0);
        seen = mark_[id] == stamp_;
        mark_[id] = stamp_;
      } else {
        seen = !big_.insert(id).second;
      }
      if (!seen) items[kept++] = id;
    }
    items.resize(kept);
  }

 private:
  std::vector<std::uint32_t> mark_;
  std::uint32_t stamp_ = 0;
  std::unordered_set<std::uint32_t> big_;
};

// True when the (deduplicated) line holds every prefix item.
bool holds_prefix(const std::vector<std::uint32_t>& line,
                  const std::vector<std::uint32_t>& prefix) {
  for (std::uint32_t p : prefix)
    if (std::find(line.begin(), line.end(), p) == line.end()) return false;
  return true;
}

// The written itemset's constraint tests, in the order AM, SAM, M, LAM, CAM,
// stopping at the first that fails.
bool passes_all_constraints(const std::vector<std::uint32_t>& probe) {
  for (auto* c : GLOBAL_AM_TABLE)
    if (!c->holds(probe)) return false;
  for (auto* c : GLOBAL_SAM_TABLE)
    if (!c->holds(probe)) return false;
  for (auto* c : GLOBAL_M_TABLE)
    if (!c->holds(probe)) return false;
  for (auto* c : GLOBAL_LAM_TABLE)
    if (!c->holds(probe)) return false;
  for (auto* c : GLOBAL_CAM_TABLE)
    if (!c->holds(probe)) return false;
  return true;
}

// Whether the length bound lets an itemset of n items beyond the prefix be written.
bool length_allows(int n) { return GLOBAL_MAXIMUM_LENGTH == -1 || GLOBAL_MAXIMUM_LENGTH >= n; }

void write_prefix(output_file& out) {
  for (std::uint32_t p : prefix_items) out.write_uint_blank(p);
}

unsigned long long kb_of(std::uint64_t items_written) {
  return static_cast<unsigned long long>(items_written * 4 / 1024);
}

}  // namespace

std::uint32_t first_scan(const std::string& input, item_table& items, std::uint32_t& max_tr_len,
                         std::uint32_t preloops) {
  stopwatch scan_time;
  scan_time.start();
  fimi_reader reader(input, "ERROR: Cannot open input file!");
  temp_dataset_writer<std::uint32_t> tmp(TEMPORARY_DATASET, true);
  if (!tmp.is_open()) throw run_error(std::string(TEMPORARY_DATASET) + " could not be opened!");

  max_tr_len = 0;
  std::uint64_t lines_read = 0, item_occurrences = 0, items_written = 0, prefix_support = 0;
  std::uint64_t n_written = 0;
  const std::uint64_t attribute_limit = shortest_attribute_column();
  line_deduper dedupe;
  std::vector<std::uint32_t> t;
  while (reader.next_line(t)) {
    ++lines_read;
    item_occurrences += t.size();
    dedupe.run(t);
    for (std::uint32_t id : t)
      if (id >= attribute_limit) report_missing_attribute_value(id);
    // The support of the prefix itemset is settled before any constraint trims the line.
    if (holds_prefix(t, prefix_items)) ++prefix_support;
    transaction_view<std::uint32_t> view = view_of(t);
    for (auto* c : GLOBAL_AM_TABLE) {
      if (view.length == 0) break;
      c->preprocess_transaction(view);
    }
    for (auto* c : GLOBAL_SAM_TABLE) {
      if (view.length == 0) break;
      c->preprocess_transaction(view);
    }
    for (auto* c : GLOBAL_M_TABLE) {
      if (view.length == 0) break;
      c->process_transaction(view);
    }
    if (view.length == 0) continue;
    t.resize(view.length);
    for (std::uint32_t id : t) items.count_item(id);
    max_tr_len = std::max(max_tr_len, static_cast<std::uint32_t>(t.size()));
    items_written += t.size();
    tmp.write_record(t.data(), static_cast<std::uint32_t>(t.size()));
    ++n_written;
  }
  if (n_written > 0xFFFFFFFFull) throw run_error(input + " holds more than 2^32-1 transactions");
  items.n_transactions = static_cast<std::uint32_t>(n_written);
  if (tmp.trunc() != 0) throw run_error(std::string(TEMPORARY_DATASET) + " could not be cut!");
  tmp.close();

  std::printf(
      "Dataset statistics.\n # transactions = %llu\n # items        = %llu\n"
      " size in kB     = %llu\n",
      static_cast<unsigned long long>(lines_read),
      static_cast<unsigned long long>(item_occurrences), kb_of(item_occurrences));

  // A run always names an output file; without one the levels are only counted.
  std::unique_ptr<output_file> out;
  if (write_output) out = std::make_unique<output_file>(OUTF, "w+");
  // Level 0: the prefix itemset alone (the empty itemset without a prefix).
  std::vector<std::uint32_t> probe;
  int r0 = 0;
  if (prefix_support >= items.min_count && length_allows(0) && passes_all_constraints(probe)) {
    r0 = 1;
    if (out) {
      write_prefix(*out);
      out->write_support(prefix_support);
    }
  }
  std::printf("Iter \t Alg \t\t Ck \t\t Lk \t\t Rk \t\t #tr \t\t size kB \t\t Time\n");
  std::printf("%2d: \t      \t\t %6d \t %6d \t %6d \t %8u \t %8llu \n", 0, 1, 1, r0,
              items.n_transactions, kb_of(items_written));

  const std::uint64_t c1 = items.n_counted;
  run_winnow_loops(items, preloops, c1, max_tr_len, items_written);

  if (GLOBAL_CAM_TABLE.empty())
    items.remap_items(write_output);
  else
    items.remap_items(GLOBAL_CAM_TABLE.front());
  rebuild_attribute_columns(items);

  // Level 1: every frequent item that every constraint accepts.
  std::uint64_t r1 = 0;
  if (length_allows(1)) {
    probe.assign(1, 0);
    for (std::uint32_t k = 0; k < items.n_items; ++k) {
      probe[0] = k;
      if (!passes_all_constraints(probe)) continue;
      ++r1;
      if (!out) continue;
      write_prefix(*out);
      out->write(items.label(k), items.item_label_len[k]);
      out->write_support(items.support(k));
    }
  }
  std::printf("%2d: \t scan \t\t %6llu \t %6u \t %6llu \t %8u \t %8llu \t %8.2f\n", 1,
              static_cast<unsigned long long>(c1), items.n_items,
              static_cast<unsigned long long>(r1), items.n_transactions, kb_of(items_written),
              scan_time.seconds());
  if (out) out->close();
  items.delete_counts();
  return items.max_support;
}

template <class T>
void map_to_dense_sorted(const transaction_view<std::uint32_t>& in, transaction_view<T>& out,
                         const item_table& items) {
  T n = 0;
  for (std::uint32_t i = 0; i < in.length; ++i) {
    const std::uint32_t dense = items.map_input(in.items[i]);
    if (dense != item_table::kNotFrequent) out.items[n++] = static_cast<T>(dense);
  }
  out.length = n;
  std::sort(out.items, out.items + n);
}

template void map_to_dense_sorted<std::uint8_t>(const transaction_view<std::uint32_t>&,
                                                             transaction_view<std::uint8_t>&,
                                                             const item_table&);
template void map_to_dense_sorted<std::uint16_t>(const transaction_view<std::uint32_t>&,
                                                              transaction_view<std::uint16_t>&,
                                                              const item_table&);
template void map_to_dense_sorted<std::uint32_t>(const transaction_view<std::uint32_t>&,
                                                              transaction_view<std::uint32_t>&,
                                                              const item_table&);
