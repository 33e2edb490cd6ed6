// The graph section of the index blob alone. A section that loads must be written back byte for
// byte as it was read, read again, and be searchable over vectors of our own.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/search/graph/graph.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "fuzz/fuzz_search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::Graph<int> graph;
  size_t length = size;
  size_t offset = 0;
  if (graph.LoadFromMem(data, &length, &offset) != 0) return 0;
  tarvo_fuzz::Require(offset <= size, "the section read past the blob");

  std::vector<uint8_t> written(graph.GetDataSize(), 0);
  size_t written_length = written.size();
  size_t written_offset = 0;
  tarvo_fuzz::Require(graph.SaveToMem(written.data(), &written_length, &written_offset) == 0, "write failed");
  tarvo_fuzz::Require(written_offset == offset && written_offset + 4 == written.size(),
                      "the written section differs in length from the one read");
  tarvo_fuzz::Require(std::memcmp(written.data(), data, offset) == 0, "the written section differs from the one read");
  vexa::Graph<int> again;
  size_t again_offset = 0;
  tarvo_fuzz::Require(again.LoadFromMem(written.data(), &written_length, &again_offset) == 0,
                      "the written section does not load");

  // Three floats per row, a function of the row, in chunks of four rows.
  constexpr int kDim = 3;
  constexpr int kLog = 2;
  const int n = graph.N;
  std::vector<float> vectors(static_cast<size_t>(n) * kDim);
  for (size_t i = 0; i < vectors.size(); ++i) vectors[i] = static_cast<float>((i * 7919) % 61) * 0.25f;
  std::vector<float*> chunks;
  for (int first = 0; first < n; first += 1 << kLog) chunks.push_back(vectors.data() + first * kDim);
  const uint32_t seed = size > 0 ? data[size - 1] : 0;
  auto searcher = vexa::MakeGraphSearcher(graph, seed & 2 ? "IP" : "L2", seed & 4 ? "SQ8U" : "FP32");
  searcher->Build(chunks.data(), kLog, n, kDim);
  tarvo_fuzz::CheckSearches(searcher.get(), n, kDim, seed);
  return 0;
}
