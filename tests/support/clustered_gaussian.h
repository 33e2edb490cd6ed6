#ifndef TARVO_TESTS_SUPPORT_CLUSTERED_GAUSSIAN_H_
#define TARVO_TESTS_SUPPORT_CLUSTERED_GAUSSIAN_H_

#include <cstdint>

#include "tests/support/fashion_mnist.h"

namespace tarvo_test {

// The mixture the synthetic data sets are drawn from: `centres` centres of dim coordinates, each
// coordinate normal with deviation centre_spread, around which rows scatter with unit normal
// noise. The centres follow from centre_seed alone.
struct GaussianMixture {
  int dim = 128;
  int centres = 1000;
  float centre_spread = 1.0f;
  uint64_t centre_seed = 1;
};

// n rows of the mixture, each from a centre chosen uniformly, drawn from row_seed. Rows come in
// blocks with seeds of their own, so the data is the same whatever the OpenMP team size; a
// longer draw with the same seed starts with the rows of a shorter one.
Dataset ClusteredGaussian(const GaussianMixture& mixture, int n, uint64_t row_seed);

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_CLUSTERED_GAUSSIAN_H_
