#ifndef TARVO_ENGINE_BUILD_BUILDER_STATE_H_
#define TARVO_ENGINE_BUILD_BUILDER_STATE_H_

#include <cstdint>
#include <string>

#include "engine/search/graph/graph.h"
#include "engine/search/memory/chunk_row.h"

namespace vexa {

// What every builder holds for the index: the graph it built and the vectors it was built from.
// The index reads and writes these fields directly; both builders derive from this one record.
struct BuilderState {
  BuilderState(std::string metric, int dim, int consecutiveLog);
  BuilderState(const BuilderState&) = delete;
  BuilderState& operator=(const BuilderState&) = delete;
  // Releases the chunks and their table when ownsChunks is set.
  ~BuilderState();

  // Points chunks at a table the caller keeps (n vectors, 2^consecutiveLog per chunk), releasing
  // any table this record owned.
  void UseChunks(float** table, int consecutiveLog, int n);
  // The same for a table made with new[] whose chunks were made with new[]: owned from now on.
  void AdoptChunks(float** table, int consecutiveLog, int n);
  // The dim floats of vector i of chunks.
  const float* Row(int64_t i) const { return ChunkRow(chunks, consecutiveLog, dim, i); }

  Graph<int> graph;          // the built or loaded graph, in the caller's row numbers until reordered
  std::string metric;        // metric name, "L2" or "IP"
  int dim;                   // floats per vector
  int nb = 0;                // number of vectors
  float** chunks = nullptr;  // chunk table; the caller's unless ownsChunks
  int consecutiveLog;        // 2^consecutiveLog vectors per chunk
  int quantLevel = 0;        // quantization level of the searcher to build
  bool ownsChunks = false;   // chunks and the table were handed over with AdoptChunks

 private:
  void ReleaseOwnedChunks();
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_BUILDER_STATE_H_
