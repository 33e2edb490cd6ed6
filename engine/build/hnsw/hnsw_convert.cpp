#include <cstring>
#include <memory>
#include <utility>

#include "engine/build/hnsw/hnsw.h"

namespace vexa {
namespace {

// The count of a list, read as the whole signed header word.
int32_t HeaderCount(const uint32_t* header) {
  int32_t count;
  std::memcpy(&count, header, sizeof(count));
  return count;
}

}  // namespace

void HNSW::CopyLevel0() {
  const int n = nb;
  const auto K = static_cast<size_t>(graph.K);
#pragma omp parallel for schedule(static)
  for (int j = 0; j < n; ++j) {
    const uint32_t* header = LinkList(static_cast<uint32_t>(j), 0);
    int* row = graph.neighbors + LabelOf(static_cast<size_t>(j)) * K;
    const int32_t count = HeaderCount(header);
    for (int32_t k = 0; k < count; ++k) row[k] = static_cast<int>(LabelOf(header[1 + k]));
  }
}

void HNSW::CopyUpperLayers() {
  std::unique_ptr<Hnsw1pGraph> layers = Hnsw1pGraph::Create(graph);
  layers->K = static_cast<int>(maxM_);
  layers->ep = static_cast<int>(LabelOf(static_cast<size_t>(entryNode_.load())));
  for (size_t j = 0; j < static_cast<size_t>(nb); ++j) {
    const size_t row = LabelOf(j);
    const int levels = nodeLevels_[j];
    layers->nodeLevels[row] = levels;
    if (levels < 1) continue;
    AlignedVector& list = layers->lists[row];
    list.Assign(static_cast<size_t>(levels) * maxM_, -1);
    for (int l = 1; l <= levels; ++l) {
      const uint32_t* header = LinkList(static_cast<uint32_t>(j), l);
      int* slots = list.data() + static_cast<size_t>(l - 1) * maxM_;
      const int32_t count = HeaderCount(header);
      for (int32_t k = 0; k < count; ++k) slots[k] = static_cast<int>(LabelOf(header[1 + k]));
    }
  }
  graph.hnsw1pgraph = std::move(layers);
}

}  // namespace vexa
