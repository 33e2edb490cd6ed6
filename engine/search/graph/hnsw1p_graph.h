#ifndef TARVO_ENGINE_SEARCH_GRAPH_HNSW1P_GRAPH_H_
#define TARVO_ENGINE_SEARCH_GRAPH_HNSW1P_GRAPH_H_

#include <memory>
#include <vector>

#include "engine/search/memory/aligned_vector.h"

namespace vexa {

template <typename T>
class Graph;

// The upper layers of an HNSW graph. Node i lives on levels 1 to nodeLevels[i]; its level l
// occupies positions [(l - 1) x K, l x K) of lists[i], with -1 in empty slots.
struct Hnsw1pGraph {
  // Empty upper layers for every node of graph: K 0, ep -1, all levels 0, all lists empty.
  // Throws std::length_error when graph.N exceeds what the tables can hold.
  static std::unique_ptr<Hnsw1pGraph> Create(const Graph<int>& graph);

  int N = 0;   // number of nodes; equals the graph's N
  int K = 0;   // ids per level of one node
  int ep = -1; // entry node of the top level, -1 for none
  std::vector<int> nodeLevels;        // N entries: the top level of each node
  std::vector<AlignedVector> lists;   // N entries: nodeLevels[i] x K ids each
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_GRAPH_HNSW1P_GRAPH_H_
