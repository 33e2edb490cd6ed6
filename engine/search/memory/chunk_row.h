#ifndef TARVO_ENGINE_SEARCH_MEMORY_CHUNK_ROW_H_
#define TARVO_ENGINE_SEARCH_MEMORY_CHUNK_ROW_H_

#include <cstdint>

namespace vexa {

// Vector i of a chunk table that holds 2^consecutiveLog vectors of dim floats per chunk: vector
// i is at chunks[i >> consecutiveLog] + (i mod 2^consecutiveLog) x dim.
inline const float* ChunkRow(const float* const* chunks, int consecutiveLog, int dim, int64_t i) {
  const int64_t mask = (int64_t{1} << consecutiveLog) - 1;
  return chunks[i >> consecutiveLog] + (i & mask) * dim;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_CHUNK_ROW_H_
