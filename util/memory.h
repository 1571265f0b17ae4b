// Physical memory read from Linux's /proc/meminfo.
// mem_total is in bytes and 64-bit wide (a 32-bit count wraps at 4 GiB).
#pragma once

#include <cstdint>
#include <string>

// Total physical memory in bytes; 67108864 (64 MiB) when the file cannot be read
// or holds no "MemTotal:" line.
std::uint64_t mem_total();
std::uint64_t mem_total_from(const std::string& meminfo_path);
