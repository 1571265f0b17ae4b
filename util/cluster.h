// The processes that share one run, and what they exchange.
//
// A run may be spread over several processes ("ranks", 0 .. ranks()-1), each of
// which reads its own part of the input. They meet at fixed points of the run to
// add up their counts and to agree on whether every one of them got there
// without an error. Every rank calls the same collective operations in the same
// order; rank 0 alone writes the output file and standard output.
//
// The default, single_process, is one rank: every sum is the value itself and an
// agreement rethrows the caller's own failure. kestrel-mpi passes down an
// implementation over MPI; the library never depends on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

class cluster {
 public:
  virtual ~cluster() = default;
  virtual int rank() const = 0;
  virtual int ranks() const = 0;
  bool leads() const { return rank() == 0; }

  // Collective: each element becomes the sum (max) of that element over the ranks.
  virtual void sum(std::uint8_t* values, std::size_t n) = 0;
  virtual void sum(std::uint16_t* values, std::size_t n) = 0;
  virtual void sum(std::uint32_t* values, std::size_t n) = 0;
  virtual void sum(std::uint64_t* values, std::size_t n) = 0;
  virtual void max(std::uint64_t* values, std::size_t n) = 0;
  // Collective: every rank's values, concatenated in rank order.
  virtual std::vector<std::uint64_t> gather_all(const std::vector<std::uint64_t>& mine) = 0;

  // Collective: every rank tells whether it failed (null: it did not). When no
  // rank failed it returns. Otherwise every rank throws: the failing rank with
  // the lowest number rethrows its own exception, the others throw run_error
  // with that rank's one-line message. After a failure the ranks have agreed
  // on, later calls exchange nothing and rethrow their argument (or the agreed
  // error), so a rank that fails anywhere can call it once more on its way out.
  virtual void agree_on_error(std::exception_ptr failure) = 0;

  // Collective: the counts of a pass summed over the ranks, after the ranks
  // have agreed that none of them failed on its way here (a rank that failed
  // anywhere meets the others at their next sum through agree_on_error). Every
  // rank's share of the sum fits V when the whole does, as counts only grow
  // when added. The bytes summed are tallied in exchanged_bytes.
  template <class V>
  void sum_counts(V* values, std::size_t n) {
    agree_on_error(nullptr);
    sum(values, n);
    exchanged_bytes += n * sizeof(V);
  }
  std::uint64_t sum_counts(std::uint64_t v) {
    sum_counts(&v, 1);
    return v;
  }
  std::uint64_t max_counts(std::uint64_t v) {
    agree_on_error(nullptr);
    exchanged_bytes += sizeof v;
    return max(v);
  }
  // Collective, once the ranks have agreed that none of them failed: the least
  // of v over the ranks, and whether any rank's flag is set. For plans that
  // every rank must make alike from figures of its own (its data's bytes, its
  // stores' capacities); not tallied in exchanged_bytes, as they carry no counts.
  std::uint64_t agreed_least(std::uint64_t v) {
    agree_on_error(nullptr);
    return UINT64_MAX - max(UINT64_MAX - v);
  }
  bool agreed_any(bool flag) {
    agree_on_error(nullptr);
    return max(std::uint64_t{flag ? 1u : 0u}) != 0;
  }
  // Bytes summed by sum_counts since the last time the run reported them.
  std::uint64_t exchanged_bytes = 0;

  std::uint64_t sum(std::uint64_t v) {
    sum(&v, 1);
    return v;
  }
  std::uint64_t max(std::uint64_t v) {
    max(&v, 1);
    return v;
  }
};

class single_process : public cluster {
 public:
  int rank() const override { return 0; }
  int ranks() const override { return 1; }
  void sum(std::uint8_t*, std::size_t) override {}
  void sum(std::uint16_t*, std::size_t) override {}
  void sum(std::uint32_t*, std::size_t) override {}
  void sum(std::uint64_t*, std::size_t) override {}
  void max(std::uint64_t*, std::size_t) override {}
  std::vector<std::uint64_t> gather_all(const std::vector<std::uint64_t>& mine) override {
    return mine;
  }
  void agree_on_error(std::exception_ptr failure) override {
    if (failure) std::rethrow_exception(failure);
  }
};

// The one-line message a failure shows the user (as the command line prints it).
std::string failure_message(std::exception_ptr failure);
