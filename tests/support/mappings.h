// Test helper for the advice a test gives the system about its memory: which
// flags the mapping of an address carries (huge pages "hg", small pages "nh").
#pragma once

#include <string>

// The VmFlags line of the mapping of /proc/self/smaps that holds p; empty when
// there is none (or no /proc).
std::string flags_of_mapping_holding(const void* p);
