#include "tests/support/reference_search.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

namespace tarvo_test {
namespace {

using Scored = std::pair<float, int>;  // distance, internal node number

float SquaredL2(const float* a, const float* b, int dim) {
  float sum = 0.0f;
  for (int j = 0; j < dim; ++j) sum += (a[j] - b[j]) * (a[j] - b[j]);
  return sum;
}

}  // namespace

void ReferenceSearch(const vexa::Graph<int>& graph, const Dataset& base, const float* query, int k, int ef,
                     int64_t* labels) {
  auto distance = [&](int node) { return SquaredL2(query, base.row(graph.true_order[node]), base.dim); };
  int cur = graph.eps.empty() ? 0 : graph.eps[0];
  if (graph.hnsw1pgraph) {
    const vexa::Hnsw1pGraph& layers = *graph.hnsw1pgraph;
    cur = layers.ep;
    float best = distance(cur);
    for (int level = layers.nodeLevels[cur]; level >= 1; --level) {
      for (bool moved = true; moved;) {
        moved = false;
        const int* row = layers.lists[cur].data() + static_cast<size_t>(level - 1) * layers.K;
        for (int j = 0; j < layers.K && row[j] != -1; ++j) {
          const float d = distance(row[j]);
          if (d < best) {
            best = d;
            cur = row[j];
            moved = true;
          }
        }
      }
    }
  }

  const size_t breadth = static_cast<size_t>(std::max(ef, k));
  std::vector<bool> seen(static_cast<size_t>(graph.N), false);
  std::priority_queue<Scored, std::vector<Scored>, std::greater<Scored>> frontier;  // nearest on top
  std::priority_queue<Scored> results;                                              // farthest on top
  const Scored entry{distance(cur), cur};
  frontier.push(entry);
  results.push(entry);
  seen[cur] = true;
  while (!frontier.empty()) {
    const Scored nearest = frontier.top();
    if (results.size() == breadth && nearest.first > results.top().first) break;
    frontier.pop();
    const int* row = graph.neighbors + static_cast<size_t>(nearest.second) * graph.K;
    for (int j = 0; j < graph.K && row[j] != -1; ++j) {
      const int v = row[j];
      if (seen[v]) continue;
      seen[v] = true;
      const float d = distance(v);
      if (results.size() < breadth || d < results.top().first) {
        frontier.push({d, v});
        results.push({d, v});
        if (results.size() > breadth) results.pop();
      }
    }
  }
  while (results.size() > static_cast<size_t>(k)) results.pop();
  std::fill(labels, labels + k, -1);
  for (int p = static_cast<int>(results.size()) - 1; p >= 0; --p) {
    labels[p] = graph.true_order[results.top().second];
    results.pop();
  }
}

}  // namespace tarvo_test
