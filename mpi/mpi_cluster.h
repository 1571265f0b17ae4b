// The ranks of an MPI communicator as the cluster of a shared run
// (util/cluster.h). Built into kestrel-mpi only: the library does not depend
// on MPI. MPI must be initialised while an mpi_cluster is in use.
#pragma once

#include <mpi.h>

#include <exception>

#include "util/cluster.h"

class mpi_cluster final : public cluster {
 public:
  explicit mpi_cluster(MPI_Comm comm);
  int rank() const override { return rank_; }
  int ranks() const override { return ranks_; }
  void sum(std::uint8_t* values, std::size_t n) override;
  void sum(std::uint16_t* values, std::size_t n) override;
  void sum(std::uint32_t* values, std::size_t n) override;
  void sum(std::uint64_t* values, std::size_t n) override;
  void max(std::uint64_t* values, std::size_t n) override;
  std::vector<std::uint64_t> gather_all(const std::vector<std::uint64_t>& mine) override;
  void agree_on_error(std::exception_ptr failure) override;

 private:
  MPI_Comm comm_;
  int rank_ = 0, ranks_ = 1;
  std::exception_ptr agreed_;  // the failure the ranks agreed on, once they have
};
