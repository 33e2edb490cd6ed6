#include "engine/build/sample_distinct_ids.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vexa {

void SampleDistinctIds(std::mt19937& rng, int* out, int n, int N) {
  if (n < 0 || n >= N) {
    throw std::invalid_argument("SampleDistinctIds: cannot draw " + std::to_string(n) + " distinct ids of " +
                                std::to_string(N));
  }
  const uint32_t span = static_cast<uint32_t>(N - n);
  for (int j = 0; j < n; ++j) out[j] = static_cast<int>(rng() % span);
  std::sort(out, out + n);
  for (int j = 1; j < n; ++j) {
    if (out[j] <= out[j - 1]) out[j] = out[j - 1] + 1;
  }
  const int64_t shift = rng() % static_cast<uint32_t>(N);
  for (int j = 0; j < n; ++j) out[j] = static_cast<int>((out[j] + shift) % N);
}

}  // namespace vexa
