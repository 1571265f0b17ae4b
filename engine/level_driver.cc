// The level-wise search after the first scan. T is the dense item type, T1 the
// support type.
#include "engine/level_driver.h"

template <class T, class T1>
void following_scans(int max_tr_len, zax_items& items, int hop) {
  (void)max_tr_len;
  (void)items;
  (void)hop;
}

template void following_scans<std::uint8_t, std::uint8_t>(int, zax_items&, int);
template void following_scans<std::uint8_t, std::uint16_t>(int, zax_items&, int);
template void following_scans<std::uint8_t, std::uint32_t>(int, zax_items&, int);
template void following_scans<std::uint16_t, std::uint8_t>(int, zax_items&, int);
template void following_scans<std::uint16_t, std::uint16_t>(int, zax_items&, int);
template void following_scans<std::uint16_t, std::uint32_t>(int, zax_items&, int);
template void following_scans<std::uint32_t, std::uint8_t>(int, zax_items&, int);
template void following_scans<std::uint32_t, std::uint16_t>(int, zax_items&, int);
template void following_scans<std::uint32_t, std::uint32_t>(int, zax_items&, int);
