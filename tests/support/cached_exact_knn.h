#ifndef TARVO_TESTS_SUPPORT_CACHED_EXACT_KNN_H_
#define TARVO_TESTS_SUPPORT_CACHED_EXACT_KNN_H_

#include <cstdint>
#include <vector>

#include "tests/support/fashion_mnist.h"

namespace tarvo_test {

// ExactKnn(base, queries, k, inner_product), kept in a file of the build tree's test cache so
// that later test processes read it instead of recomputing it. The file is named and headed by
// the sizes, k, the metric and a checksum of the vectors, so changed data never meets an old
// file; processes that ask for the same result at once compute it once, under a file lock. When
// the cache cannot be read or written the result is computed as without it.
std::vector<int> CachedExactKnn(const Dataset& base, const Dataset& queries, int k, bool inner_product);

// FNV-1a over the size and the bytes of the vectors, continuing from hash: what names a cache
// file after the data it was computed from.
uint64_t DatasetChecksum(const Dataset& data, uint64_t hash = 14695981039346656037ull);

// ExactKnnGraph(base, k, inner_product), cached the same way.
std::vector<int> CachedExactKnnGraph(const Dataset& base, int k, bool inner_product);

}  // namespace tarvo_test

#endif  // TARVO_TESTS_SUPPORT_CACHED_EXACT_KNN_H_
