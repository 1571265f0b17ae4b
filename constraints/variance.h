// Loose anti-monotone constraints on the population variance and the standard
// deviation of V (the values of P ∪ X): "vargeq", "varleq", "stdgeq", "stdleq".
// All need n >= 1. Decided exactly: with D = n*Σx² - S², variance = D / n², so
// variance >= t is D >= t*n², and std >= t (t > 0) is D >= t²*n².
#pragma once

#include "constraints/loose.h"

KESTREL_LOOSE_CLASS(variance_at_least_loose, kSquares)
KESTREL_LOOSE_CLASS(variance_at_most_loose, kSquares)
KESTREL_LOOSE_CLASS(std_dev_at_least_loose, kSquares)
KESTREL_LOOSE_CLASS(std_dev_at_most_loose, kSquares)
