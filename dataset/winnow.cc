#include "dataset/winnow.h"

#include <cstdio>
#include <string>
#include <vector>

#include "constraints/constraint.h"
#include "dataset/id_map.h"
#include "dataset/temp_dataset.h"
#include "util/error.h"
#include "util/stopwatch.h"
#include "util/transaction.h"

namespace {

// Which items were frequent at the start of a pass: the count table is emptied
// and refilled while the pass runs.
struct keep_flags {
  std::vector<std::uint8_t> dense;
  id_map sparse;  // value 1: kept
  bool kept(std::uint32_t id) const {
    if (id < dense.size()) return dense[id] != 0;
    return sparse.find(id) != nullptr;
  }
};

std::uint64_t snapshot(const item_table& items, keep_flags& flags) {
  const std::vector<item_entry> frequent = items.counts.frequent(items.min_count);
  flags.dense.assign(items.counts.dense_table_size(), 0);
  flags.sparse.clear();
  for (const item_entry& e : frequent) {
    if (e.id < flags.dense.size())
      flags.dense[e.id] = 1;
    else
      flags.sparse[e.id] = 1;
  }
  return frequent.size();
}

}  // namespace

std::uint32_t run_winnow_loops(run_context& run, item_table& items, std::uint64_t c1,
                               std::uint32_t& max_tr_len, std::uint64_t& items_written) {
  std::vector<monotone_constraint<std::uint32_t>*> reapplied;
  for (auto* c : run.constraints.monotone_table)
    if (c->reapplied_by_winnow()) reapplied.push_back(c);
  bool changed = !run.constraints.monotone_table.empty();
  std::uint32_t budget = run.config.preloops - 1;  // modulo 2^32: preloops 0 means "until stable"
  std::uint32_t passes = 0;
  keep_flags flags;
  std::vector<std::uint32_t> in, out;
  while (changed && budget != 0) {
    stopwatch pass_time;
    pass_time.start();
    run.report.check_stop();
    --budget;
    ++passes;
    const std::uint64_t kept_items = snapshot(items, flags);
    items.counts.clear();
    temp_dataset_reader<std::uint32_t> reader(run.temp_dataset, run.meter.when_shown());
    if (!reader.is_open()) throw run_error(run.temp_dataset + " i: could not be opened!");
    temp_dataset_writer<std::uint32_t> writer(run.temp_dataset, false);
    if (!writer.is_open()) throw run_error(run.temp_dataset + " o: could not be opened!");
    items_written = 0;
    max_tr_len = 0;
    std::uint64_t n_written = 0;
    while (reader.read_next(in)) {
      out.clear();
      for (std::uint32_t id : in)
        if (flags.kept(id)) out.push_back(id);
      transaction_view<std::uint32_t> view = view_of(out);
      for (auto* c : reapplied) {
        if (view.length == 0) break;
        c->process_transaction(view);
      }
      out.resize(view.length);
      if (out.empty()) continue;
      for (std::uint32_t id : out) items.counts.add(id);
      if (out.size() > max_tr_len) max_tr_len = static_cast<std::uint32_t>(out.size());
      items_written += out.size();
      writer.write_record(out.data(), static_cast<std::uint32_t>(out.size()));
      ++n_written;
    }
    writer.cut();
    writer.close();
    // Each rank rewrote its own records: the pass's figures are those of all of them.
    cluster& peers = run.peers;
    items.own_transactions = static_cast<std::uint32_t>(n_written);  // at most the file's before
    if (peers.ranks() > 1) {
      std::uint64_t sums[] = {n_written, items_written};
      peers.sum_counts(sums, 2);
      n_written = sums[0];
      items_written = sums[1];
      max_tr_len = static_cast<std::uint32_t>(peers.max_counts(max_tr_len));
      items.counts.add_up(peers);
    }
    changed = items.n_transactions != n_written;
    items.n_transactions = static_cast<std::uint32_t>(n_written);
    run.report.print("( \t winnow \t %6llu \t %6llu \t %6d \t %8u \t %8llu \t %8.2f  )\n",
                     static_cast<unsigned long long>(c1),
                     static_cast<unsigned long long>(kept_items), 0, items.n_transactions,
                     static_cast<unsigned long long>(items_written * 4 / 1024),
                     pass_time.seconds());
    report_exchange(run);
  }
  return passes;
}
