// Loose anti-monotone constraints on the sample variance (divisor n - 1, needs
// n >= 2) and the mean absolute deviation (needs k = |X| >= 1) of V, the values
// of P ∪ X: "spvgeq", "spvleq", "mdgeq", "mdleq". Decided exactly:
// sample variance >= t is n*Σx² - S² >= t*n*(n-1); mean deviation >= t is
// Σ|n*x - S| >= t*n².
#pragma once

#include "constraints/loose.h"

KESTREL_LOOSE_CLASS(sample_variance_at_least_loose, kSquares)
KESTREL_LOOSE_CLASS(sample_variance_at_most_loose, kSquares)
KESTREL_LOOSE_WHOLE_CLASS(mean_deviation_at_least_loose, )
KESTREL_LOOSE_WHOLE_CLASS(mean_deviation_at_most_loose, )
