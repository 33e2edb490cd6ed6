#ifndef TARVO_ENGINE_BUILD_SAMPLE_DISTINCT_IDS_H_
#define TARVO_ENGINE_BUILD_SAMPLE_DISTINCT_IDS_H_

#include <random>

namespace vexa {

// Writes n distinct node ids of [0, N) into out[0 .. n-1] with exactly n + 1 draws from rng:
// n draws mod (N - n), sorted and spread apart, then rotated by one draw mod N. The ids come out
// ascending, rotated at the shift. Throws std::invalid_argument unless 0 <= n < N.
void SampleDistinctIds(std::mt19937& rng, int* out, int n, int N);

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SAMPLE_DISTINCT_IDS_H_
