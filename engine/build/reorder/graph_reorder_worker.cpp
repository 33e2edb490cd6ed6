#include "engine/build/reorder/graph_reorder_worker.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace vexa {
namespace {

void PrintEdgeCount(size_t edges, int N) {
  std::printf("#total edges:%d, avg_deg: %.2f\n", static_cast<int>(edges),
              static_cast<double>(edges) / static_cast<double>(N));
}

}  // namespace

size_t GraphReorderWorker::CountLinks(const Graph<int>& graph) {
  size_t links = 0;
  for (int i = 0; i < graph.N; ++i) ForEachLink(graph, i, [&](int) { ++links; });
  return links;
}

void GraphReorderWorker::CorrectGraph(Graph<int>& graph) {
  const int N = graph.N;
  // seen[id] is the last row (plus one) in which id was kept.
  std::vector<int> seen(static_cast<size_t>(std::max(N, 0)), 0);
  std::vector<int> kept;
  for (int i = 0; i < N; ++i) {
    kept.clear();
    ForEachLink(graph, i, [&](int id) {
      if (id < 0 || id >= N || id == i || seen[id] == i + 1) return;
      seen[id] = i + 1;
      kept.push_back(id);
    });
    int* row = graph.neighbors + static_cast<size_t>(i) * graph.K;
    std::copy(kept.begin(), kept.end(), row);
    std::fill(row + kept.size(), row + graph.K, -1);
  }
}

void GraphReorderWorker::MagicReorder(Graph<int>& graph) {
  std::printf("[GraphReorder] Start magic reordering.\n");
  PrintEdgeCount(CountLinks(graph), graph.N);
  std::printf("[GraphReorder] Step#1 Start correcting graph, removing self-loop and multi-edges.\n");
  CorrectGraph(graph);
  PrintEdgeCount(CountLinks(graph), graph.N);

  std::printf("[GraphReorder] Step#2 Start Magic Reordering.\n");
  const int N = graph.N;
  Forest mst(static_cast<size_t>(std::max(N, 0)));
  std::printf("Start Building MST, N:%d\n", N);
  BuildMST(graph, mst);

  std::printf("Start ReorderDfs.\n");
  int root = -1;
  if (graph.hnsw1pgraph) {
    root = graph.hnsw1pgraph->ep;
  } else if (!graph.eps.empty()) {
    root = graph.eps[0];
  }
  std::vector<int> order = DfsOrder(mst, root);
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (int k = 0; k < N; ++k) {
    if (sorted[k] != k) std::printf("Wrong dfs_order.\n");
  }
  const std::vector<int> weight = SubtreeWeights(mst, order);
  std::printf("[ReorderDfs] Done assign vertex weights met.\n");
  SortByWeight(mst, weight);
  std::printf("vis size:%d\n", N);
  std::printf("Done edge sort, root:%d\n", root);
  order = DfsOrder(mst, root);
  std::printf("Done weighted dfs.\n");

  graph.true_order = order;
  graph.rev_order.assign(order.size(), 0);
  for (size_t k = 0; k < order.size(); ++k) graph.rev_order[order[k]] = static_cast<int>(k);
  std::printf("Start in-place reordering.\n");
  graph.ReorderInPlace();
}

}  // namespace vexa
