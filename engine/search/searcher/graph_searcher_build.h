#ifndef TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BUILD_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BUILD_H_

// GraphSearcher::Build: the private copy in graph order, calibration and encoding, each in the
// calling thread's OpenMP team, after which the copy is released.

#include <chrono>
#include <cstdio>
#include <cstring>

#include "engine/search/memory/chunk_row.h"
#include "engine/search/searcher/graph_searcher.h"

namespace vexa {

template <typename Q, typename RQ>
template <typename Quantizer>
void GraphSearcher<Q, RQ>::CalibrateAndEncode(Quantizer* quantizer, const float* rows, int count, int width) {
  quantizer->Calibrate(rows, count);
  quantizer->AllocateCodes();
  // Each row's code depends on the row and the calibration alone.
#pragma omp parallel for schedule(static)
  for (int r = 0; r < count; ++r) {
    quantizer->EncodeRow(rows + static_cast<size_t>(r) * width, quantizer->codes + r * quantizer->code_size);
  }
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::Build(float** source_chunks, int source_log, int count, int dimension) {
  dim = dimension;
  nb = count;
  consecutiveLog = source_log;
  std::printf("Processing Graph reordering.\n");

  // One allocation of the nb rows, which the chunk table divides; the last chunk holds only the
  // rows there are, so that a large consecutiveLog over few rows sizes nothing beyond them.
  // Private row r holds caller row true_order[r], so the copy is in the order of the codes.
  const size_t rows = nb > 0 ? static_cast<size_t>(nb) : 0;
  const size_t width = dim > 0 ? static_cast<size_t>(dim) : 0;
  const size_t per_chunk = size_t{1} << consecutiveLog;
  const size_t chunk_count = (rows + per_chunk - 1) >> consecutiveLog;
  data.reset(static_cast<float*>(AllocAlignedOrThrow(rows * width * sizeof(float))));
  chunks.reset(new float*[chunk_count]);
  for (size_t c = 0; c < chunk_count; ++c) chunks[c] = data.get() + c * per_chunk * width;
  // rev_order is a permutation, so every private row is written by one iteration.
#pragma omp parallel for schedule(static)
  for (size_t i = 0; i < rows; ++i) {
    const float* source = ChunkRow(source_chunks, consecutiveLog, static_cast<int>(width), static_cast<int64_t>(i));
    std::memcpy(data.get() + static_cast<size_t>(graph.rev_order[i]) * width, source, width * sizeof(float));
  }

  const auto start = std::chrono::system_clock::now();
  quant = Q(dim);
  CalibrateAndEncode(&quant, data.get(), nb, dim);
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now() - start);
  std::printf("Done basic quantizer training, cost %.2lfs\n", static_cast<double>(elapsed.count()) * 1e-9);

  if (refine_param > 0) {
    refine_quant = RQ(dim);
    CalibrateAndEncode(&refine_quant, data.get(), nb, dim);
  }
  // Searches read the codes alone: the private copy and its table are dead from here on.
  chunks.reset();
  data.reset();
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BUILD_H_
