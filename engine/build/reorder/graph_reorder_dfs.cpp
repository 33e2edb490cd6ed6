#include <algorithm>

#include "engine/build/reorder/graph_reorder_worker.h"

namespace vexa {

std::vector<int> GraphReorderWorker::DfsOrder(const Forest& mst, int root) {
  const size_t N = mst.size();
  std::vector<int> order;
  order.reserve(N);
  std::vector<bool> visited(N, false);
  std::vector<int> stack;
  if (root >= 0 && static_cast<size_t>(root) < N) stack.push_back(root);
  size_t unreached = 0;  // every node below it has been reached
  while (order.size() < N) {
    if (stack.empty()) {
      while (visited[unreached]) ++unreached;
      stack.push_back(static_cast<int>(unreached));
    }
    const int v = stack.back();
    stack.pop_back();
    if (visited[v]) continue;
    order.push_back(v);
    visited[v] = true;
    for (const auto& link : mst[v]) {
      if (!visited[link.first]) stack.push_back(link.first);
    }
  }
  return order;
}

std::vector<int> GraphReorderWorker::SubtreeWeights(const Forest& mst, const std::vector<int>& order) {
  std::vector<int> weight(mst.size(), 0);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    int sum = 1;
    for (const auto& link : mst[*it]) sum += weight[link.first];
    weight[*it] = sum;
  }
  return weight;
}

void GraphReorderWorker::SortByWeight(Forest& mst, const std::vector<int>& weight) {
  std::vector<int> ids;
  for (auto& links : mst) {
    ids.clear();
    for (const auto& link : links) ids.push_back(link.first);
    std::sort(ids.begin(), ids.end(),
              [&](int a, int b) { return weight[a] != weight[b] ? weight[a] < weight[b] : a < b; });
    for (size_t k = 0; k < ids.size(); ++k) links[k].first = ids[k];
  }
}

}  // namespace vexa
