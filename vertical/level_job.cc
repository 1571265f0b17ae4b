// The choice of a level's join policy. T is the dense item type, T1 the
// support type.
#include "vertical/level_job.h"

#include <utility>

#include "util/widths.h"
#include "vertical/bit_matrix_join.h"
#include "vertical/key_pattern_level.h"
#include "vertical/tid_list_join.h"

template <class T, class T1>
std::uint64_t level_job<T, T1>::build_next() {
  // The level built last becomes the one joined.
  if (built_any_) {
    std::swap(previous_, next_);
    windows_.advance();
  }
  built_any_ = true;
  if (kernel_ == level_kernel::key_patterns)
    build_key_pattern_level(*this);
  else if (data_.uses_lists)
    build_tid_list_level(*this, kernel_ == level_kernel::compact ? "zaxd" : "zaxs");
  else
    build_bit_matrix_level(*this, kernel_ == level_kernel::diffuse);
  ++k_;
  return windows_.built_itemsets(*next_);
}

#define KESTREL_INSTANTIATE(T, T1) template class level_job<T, T1>;
KESTREL_FOR_EACH_WIDTH_PAIR(KESTREL_INSTANTIATE)
#undef KESTREL_INSTANTIATE
