// kestrel-mpi: the command line of kestrel, run by every rank of an MPI job
// (mpirun -np R kestrel-mpi input F output O sigma S ...). Each rank scans its
// part of the input; rank 0 writes the output and the report, and a failure on
// any rank ends every rank with status 1 and one line on rank 0's stderr.
#include <mpi.h>

#include <csignal>

#include "driver/command_line.h"
#include "driver/interrupt_signals.h"
#include "driver/program_allocator.h"
#include "mpi/mpi_cluster.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  MPI_Init(&argc, &argv);
  // mpirun passes Ctrl-C and SIGTERM on to the ranks: each stops at its next
  // poll and removes its own "dataset.tmp.<rank>".
  install_interrupt_handlers();
  int status;
  {
    mpi_cluster peers(MPI_COMM_WORLD);
    status = run_command_line(argc, argv, &peers, use_program_allocator);
  }
  MPI_Finalize();
  return status;
}
