#include "engine/shared_pairs.h"

#include <algorithm>

#include "util/widths.h"

namespace {

// A gathered key and its summed count.
constexpr std::uint64_t kBytesPerKey = sizeof(std::uint64_t) + sizeof(std::uint32_t);
// MPI counts the elements of a gather in an int.
constexpr std::uint64_t kMostKeysPerRound = std::uint64_t{1} << 28;

std::uint64_t key_of(std::uint32_t a, std::uint32_t b) { return std::uint64_t{a} << 32 | b; }

}  // namespace

std::vector<std::uint32_t> cut_exchange_rounds(const std::vector<std::uint32_t>& nominations,
                                               std::uint64_t room_bytes) {
  const auto n = static_cast<std::uint32_t>(nominations.size());
  const std::uint64_t most = std::min(kMostKeysPerRound, room_bytes / kBytesPerKey);
  std::vector<std::uint32_t> firsts = {0};
  std::uint64_t keys = 0;
  for (std::uint32_t a = 0; a < n; ++a) {
    if (keys > 0 && keys + nominations[a] > most) {
      firsts.push_back(a);
      keys = 0;
    }
    keys += nominations[a];
  }
  firsts.push_back(n);
  return firsts;
}

template <class T>
void take_shared_pairs(cluster& peers, occurring_pairs<T>& rows, std::uint32_t n,
                       std::uint32_t min_count, std::uint64_t room_bytes, const pair_taker& take) {
  const auto ranks = static_cast<std::uint64_t>(peers.ranks());
  const auto nominate = static_cast<std::uint32_t>((min_count + ranks - 1) / ranks);
  // This rank's nominations, ascending as the rows hand them over.
  std::vector<std::uint64_t> mine;
  std::vector<std::uint32_t> per_row(n, 0);
  rows.for_each_row(
      [&](std::uint32_t a, const T* seconds, const std::uint32_t* counts, std::size_t m) {
        for (std::size_t i = 0; i < m; ++i) {
          if (counts[i] < nominate) continue;
          mine.push_back(key_of(a, seconds[i]));
          ++per_row[a];
        }
      });
  peers.sum_counts(per_row.data(), per_row.size());
  const std::vector<std::uint32_t> rounds = cut_exchange_rounds(per_row, room_bytes);
  std::vector<std::uint32_t>().swap(per_row);

  std::size_t from = 0;
  for (std::size_t r = 0; r + 1 < rounds.size(); ++r) {
    const std::uint32_t first_row = rounds[r], end_row = rounds[r + 1];
    const std::size_t to =
        static_cast<std::size_t>(std::lower_bound(mine.begin() + static_cast<std::ptrdiff_t>(from),
                                                  mine.end(), key_of(end_row, 0)) -
                                 mine.begin());
    // A rank that failed meets the others here as at a sum.
    peers.agree_on_error(nullptr);
    std::vector<std::uint64_t> keys = peers.gather_all(
        std::vector<std::uint64_t>(mine.begin() + static_cast<std::ptrdiff_t>(from),
                                   mine.begin() + static_cast<std::ptrdiff_t>(to)));
    peers.exchanged_bytes += (to - from) * sizeof(std::uint64_t);
    from = to;
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    if (keys.empty()) continue;  // alike on every rank

    // This rank's count of every nominated pair, its own nominations or not.
    std::vector<std::uint32_t> supports(keys.size(), 0);
    std::size_t at = 0;
    rows.for_each_row(
        [&](std::uint32_t a, const T* seconds, const std::uint32_t* counts, std::size_t m) {
          if (a < first_row || a >= end_row) return;
          for (std::size_t i = 0; i < m && at < keys.size(); ++i) {
            const std::uint64_t k = key_of(a, seconds[i]);
            while (at < keys.size() && keys[at] < k) ++at;
            if (at < keys.size() && keys[at] == k) supports[at] = counts[i];
          }
        });
    peers.sum_counts(supports.data(), supports.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (supports[i] >= min_count)
        take(static_cast<std::uint32_t>(keys[i] >> 32), static_cast<std::uint32_t>(keys[i]),
             supports[i]);
  }
}

#define KESTREL_INSTANTIATE(T)                                                                    \
  template void take_shared_pairs<T>(cluster&, occurring_pairs<T>&, std::uint32_t, std::uint32_t, \
                                     std::uint64_t, const pair_taker&);
KESTREL_FOR_EACH_WIDTH(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
