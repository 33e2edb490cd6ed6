#ifndef TARVO_ENGINE_BUILD_SSG_ANGLE_RULE_H_
#define TARVO_ENGINE_BUILD_SSG_ANGLE_RULE_H_

#include <cmath>

namespace vexa {

// The cosine of the pruning angle A (degrees): A / 180 is formed in single precision, the
// cosine in double precision. 0.49999997f for A = 60.
inline float AngleThreshold(float A) {
  return static_cast<float>(std::cos(static_cast<double>(A * 0.0055555557f) * 3.141592653589793));
}

// The cosine of the angle at a node q between its neighbours r and p, from the distances
// q-r, q-p and r-p (exact for squared L2): sums in single, root and quotient in double precision.
inline float AngleCosine(float rDistance, float pDistance, float djk) {
  const float numerator = ((rDistance + pDistance) - djk) * 0.5f;
  return static_cast<float>(static_cast<double>(numerator) / std::sqrt(static_cast<double>(rDistance * pDistance)));
}

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_ANGLE_RULE_H_
