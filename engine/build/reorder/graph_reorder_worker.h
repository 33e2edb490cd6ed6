#ifndef TARVO_ENGINE_BUILD_REORDER_GRAPH_REORDER_WORKER_H_
#define TARVO_ENGINE_BUILD_REORDER_GRAPH_REORDER_WORKER_H_

#include <string>
#include <utility>
#include <vector>

#include "engine/search/graph/graph.h"
#include "engine/search/memory/chunk_row.h"
#include "engine/search/quant/distance.h"

namespace vexa {

// Renumbers a built graph so that nodes close in the graph get close numbers: the graph is
// cleaned, a minimum spanning forest of its links (weighted by vector distance) is taken, and the
// nodes are numbered by a depth-first walk of the forest that enters the heaviest subtree first.
// A plain record that the index fills before the call.
struct GraphReorderWorker {
  // Per node: its forest neighbours with the weights of the edges to them.
  using Forest = std::vector<std::vector<std::pair<int, float>>>;

  // Cleans graph, chooses the new order, stores it in true_order (new to old) and rev_order (old
  // to new) and renumbers the graph in place. graph must be numbered by the caller's rows, as the
  // builders leave it. Allocation failures propagate.
  void MagicReorder(Graph<int>& graph);

  // Rewrites every row to its ids in [0, N) other than the row's own, first occurrences only, in
  // the order met up to the row's first -1; the rest of the row becomes -1.
  void CorrectGraph(Graph<int>& graph);

  // Fills mst (N empty lists) with the minimum spanning forest of graph's links by Kruskal's
  // method: each stored link is an edge weighted by distFn, taken in ascending (weight, from, to)
  // order, NaN weights last.
  void BuildMST(Graph<int>& graph, Forest& mst);

  // The nodes of mst in depth-first order: from root (when it is a node), then from the smallest
  // node not yet reached, tree after tree, so that every node appears once. Neighbours are pushed
  // in list order, so the last one of a list is entered first.
  static std::vector<int> DfsOrder(const Forest& mst, int root);

  // Per node, the size of its subtree when the forest is rooted as order walked it.
  static std::vector<int> SubtreeWeights(const Forest& mst, const std::vector<int>& order);

  // Reorders the neighbour ids of every list ascending by (weight[u], u), so that a walk enters
  // the heaviest subtree first. The edge weights beside them keep their places.
  static void SortByWeight(Forest& mst, const std::vector<int>& weight);

  DistanceFunction distFn = nullptr;  // DistanceFP32L2 for "L2", DistanceFP32IP otherwise
  float** chunks = nullptr;           // the vectors in row order; not owned
  std::string metric;                 // the index's metric name
  int consecutiveLog = 0;             // chunk shift: 2^consecutiveLog vectors per chunk
  int dim = 0;                        // dimension

 private:
  // Calls visit with each id of row i before its first -1.
  template <typename Visit>
  static void ForEachLink(const Graph<int>& graph, int i, Visit visit) {
    const int* row = graph.neighbors + static_cast<size_t>(i) * graph.K;
    for (int s = 0; s < graph.K && row[s] != -1; ++s) visit(row[s]);
  }
  // The number of ids before the first -1 of every row.
  static size_t CountLinks(const Graph<int>& graph);

  // Vector i of the chunk table.
  const float* Vector(int i) const { return ChunkRow(chunks, consecutiveLog, dim, i); }
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_REORDER_GRAPH_REORDER_WORKER_H_
