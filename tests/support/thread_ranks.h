// The ranks of a shared run as threads of one process, for tests of the
// exchanges without MPI (util/cluster.h).
//
// thread_ranks(R).run(f) calls f(rank, cluster) on R threads and returns when
// every one has returned. Each collective call is checked against the other
// ranks': when two ranks meet at different operations (a sum beside a gather,
// or sums of different lengths), or a rank waits more than a minute for the
// others, the process prints what each rank was doing and aborts, since under
// MPI the same run would hang or mix up its counts.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "util/cluster.h"

class thread_ranks {
 public:
  explicit thread_ranks(int ranks) : ranks_(ranks), labels_(ranks), deposits_(ranks) {}
  void run(const std::function<void(int rank, cluster& peers)>& f);

  // Collective: every rank's bytes, in rank order, once all ranks have called
  // it with the same label.
  std::vector<std::string> exchange(int rank, const std::string& label, std::string bytes);
  int ranks() const { return ranks_; }

 private:
  void wait_for_all(std::unique_lock<std::mutex>& lock, int rank);
  [[noreturn]] void hang(int rank, const std::string& what);

  const int ranks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int arrived_ = 0;
  std::uint64_t round_ = 0;
  std::vector<std::string> labels_, deposits_;
};
