#include "tests/support/clustered_gaussian.h"

#include <algorithm>
#include <random>
#include <vector>

namespace tarvo_test {
namespace {

constexpr int kBlockRows = 4096;  // rows drawn from one block seed

// A seed for block b of the stream `seed`, spread so that neighbouring blocks are unrelated.
uint64_t BlockSeed(uint64_t seed, uint64_t block) {
  uint64_t z = seed * 0x9E3779B97F4A7C15ull + block + 1;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

Dataset ClusteredGaussian(const GaussianMixture& mixture, int n, uint64_t row_seed) {
  const int dim = mixture.dim;
  std::vector<float> centres(static_cast<size_t>(mixture.centres) * dim);
  {
    std::mt19937_64 rng(mixture.centre_seed);
    std::normal_distribution<float> normal(0.0f, mixture.centre_spread);
    for (float& v : centres) v = normal(rng);
  }
  Dataset data;
  data.n = n;
  data.dim = dim;
  data.values.resize(static_cast<size_t>(n) * dim);
  const int blocks = (n + kBlockRows - 1) / kBlockRows;
#pragma omp parallel for schedule(dynamic, 1)
  for (int b = 0; b < blocks; ++b) {
    std::mt19937_64 rng(BlockSeed(row_seed, static_cast<uint64_t>(b)));
    std::uniform_int_distribution<int> pick(0, mixture.centres - 1);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const int end = std::min(n, (b + 1) * kBlockRows);
    for (int i = b * kBlockRows; i < end; ++i) {
      const float* centre = centres.data() + static_cast<size_t>(pick(rng)) * dim;
      float* row = data.values.data() + static_cast<size_t>(i) * dim;
      for (int j = 0; j < dim; ++j) row[j] = centre[j] + noise(rng);
    }
  }
  return data;
}

}  // namespace tarvo_test
