#ifndef TARVO_ENGINE_SEARCH_DISTANCE_H_
#define TARVO_ENGINE_SEARCH_DISTANCE_H_

namespace vexa {

// A distance between two float vectors of d components; smaller is closer.
using DistanceFunction = float (*)(const float* a, const float* b, int d);

// Squared Euclidean distance of any length d >= 0.
float DistanceFP32L2(const float* a, const float* b, int d);
// Negated inner product of any length d >= 0.
float DistanceFP32IP(const float* a, const float* b, int d);

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_DISTANCE_H_
