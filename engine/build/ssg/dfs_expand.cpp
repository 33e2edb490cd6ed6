#include <cstdlib>
#include <queue>
#include <random>
#include <vector>

#include "engine/build/sample_distinct_ids.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {

void SSG::GenerateEps() {
  std::vector<int> ids(static_cast<size_t>(n_try));
  std::mt19937 rng(static_cast<uint32_t>(std::rand()));
  SampleDistinctIds(rng, ids.data(), n_try, nb);
  graph.eps.insert(graph.eps.end(), ids.begin(), ids.end());
}

void SSG::DFSExpand(std::vector<int>& degree) {
  GenerateEps();
  const int N = nb;
  const size_t entryCount = graph.eps.size();
  for (size_t e = 0; e < entryCount; ++e) {
    const int s = graph.eps[e];
    VisitedBitset visited(N);
    std::vector<int> stack;
    std::priority_queue<int> open;  // reached nodes with a free slot, largest id on top
    int cursor = 0;
    const auto reach = [&](int u) {
      stack.push_back(u);
      visited.Set(u);
      if (degree[u] < R) open.push(u);
    };
    reach(s);
    while (true) {
      while (!stack.empty()) {
        const int u = stack.back();
        stack.pop_back();
        const int* row = graph.neighbors + static_cast<size_t>(u) * R;
        for (int k = 0; k < degree[u]; ++k) {
          if (!visited.Test(row[k])) reach(row[k]);
        }
      }
      while (cursor < N && visited.Test(cursor)) ++cursor;
      if (cursor == N) break;
      const int u = cursor;
      if (!open.empty()) {
        const int t = open.top();
        graph.neighbors[static_cast<size_t>(t) * R + degree[t]] = u;
        if (++degree[t] == R) open.pop();
      }
      reach(u);
    }
  }
}

}  // namespace vexa
