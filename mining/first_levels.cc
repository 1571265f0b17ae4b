#include "mining/first_levels.h"

#include <vector>

#include "levels/output_line.h"
#include "util/stopwatch.h"

namespace {

void write_prefix(const run_context& run, output_file& out) {
  for (std::uint32_t p : run.constraints.prefix_items) out.write_uint_blank(p);
}

}  // namespace

std::unique_ptr<output_file> write_level_zero(run_context& run, const item_table& items,
                                              const first_scan_result& scan) {
  std::unique_ptr<output_file> out;
  if (run.output.enabled()) out = std::make_unique<output_file>(run.output, "w+");
  const std::vector<std::uint32_t> empty;
  int r0 = 0;
  if (scan.prefix_support >= items.min_count && run.constraints.level_allowed(0) &&
      run.constraints.holds_all(empty)) {
    r0 = 1;
    if (out) {
      write_prefix(run, *out);
      out->write_support(scan.prefix_support);
    }
  }
  run.report.record(0, "", 1, 1, static_cast<std::uint64_t>(r0));
  run.report.print("Iter \t Alg \t\t Ck \t\t Lk \t\t Rk \t\t #tr \t\t size kB \t\t Time\n");
  run.report.print("%2d: \t      \t\t %6d \t %6d \t %6d \t %8u \t %8llu \n", 0, 1, 1, r0,
                   items.n_transactions, kb_of(scan.items_written));
  return out;
}

first_scan_result run_first_levels(run_context& run, item_table& items) {
  stopwatch scan_time;
  scan_time.start();
  first_scan_result scan;
  if (run.config.transactions != nullptr) {
    memory_source source(*run.config.transactions);
    scan = first_scan(run, source, items);
  } else if (run.peers.ranks() == 1) {
    fimi_file_source source(run.config.input);
    source.meter_reads(run.meter.when_shown());
    scan = first_scan(run, source, items);
  } else {
    fimi_file_source source(run.config.input, static_cast<std::uint64_t>(run.peers.rank()),
                            static_cast<std::uint64_t>(run.peers.ranks()));
    source.meter_reads(run.meter.when_shown());
    scan = first_scan(run, source, items);
  }
  std::unique_ptr<output_file> out = write_level_zero(run, items, scan);
  report_exchange(run);
  settle_items(run, items, scan);
  write_level_one(run, items, scan, std::move(out), scan_time.seconds());
  items.counts.release();
  return scan;
}

void write_level_one(run_context& run, const item_table& items, const first_scan_result& scan,
                     std::unique_ptr<output_file> out, double seconds) {
  std::uint64_t r1 = 0;
  const constraint_set& constraints = run.constraints;
  if (constraints.level_allowed(1)) {
    // Without constraints every item is written: the lines are laid out in the
    // file's buffer as the later levels' are (on the million-item row its
    // million lines took 143M instructions one write at a time).
    const bool asks = !constraints.anti_monotone_table.empty() || !constraints.succinct_table.empty() ||
                      !constraints.monotone_table.empty() || !constraints.loose_table.empty() ||
                      !constraints.convertible_table.empty();
    std::unique_ptr<output_line> line;
    if (out) line = std::make_unique<output_line>(items, constraints.prefix_items, 1, items.max_support);
    std::vector<std::uint32_t> probe(1, 0);
    for (std::uint32_t k = 0; k < items.n_items; ++k) {
      if (asks) {
        probe[0] = k;
        if (!constraints.holds_all(probe)) continue;
      }
      ++r1;
      if (line) line->write_last(*out, k, items.support(k));
    }
  }
  run.report.record(1, "scan", scan.c1, items.n_items, r1);
  run.report.print("%2d: \t scan \t\t %6llu \t %6u \t %6llu \t %8u \t %8llu \t %8.2f\n", 1,
                   static_cast<unsigned long long>(scan.c1), items.n_items,
                   static_cast<unsigned long long>(r1), items.n_transactions,
                   kb_of(scan.items_written), seconds);
  if (out) out->close();
}
