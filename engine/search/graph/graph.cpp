#include "engine/search/graph/graph.h"

#include <algorithm>

namespace vexa {

std::unique_ptr<Hnsw1pGraph> Hnsw1pGraph::Create(const Graph<int>& graph) {
  auto layers = std::make_unique<Hnsw1pGraph>();
  layers->N = graph.N;
  // Sized by construction so that a negative or oversized N raises the standard length error.
  layers->nodeLevels = std::vector<int>(static_cast<size_t>(static_cast<int64_t>(graph.N)), 0);
  layers->lists = std::vector<AlignedVector>(static_cast<size_t>(static_cast<int64_t>(graph.N)));
  return layers;
}

template <>
void Graph<int>::ReorderInPlace() {
  std::printf("[Graph] In-place rebuilding graph and eps, N:%d, K:%d, #eps:%d\n", N, K,
              static_cast<int>(eps.size()));
  const size_t slots = static_cast<size_t>(N) * static_cast<size_t>(K);
  std::vector<int> table(slots, -1);
  for (int i = 0; i < N; ++i) {
    const int* old_row = neighbors + static_cast<size_t>(true_order[i]) * K;
    int* new_row = table.data() + static_cast<size_t>(i) * K;
    for (int s = 0; s < K && old_row[s] != -1; ++s) new_row[s] = rev_order[old_row[s]];
  }
  std::copy(table.begin(), table.end(), neighbors);
  table = std::vector<int>();
  for (int& e : eps) e = rev_order[e];

  if (!hnsw1pgraph) return;
  const Hnsw1pGraph& old_layers = *hnsw1pgraph;
  std::printf("[Graph] In-place rebuilding hnsw1pgraph, N:%d, K:%d, ep:%d\n", old_layers.N, old_layers.K,
              old_layers.ep);
  auto layers = Hnsw1pGraph::Create(*this);
  layers->N = old_layers.N;
  layers->K = old_layers.K;
  const size_t width = static_cast<size_t>(old_layers.K);
  for (int i = 0; i < N; ++i) {
    const int o = true_order[i];
    const int levels = old_layers.nodeLevels[o];
    layers->nodeLevels[i] = levels;
    if (levels <= 0) continue;
    AlignedVector& list = layers->lists[i];
    const AlignedVector& old_list = old_layers.lists[o];
    list.Assign(width * levels, -1);
    for (size_t p = 0; p < width * levels; ++p) {
      const int id = old_list[p];
      list[p] = id == -1 ? -1 : rev_order[id];
    }
  }
  layers->ep = old_layers.ep == -1 ? -1 : rev_order[old_layers.ep];
  hnsw1pgraph = std::move(layers);
}

template class Graph<int>;

}  // namespace vexa
