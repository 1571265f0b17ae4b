#include "tests/support/thread_ranks.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "util/error.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

// One rank's side of the cluster: every operation goes through the shared exchange.
class thread_rank final : public cluster {
 public:
  thread_rank(thread_ranks& all, int rank) : all_(all), rank_(rank) {}
  int rank() const override { return rank_; }
  int ranks() const override { return all_.ranks(); }
  void sum(std::uint8_t* v, std::size_t n) override { combine(v, n, "sum8", false); }
  void sum(std::uint16_t* v, std::size_t n) override { combine(v, n, "sum16", false); }
  void sum(std::uint32_t* v, std::size_t n) override { combine(v, n, "sum32", false); }
  void sum(std::uint64_t* v, std::size_t n) override { combine(v, n, "sum64", false); }
  void max(std::uint64_t* v, std::size_t n) override { combine(v, n, "max64", true); }
  std::vector<std::uint64_t> gather_all(const std::vector<std::uint64_t>& mine) override {
    std::vector<std::uint64_t> all;
    for (const std::string& part :
         all_.exchange(rank_, "gather_all", bytes_of(mine.data(), mine.size()))) {
      // An empty part may leave `all` without storage: memcpy wants a pointer even for 0 bytes.
      if (part.empty()) continue;
      const std::size_t at = all.size();
      all.resize(at + part.size() / 8);
      std::memcpy(all.data() + at, part.data(), part.size());
    }
    return all;
  }
  // The agreement kestrel-mpi's cluster makes: the lowest failing rank's message wins.
  void agree_on_error(std::exception_ptr failure) override {
    if (agreed_) std::rethrow_exception(failure ? failure : agreed_);
    int lowest = INT_MAX;
    const int mine = failure ? rank_ : INT_MAX;
    for (const std::string& part : all_.exchange(rank_, "agree", bytes_of(&mine, 1))) {
      int r;
      std::memcpy(&r, part.data(), sizeof r);
      lowest = std::min(lowest, r);
    }
    if (lowest == INT_MAX) return;
    const std::string message = lowest == rank_ ? failure_message(failure) : std::string();
    const std::string agreed =
        all_.exchange(rank_, "agree message", message)[static_cast<std::size_t>(lowest)];
    agreed_ = lowest == rank_ ? failure : std::make_exception_ptr(run_error(agreed));
    std::rethrow_exception(agreed_);
  }

 private:
  template <class U>
  static std::string bytes_of(const U* v, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(v), n * sizeof(U));
  }
  template <class U>
  void combine(U* v, std::size_t n, const char* op, bool take_max) {
    const std::string label = std::string(op) + " of " + std::to_string(n);
    const std::vector<std::string> parts = all_.exchange(rank_, label, bytes_of(v, n));
    for (std::size_t i = 0; i < n; ++i) {
      U result = 0;
      for (const std::string& part : parts) {
        U x;
        std::memcpy(&x, part.data() + i * sizeof(U), sizeof(U));
        result = take_max ? std::max(result, x) : static_cast<U>(result + x);
      }
      v[i] = result;
    }
  }

  thread_ranks& all_;
  const int rank_;
  std::exception_ptr agreed_;
};

}  // namespace

void thread_ranks::run(const std::function<void(int, cluster&)>& f) {
  std::vector<std::thread> threads;
  for (int r = 0; r < ranks_; ++r)
    threads.emplace_back([this, r, &f] {
      thread_rank peers(*this, r);
      f(r, peers);
    });
  for (std::thread& t : threads) t.join();
}

void thread_ranks::hang(int rank, const std::string& what) {
  std::fprintf(stderr, "thread_ranks: rank %d %s; the ranks' last collectives:\n", rank,
               what.c_str());
  for (int r = 0; r < ranks_; ++r)
    std::fprintf(stderr, "  rank %d: %s\n", r, labels_[static_cast<std::size_t>(r)].c_str());
  std::abort();
}

void thread_ranks::wait_for_all(std::unique_lock<std::mutex>& lock, int rank) {
  const std::uint64_t round = round_;
  if (++arrived_ == ranks_) {
    arrived_ = 0;
    ++round_;
    changed_.notify_all();
    return;
  }
  if (!changed_.wait_for(lock, kPatience, [&] { return round_ != round; }))
    hang(rank, "waited a minute for the others");
}

std::vector<std::string> thread_ranks::exchange(int rank, const std::string& label,
                                                std::string bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  labels_[static_cast<std::size_t>(rank)] = label;
  deposits_[static_cast<std::size_t>(rank)] = std::move(bytes);
  wait_for_all(lock, rank);
  for (const std::string& other : labels_)
    if (other != label) hang(rank, "met another collective");
  std::vector<std::string> all = deposits_;
  // Nobody deposits for the next round before everyone has read this one.
  wait_for_all(lock, rank);
  return all;
}
