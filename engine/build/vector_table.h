#ifndef TARVO_ENGINE_BUILD_VECTOR_TABLE_H_
#define TARVO_ENGINE_BUILD_VECTOR_TABLE_H_

#include <cmath>
#include <cstdint>

#include "engine/build/batched_distances.h"
#include "engine/search/memory/chunk_row.h"
#include "engine/search/memory/prefetch.h"
#include "engine/search/quant/distance.h"

namespace vexa {

// The build's view of the caller's vectors: a chunk table of 2^consecutiveLog vectors per chunk
// and the distance function of the metric, resolved to its kernel once (with its many-vector
// form). It owns nothing.
class VectorTable {
 public:
  VectorTable(float** chunks, int consecutiveLog, int dim, DistanceFunction distFn)
      : chunks_(chunks),
        consecutiveLog_(consecutiveLog),
        dim_(dim),
        distFn_(ResolveDistance(distFn)),
        many_(ResolveDistanceMany(distFn)) {}

  // The dim floats of vector i.
  const float* Row(int64_t i) const { return ChunkRow(chunks_, consecutiveLog_, dim_, i); }
  // Asks for every cache line of vector i, for a read that comes soon: changes no result.
  void PrefetchRow(int64_t i) const {
    const float* row = Row(i);
    const uintptr_t start = reinterpret_cast<uintptr_t>(row) & ~uintptr_t{63};
    const uintptr_t end = reinterpret_cast<uintptr_t>(row + dim_);
    const int lines = static_cast<int>((end - start + 63) / 64);
    for (int done = 0; done < lines; done += static_cast<int>(kMaxPrefetchLines)) {
      PrefetchLines(reinterpret_cast<const void*>(start + 64u * static_cast<unsigned>(done)), lines - done);
    }
  }
  // distFn(query, vector id).
  float Distance(const float* query, int64_t id) const { return distFn_(query, Row(id), dim_); }
  // distFn(vector a, vector b).
  float Distance(int64_t a, int64_t b) const { return distFn_(Row(a), Row(b), dim_); }
  // Calls store(i, Distance(query, idAt(i))) for i = 0 .. count - 1 in order, with the same bits
  // as Distance, the distances computed several vectors at a time (one by one for a distance
  // function without a many-vector form).
  template <typename IdAt, typename Store>
  void Distances(const float* query, int count, IdAt&& idAt, Store&& store) const {
    if (many_ == nullptr) {
      for (int i = 0; i < count; ++i) store(i, distFn_(query, Row(idAt(i)), dim_));
      return;
    }
    BatchedDistances(many_, dim_, query, count, [&](int i) { return Row(idAt(i)); }, store);
  }
  // The first of vectors 0 .. n - 1 that holds a value that is not finite, or -1 when there is
  // none. Vectors of null chunks are skipped.
  int64_t FirstNonFinite(int64_t n) const {
    for (int64_t i = 0; i < n; ++i) {
      if (chunks_[i >> consecutiveLog_] == nullptr) continue;
      const float* row = Row(i);
      for (int c = 0; c < dim_; ++c) {
        if (!std::isfinite(row[c])) return i;
      }
    }
    return -1;
  }

 private:
  float** chunks_;  // the caller's
  int consecutiveLog_;
  int dim_;
  DistanceFunction distFn_;
  DistanceManyFunction many_;  // null for a distance function of the caller's own
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_VECTOR_TABLE_H_
