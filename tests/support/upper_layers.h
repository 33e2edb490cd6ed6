#ifndef TARVO_TESTS_SUPPORT_UPPER_LAYERS_H_
#define TARVO_TESTS_SUPPORT_UPPER_LAYERS_H_

#include <algorithm>
#include <vector>

#include "engine/search/graph/graph.h"

namespace vexa {

// Installs upper layers of k ids per level on graph, with entry node ep and one list per node;
// each node's level is its list's length divided by k.
inline void InstallUpperLayers(Graph<int>* graph, int k, int ep, const std::vector<std::vector<int>>& lists) {
  graph->hnsw1pgraph = Hnsw1pGraph::Create(*graph);
  Hnsw1pGraph& layers = *graph->hnsw1pgraph;
  layers.K = k;
  layers.ep = ep;
  for (size_t i = 0; i < lists.size(); ++i) {
    layers.nodeLevels[i] = static_cast<int>(lists[i].size()) / k;
    if (lists[i].empty()) continue;
    layers.lists[i].Assign(lists[i].size(), -1);
    std::copy(lists[i].begin(), lists[i].end(), layers.lists[i].data());
  }
}

}  // namespace vexa

#endif  // TARVO_TESTS_SUPPORT_UPPER_LAYERS_H_
