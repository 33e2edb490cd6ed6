#ifndef TARVO_TESTS_SUPPORT_EXACT_KNN_H_
#define TARVO_TESTS_SUPPORT_EXACT_KNN_H_

#include <cstdint>
#include <vector>

#include "tests/support/fashion_mnist.h"

namespace tarvo_test {

// Exact k nearest base rows of every query, nearest first, by brute force in double precision:
// squared L2, or the negated inner product when inner_product is set. nq x k ids.
std::vector<int> ExactKnn(const Dataset& base, const Dataset& queries, int k, bool inner_product);

// The exact k-NN graph of base: every row's k nearest other rows, nearest first. n x k ids.
std::vector<int> ExactKnnGraph(const Dataset& base, int k, bool inner_product);

// Mean fraction of the first k true neighbours found among the first k results of each query.
// found holds nq rows of found_stride labels, truth nq rows of truth_stride ids.
double RecallAtK(const int64_t* found, int found_stride, const std::vector<int>& truth, int truth_stride,
                 int nq, int k);

// A chunk table over contiguous rows: chunk c starts at row c << consecutive_log.
std::vector<float*> MakeChunkTable(const Dataset& data, int consecutive_log);

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_EXACT_KNN_H_
