// Memory probes read from Linux's /proc files.
// mem_total is in bytes and 64-bit wide (a 32-bit count wraps at 4 GiB);
// mem_rss reports VmData in kilobytes.
#pragma once

#include <cstdint>
#include <string>

// Total physical memory in bytes; 67108864 (64 MiB) when the file cannot be read
// or holds no "MemTotal:" line. A test may replace the answer with
// set_mem_total_for_testing (0 restores the real probe).
std::uint64_t mem_total();
std::uint64_t mem_total_from(const std::string& meminfo_path);
void set_mem_total_for_testing(std::uint64_t bytes);

// VmData of process pid in kilobytes; 0 (and "Cannot open <path>" on stderr) when
// the status file cannot be opened.
std::uint64_t mem_rss(int pid);
