#ifndef TARVO_BENCH_ANN_GROUND_TRUTH_H_
#define TARVO_BENCH_ANN_GROUND_TRUTH_H_

#include <string>
#include <vector>

#include "tests/support/fashion_mnist.h"

namespace tarvo_bench {

// The exact top-`depth` base rows of every query (squared L2, or the largest inner products when
// inner_product is set), computed once with the current OpenMP team and kept in cache_dir under a
// file named by `name`, the metric, the sizes, depth and a checksum of the vectors, so that changed
// data never meets an old file.
std::vector<int> CachedGroundTruth(const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries, int depth,
                                   const std::string& cache_dir, const std::string& name, bool inner_product = false);

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_GROUND_TRUTH_H_
