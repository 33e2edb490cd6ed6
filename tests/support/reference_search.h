#ifndef TARVO_TESTS_SUPPORT_REFERENCE_SEARCH_H_
#define TARVO_TESTS_SUPPORT_REFERENCE_SEARCH_H_

#include <cstdint>

#include "engine/search/graph/graph.h"
#include "tests/support/fashion_mnist.h"

namespace tarvo_test {

// A plain best-first search of graph over the float rows of base (squared L2), written without
// the engine's pool, kernels or visited set so that it can judge them: a greedy walk down the
// upper layers from their entry (or from the first entry point, else node 0), then on the base
// layer a frontier of candidates nearest first and a result set of the ef nearest seen, ending
// when the nearest candidate is farther than the farthest result of a full set. Writes the k
// nearest results' row numbers (true_order) into labels, -1 past the results found.
void ReferenceSearch(const vexa::Graph<int>& graph, const Dataset& base, const float* query, int k, int ef,
                     int64_t* labels);

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_REFERENCE_SEARCH_H_
