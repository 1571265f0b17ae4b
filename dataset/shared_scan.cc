#include "dataset/shared_scan.h"

#include <string>
#include <vector>

#include "util/error.h"

std::exception_ptr number_line_in_whole_file(cluster& peers, std::exception_ptr failure,
                                             std::uint64_t lines_read) {
  const std::vector<std::uint64_t> lines = peers.gather_all({lines_read});
  if (!failure) return failure;
  try {
    std::rethrow_exception(failure);
  } catch (const line_error& e) {
    // The ranks before this one read their parts to the end: their counts are whole.
    std::uint64_t before = 0;
    for (int q = 0; q < peers.rank(); ++q) before += lines[static_cast<std::size_t>(q)];
    return std::make_exception_ptr(line_error(e.file, before + e.line, e.problem));
  } catch (...) {
  }
  return failure;
}

void add_up_ranks(cluster& peers, first_scan_result& scan, std::uint64_t& transactions_written,
                  item_counts& counts) {
  std::uint64_t sums[] = {scan.lines_read, scan.item_occurrences, scan.items_written,
                          scan.prefix_support, transactions_written};
  peers.sum(sums, 5);
  scan.lines_read = sums[0];
  scan.item_occurrences = sums[1];
  scan.items_written = sums[2];
  scan.prefix_support = sums[3];
  transactions_written = sums[4];
  scan.max_tr_len = static_cast<std::uint32_t>(peers.max(scan.max_tr_len));
  counts.add_up(peers);
}
