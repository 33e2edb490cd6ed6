#ifndef TARVO_TESTS_BUILD_HNSW_HNSW_TEST_UTIL_H_
#define TARVO_TESTS_BUILD_HNSW_HNSW_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/build/hnsw/hnsw.h"
#include "tests/support/captured_stdout.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

namespace vexa {

using tarvo_test::OmpThreads;

// What body prints on standard output.
template <typename Body>
std::string CapturePrinted(Body&& body) {
  return CapturedStdout(std::forward<Body>(body));
}

// An HNSW builder built over data (in one chunk) with a team of threads, its lines swallowed (or
// kept in *printed when given). The table must outlive the builder.
inline std::unique_ptr<HNSW> BuildHnsw(const tarvo_test::Dataset& data, std::vector<float*>& table, size_t M,
                                       size_t ef_construction, int threads, const std::string& metric = "L2",
                                       std::string* printed = nullptr) {
  table = tarvo_test::MakeChunkTable(data, 20);
  std::unique_ptr<HNSW> hnsw;
  const std::string text = CapturePrinted([&] {
    hnsw = std::make_unique<HNSW>(metric, data.dim, M, ef_construction);
    OmpThreads team(threads);
    hnsw->Build(table.data(), 20, data.n);
  });
  if (printed != nullptr) *printed = text;
  return hnsw;
}

// A reorder worker for L2 vectors of dim floats in the chunk table (2^consecutive_log per chunk).
inline GraphReorderWorker L2ReorderWorker(float** chunks, int consecutive_log, int dim) {
  GraphReorderWorker worker;
  worker.distFn = DistanceFP32L2;
  worker.chunks = chunks;
  worker.metric = "L2";
  worker.consecutiveLog = consecutive_log;
  worker.dim = dim;
  return worker;
}

// The first count values of the HNSW level generator: the minimal standard generator from seed
// 100, two steps x1, x2 per value, s = (x1 - 1) + (x2 - 1) x 2147483646 fused, and s times the
// double nearest 1 / 2147483646^2 (s never reaches 2147483646^2, which would give the largest
// double below 1). A product, not the quotient of the standard library's canonical reals, which
// differs in the last bit now and then.
inline std::vector<double> ExpectedUniforms(int count) {
  std::minstd_rand0 rng(100);
  std::vector<double> values;
  for (int i = 0; i < count; ++i) {
    const double x1 = static_cast<double>(rng() - 1);
    const double x2 = static_cast<double>(rng() - 1);
    values.push_back(std::fma(x2, 2147483646.0, x1) * 2.1684043490099767e-19);
  }
  return values;
}

// The levels that the HNSW level draw gives its first count nodes with the given M.
inline std::vector<int> ExpectedLevels(size_t M, int count) {
  std::vector<int> levels;
  for (const double u : ExpectedUniforms(count)) {
    levels.push_back(static_cast<int>(-std::log(u) * (1 / std::log(static_cast<double>(M)))));
  }
  return levels;
}

}  // namespace vexa

#endif  // TARVO_TESTS_BUILD_HNSW_HNSW_TEST_UTIL_H_
