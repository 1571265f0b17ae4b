#include "dataset/shared_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

namespace {

constexpr std::size_t kChunkBytes = std::size_t{16} << 20;

bool read_fully(int fd, char* bytes, std::size_t n) {
  while (n > 0) {
    const ssize_t got = ::read(fd, bytes, n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool write_fully(int fd, const char* bytes, std::size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd, bytes, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

std::uint64_t gather_temp_dataset(run_context& run) {
  cluster& peers = run.peers;
  const std::string& name = run.temp_dataset;
  // A rank that fails here still sends and receives every chunk, so that the
  // others reach the agreement at the end.
  std::exception_ptr failure;
  auto fail = [&](const char* what) {
    if (!failure) failure = std::make_exception_ptr(run_error(name + what));
  };
  const int fd = ::open(name.c_str(), peers.leads() ? O_WRONLY | O_APPEND : O_RDONLY);
  if (fd < 0) fail(" could not be opened!");
  struct stat st;
  const std::uint64_t own =
      fd >= 0 && ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  const std::vector<std::uint64_t> sizes = peers.gather_all({own});
  std::vector<char> chunk;
  for (int q = 1; q < peers.ranks(); ++q) {
    if (peers.rank() != q && !peers.leads()) continue;
    const std::uint64_t size = sizes[static_cast<std::size_t>(q)];
    for (std::uint64_t done = 0; done < size;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, size - done));
      chunk.resize(n);
      if (peers.rank() == q) {
        if (!failure && !read_fully(fd, chunk.data(), n)) fail(" could not be read!");
        peers.send(0, chunk.data(), n);
      } else {
        peers.receive(q, chunk.data(), n);
        if (!failure && !write_fully(fd, chunk.data(), n)) fail(" could not be written!");
      }
      done += n;
    }
  }
  if (fd >= 0 && ::close(fd) != 0 && peers.leads()) fail(" could not be written!");
  peers.agree_on_error(failure);
  std::uint64_t moved = 0;
  for (int q = 1; q < peers.ranks(); ++q) moved += sizes[static_cast<std::size_t>(q)];
  return moved;
}

void hand_over_to_rank_zero(run_context& run) {
  if (run.peers.ranks() == 1 || run.handed_over) return;
  run.peers.agree_on_error(nullptr);  // a rank that failed since the last sum meets the others here
  report_exchange(run);
  const std::uint64_t moved = gather_temp_dataset(run);
  run.handed_over = true;
  run.report.print("( \t records to rank 0: %llu bytes )\n",
                   static_cast<unsigned long long>(moved));
}

void report_exchange(run_context& run) {
  cluster& peers = run.counting();
  if (peers.ranks() == 1 || peers.exchanged_bytes == 0) return;
  run.report.print("( \t counts summed over %d ranks: %llu bytes )\n", peers.ranks(),
                   static_cast<unsigned long long>(peers.exchanged_bytes));
  peers.exchanged_bytes = 0;
}
