#ifndef TARVO_ENGINE_SEARCH_QUANT_KERNELS_HALF_DIFFERENCE_H_
#define TARVO_ENGINE_SEARCH_QUANT_KERNELS_HALF_DIFFERENCE_H_

#include "engine/search/memory/half.h"

namespace vexa {

// a - b rounded to the nearest half-precision value (ties to even), overflowing to +-inf, as
// a half-precision subtraction gives it. The single-precision difference of two halves is
// rounded once to 24 bits and then to 11; rounding twice is harmless when the first precision
// holds at least twice the second plus two bits (24 >= 2 x 11 + 2), so the result is the
// correctly rounded half difference. That float difference is never subnormal (halves are
// multiples of 2^-24), so flushing subnormals to zero does not change it either.
inline Half HalfDifference(Half a, Half b) { return FloatToHalf(HalfToFloat(a) - HalfToFloat(b)); }

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_KERNELS_HALF_DIFFERENCE_H_
