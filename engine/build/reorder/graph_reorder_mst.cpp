#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "engine/build/reorder/graph_reorder_worker.h"

namespace vexa {
namespace {

struct Edge {
  float weight;
  int from;
  int to;
};

// Ascending weight with NaN after every number: a strict weak order whatever the vectors hold.
bool LighterWeight(float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

bool EdgeBefore(const Edge& a, const Edge& b) {
  if (LighterWeight(a.weight, b.weight)) return true;
  if (LighterWeight(b.weight, a.weight)) return false;
  return a.from != b.from ? a.from < b.from : a.to < b.to;
}

}  // namespace

void GraphReorderWorker::BuildMST(Graph<int>& graph, Forest& mst) {
  const int N = graph.N;
  const auto nodes = static_cast<size_t>(std::max(N, 0));
  std::vector<int> parent(nodes);
  std::vector<int> rank(nodes, 0);
  std::vector<Edge> edges;
  edges.reserve(CountLinks(graph));
  const DistanceFunction distance = ResolveDistance(distFn);
  for (int i = 0; i < N; ++i) {
    parent[i] = i;
    ForEachLink(graph, i, [&](int j) {
      if (j < 0 || j >= N) {
        std::printf("[Error] BuildMST error to=%d\n", j);
        return;
      }
      edges.push_back({distance(Vector(i), Vector(j), dim), i, j});
    });
  }
  std::printf("Done cal edges. size:%d\n", static_cast<int>(edges.size()));
  std::sort(edges.begin(), edges.end(), EdgeBefore);

  // Union by rank keeps the trees of parent shallow, so the recursion stays short.
  std::function<int(int)> find = [&](int x) {
    if (parent[x] == x) return x;
    return parent[x] = find(parent[x]);
  };
  for (const Edge& edge : edges) {
    const int ri = find(edge.from);
    const int rj = find(edge.to);
    if (ri == rj) continue;
    if (rank[ri] >= rank[rj]) {
      parent[rj] = ri;
      if (rank[ri] == rank[rj]) ++rank[ri];
    } else {
      parent[ri] = rj;
    }
    mst[edge.from].emplace_back(edge.to, edge.weight);
    mst[edge.to].emplace_back(edge.from, edge.weight);
  }
}

}  // namespace vexa
