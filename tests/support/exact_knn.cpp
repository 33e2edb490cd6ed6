#include "tests/support/exact_knn.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>
#include <utility>

namespace tarvo_test {
namespace {

double Distance(const float* a, const float* b, int dim, bool inner_product) {
  double sum = 0.0;
  for (int j = 0; j < dim; ++j) {
    if (inner_product) {
      sum -= static_cast<double>(a[j]) * b[j];
    } else {
      const double diff = static_cast<double>(a[j]) - b[j];
      sum += diff * diff;
    }
  }
  return sum;
}

// The k nearest base rows of query, skipping row `skip` (-1 for none).
void Nearest(const Dataset& base, const float* query, int k, bool inner_product, int skip, int* out) {
  std::vector<std::pair<double, int>> scored;
  scored.reserve(base.n);
  for (int i = 0; i < base.n; ++i) {
    if (i != skip) scored.emplace_back(Distance(query, base.row(i), base.dim, inner_product), i);
  }
  const int kept = std::min<int>(k, static_cast<int>(scored.size()));
  std::partial_sort(scored.begin(), scored.begin() + kept, scored.end());
  for (int j = 0; j < k; ++j) out[j] = j < kept ? scored[j].second : -1;
}

}  // namespace

std::vector<int> ExactKnn(const Dataset& base, const Dataset& queries, int k, bool inner_product) {
  std::vector<int> result(static_cast<size_t>(queries.n) * k);
#pragma omp parallel for schedule(dynamic, 16)
  for (int q = 0; q < queries.n; ++q) {
    Nearest(base, queries.row(q), k, inner_product, -1, result.data() + static_cast<size_t>(q) * k);
  }
  return result;
}

std::vector<int> ExactKnnGraph(const Dataset& base, int k, bool inner_product) {
  std::vector<int> result(static_cast<size_t>(base.n) * k);
#pragma omp parallel for schedule(dynamic, 16)
  for (int i = 0; i < base.n; ++i) {
    Nearest(base, base.row(i), k, inner_product, i, result.data() + static_cast<size_t>(i) * k);
  }
  return result;
}

double RecallAtK(const int64_t* found, int found_stride, const std::vector<int>& truth, int truth_stride,
                 int nq, int k) {
  size_t hits = 0;
  for (int q = 0; q < nq; ++q) {
    std::unordered_set<int64_t> expected(truth.begin() + static_cast<size_t>(q) * truth_stride,
                                         truth.begin() + static_cast<size_t>(q) * truth_stride + k);
    for (int j = 0; j < k; ++j) hits += expected.count(found[static_cast<size_t>(q) * found_stride + j]);
  }
  return nq == 0 ? 0.0 : static_cast<double>(hits) / (static_cast<double>(nq) * k);
}

std::vector<float*> MakeChunkTable(const Dataset& data, int consecutive_log) {
  const size_t per_chunk = size_t{1} << consecutive_log;
  const size_t count = (static_cast<size_t>(data.n) + per_chunk - 1) / per_chunk;
  std::vector<float*> chunks(count);
  float* base = const_cast<float*>(data.values.data());
  for (size_t c = 0; c < count; ++c) chunks[c] = base + c * per_chunk * data.dim;
  return chunks;
}

}  // namespace tarvo_test
