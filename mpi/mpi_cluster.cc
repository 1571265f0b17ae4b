#include "mpi/mpi_cluster.h"

#include <algorithm>
#include <climits>
#include <string>

#include "util/error.h"

namespace {

// MPI counts are ints: large arrays go in slices.
constexpr std::size_t kSlice = std::size_t{1} << 28;

template <class F>
void in_slices(std::size_t n, F&& f) {
  for (std::size_t done = 0; done < n; done += kSlice)
    f(done, static_cast<int>(std::min(kSlice, n - done)));
}

// Every element of values becomes op over the ranks' values, in place.
template <class U>
void reduce(U* values, std::size_t n, MPI_Datatype type, MPI_Op op, MPI_Comm comm) {
  in_slices(n, [&](std::size_t at, int count) {
    MPI_Allreduce(MPI_IN_PLACE, values + at, count, type, op, comm);
  });
}

}  // namespace

mpi_cluster::mpi_cluster(MPI_Comm comm) : comm_(comm) {
  MPI_Comm_rank(comm_, &rank_);
  MPI_Comm_size(comm_, &ranks_);
}

void mpi_cluster::sum(std::uint8_t* values, std::size_t n) {
  reduce(values, n, MPI_UINT8_T, MPI_SUM, comm_);
}
void mpi_cluster::sum(std::uint16_t* values, std::size_t n) {
  reduce(values, n, MPI_UINT16_T, MPI_SUM, comm_);
}
void mpi_cluster::sum(std::uint32_t* values, std::size_t n) {
  reduce(values, n, MPI_UINT32_T, MPI_SUM, comm_);
}
void mpi_cluster::sum(std::uint64_t* values, std::size_t n) {
  reduce(values, n, MPI_UINT64_T, MPI_SUM, comm_);
}
void mpi_cluster::max(std::uint64_t* values, std::size_t n) {
  reduce(values, n, MPI_UINT64_T, MPI_MAX, comm_);
}

std::vector<std::uint64_t> mpi_cluster::gather_all(const std::vector<std::uint64_t>& mine) {
  const int count = static_cast<int>(mine.size());
  std::vector<int> counts(static_cast<std::size_t>(ranks_)), offsets(counts.size());
  MPI_Allgather(&count, 1, MPI_INT, counts.data(), 1, MPI_INT, comm_);
  int total = 0;
  for (std::size_t q = 0; q < counts.size(); ++q) {
    offsets[q] = total;
    total += counts[q];
  }
  std::vector<std::uint64_t> all(static_cast<std::size_t>(total));
  MPI_Allgatherv(mine.data(), count, MPI_UINT64_T, all.data(), counts.data(), offsets.data(),
                 MPI_UINT64_T, comm_);
  return all;
}

void mpi_cluster::agree_on_error(std::exception_ptr failure) {
  if (agreed_) std::rethrow_exception(failure ? failure : agreed_);
  const int mine = failure ? rank_ : INT_MAX;
  int lowest = INT_MAX;
  MPI_Allreduce(&mine, &lowest, 1, MPI_INT, MPI_MIN, comm_);
  if (lowest == INT_MAX) return;
  // The lowest failing rank's message goes to every rank (rank 0 prints it).
  std::string message = lowest == rank_ ? failure_message(failure) : std::string();
  int length = static_cast<int>(message.size());
  MPI_Bcast(&length, 1, MPI_INT, lowest, comm_);
  message.resize(static_cast<std::size_t>(length));
  MPI_Bcast(&message[0], length, MPI_CHAR, lowest, comm_);
  agreed_ = lowest == rank_ ? failure : std::make_exception_ptr(run_error(message));
  std::rethrow_exception(agreed_);
}
