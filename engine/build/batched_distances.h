#ifndef TARVO_ENGINE_BUILD_BATCHED_DISTANCES_H_
#define TARVO_ENGINE_BUILD_BATCHED_DISTANCES_H_

#include <algorithm>

#include "engine/search/quant/distance.h"

namespace vexa {

// Calls store(i, many(query, rowAt(i))) for i = 0 .. count - 1 in order: the distances of query
// to count vectors of dim floats, computed by the many-vector form, up to 64 vectors per call.
template <typename RowAt, typename Store>
void BatchedDistances(DistanceManyFunction many, int dim, const float* query, int count, RowAt&& rowAt,
                      Store&& store) {
  constexpr int kBatch = 64;
  const float* rows[kBatch];
  float out[kBatch];
  for (int start = 0; start < count; start += kBatch) {
    const int n = std::min(kBatch, count - start);
    for (int i = 0; i < n; ++i) rows[i] = rowAt(start + i);
    many(query, rows, n, out, dim);
    for (int i = 0; i < n; ++i) store(start + i, out[i]);
  }
}

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_BATCHED_DISTANCES_H_
