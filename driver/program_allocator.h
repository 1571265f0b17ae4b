// The allocator policy of the programs kestrel and kestrel-mpi. It is linked
// into those executables only (and into the tests of it), never into the
// library: a caller of include/kestrel/kestrel.h, such as the Python module,
// keeps its own operator new and its own malloc settings.
//
// - operator new marks every block of 2 MiB or more for huge pages (see
//   program_allocator.cc).
// - use_program_allocator fixes glibc's threshold for blocks mapped apart at
//   1 MiB (freed level arrays then leave the process) and, when the run will
//   start threads under an address-space limit, makes them share the main
//   allocation arena, which the description then tells the run's budget.
#pragma once

#include "include/kestrel/kestrel.h"

// Sets the process's allocator up for the run d describes, before it starts.
void use_program_allocator(kestrel::run_description& d);
