#ifndef TARVO_TESTS_SUPPORT_CENTERED_UNIT_ROWS_H_
#define TARVO_TESTS_SUPPORT_CENTERED_UNIT_ROWS_H_

#include <cmath>
#include <vector>

#include "tests/support/fashion_mnist.h"

namespace tarvo_test {

// Scales every row to unit length (a zero row stays zero): the inner-product neighbours of unit
// rows are their cosine neighbours, and also their squared-L2 neighbours.
inline void NormalizeRows(Dataset* data) {
  for (int i = 0; i < data->n; ++i) {
    float* row = &data->values[static_cast<size_t>(i) * data->dim];
    double norm = 0.0;
    for (int j = 0; j < data->dim; ++j) norm += static_cast<double>(row[j]) * row[j];
    const float scale = norm > 0.0 ? static_cast<float>(1.0 / std::sqrt(norm)) : 0.0f;
    for (int j = 0; j < data->dim; ++j) row[j] *= scale;
  }
}

// Centres base and queries on the mean base row and scales every row to unit length. The
// components of such rows spread on both sides of zero, as the 8-bit and 4-bit inner-product
// codes expect (pixel values alone would use half of their range).
inline void CenterAndNormalize(Dataset* base, Dataset* queries) {
  std::vector<double> mean(base->dim, 0.0);
  for (int i = 0; i < base->n; ++i) {
    for (int j = 0; j < base->dim; ++j) mean[j] += base->row(i)[j];
  }
  for (double& m : mean) m /= base->n;
  for (Dataset* data : {base, queries}) {
    for (int i = 0; i < data->n; ++i) {
      float* row = &data->values[static_cast<size_t>(i) * data->dim];
      for (int j = 0; j < data->dim; ++j) row[j] = static_cast<float>(row[j] - mean[j]);
    }
    NormalizeRows(data);
  }
}

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_CENTERED_UNIT_ROWS_H_
