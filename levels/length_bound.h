// The length bound of written itemsets ("lenleq"), as the levels ask it.
#pragma once

#include "constraints/constraint.h"

// True when an itemset of k items beyond the prefix items may be written (and
// mined): no "lenleq" bound, or one that k does not exceed.
inline bool level_allowed(int k) {
  return GLOBAL_MAXIMUM_LENGTH == -1 || (GLOBAL_MAXIMUM_LENGTH >= 0 && k <= GLOBAL_MAXIMUM_LENGTH);
}
