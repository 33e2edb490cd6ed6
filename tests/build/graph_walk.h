#ifndef TARVO_TESTS_BUILD_GRAPH_WALK_H_
#define TARVO_TESTS_BUILD_GRAPH_WALK_H_

#include <vector>

#include "engine/search/graph/graph.h"

namespace vexa {

// The ids of row i of a graph up to its first -1.
inline std::vector<int> PackedRow(const Graph<int>& graph, int i) {
  std::vector<int> ids;
  for (int j = 0; j < graph.K && graph.neighbors[static_cast<size_t>(i) * graph.K + j] != -1; ++j) {
    ids.push_back(graph.neighbors[static_cast<size_t>(i) * graph.K + j]);
  }
  return ids;
}

// The number of nodes that a walk over the packed rows of graph reaches from s, s included.
inline int ReachableCount(const Graph<int>& graph, int s) {
  std::vector<bool> seen(graph.N, false);
  std::vector<int> stack = {s};
  seen[s] = true;
  int count = 1;
  while (!stack.empty()) {
    const int u = stack.back();
    stack.pop_back();
    for (const int v : PackedRow(graph, u)) {
      if (!seen[v]) {
        seen[v] = true;
        ++count;
        stack.push_back(v);
      }
    }
  }
  return count;
}

}  // namespace vexa

#endif  // TARVO_TESTS_BUILD_GRAPH_WALK_H_
