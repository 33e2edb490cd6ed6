#include "engine/build/huge_page_vectors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/search/memory/chunk_row.h"

namespace vexa {

HugePageVectors::HugePageVectors(float** source, int consecutiveLog, int n, int dim) {
  const size_t rows = n > 0 ? static_cast<size_t>(n) : 0;
  const size_t width = dim > 0 ? static_cast<size_t>(dim) : 0;
  block_.reset(static_cast<float*>(AllocAlignedOrThrow(ArrayBytesOrThrow(rows * width, sizeof(float)))));
  const size_t perChunk = size_t{1} << consecutiveLog;
  for (size_t first = 0; first < rows; first += perChunk) table_.push_back(block_.get() + first * width);
  float* block = block_.get();
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < static_cast<int64_t>(rows); ++i) {
    const float* row = ChunkRow(source, consecutiveLog, dim, i);
    std::memcpy(block + static_cast<size_t>(i) * width, row, width * sizeof(float));
  }
}

}  // namespace vexa
