#ifndef TARVO_ENGINE_SEARCH_QUANT_MAX_ABS_SCALE_H_
#define TARVO_ENGINE_SEARCH_QUANT_MAX_ABS_SCALE_H_

#include <cmath>

#include "engine/search/quant/scalar_rounding.h"

namespace vexa {

// The calibration of the inner-product scalar codes: one scale for all components, the largest
// magnitude of any component of any indexed vector.
class MaxAbsScale {
 public:
  // Raises scale to every |x| of n rows of d floats in turn (a NaN component leaves it as it is).
  void Fit(const float* rows, int n, int d);

  // x / scale clamped to [-1, 1]; a NaN ratio (0 / 0 when every vector is zero) gives -1.
  float Ratio(float x) const { return Clamp(x / scale, -1.0f, 1.0f); }

  float scale = -INFINITY;  // -inf until a component is seen
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_MAX_ABS_SCALE_H_
