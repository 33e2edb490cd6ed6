#ifndef TARVO_ENGINE_BUILD_SSG_JACCARD_STOP_H_
#define TARVO_ENGINE_BUILD_SSG_JACCARD_STOP_H_

#include <cmath>

namespace vexa {

// Whether a MagicLink iteration whose mean Jaccard similarity of old and new rows is J is the
// last: |J - 1| below 1e-4 (the single-precision constant, widened).
inline bool JaccardConverged(double J) { return std::fabs(J - 1.0) < static_cast<double>(1e-4f); }

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_JACCARD_STOP_H_
