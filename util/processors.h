// How many processors this process may run on: the CPUs of its affinity mask
// (taskset, a container's cpuset), at least 1.
#pragma once

unsigned usable_processors();
