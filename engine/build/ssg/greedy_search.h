#ifndef TARVO_ENGINE_BUILD_SSG_GREEDY_SEARCH_H_
#define TARVO_ENGINE_BUILD_SSG_GREEDY_SEARCH_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/build/candidate.h"
#include "engine/build/insert_candidate.h"
#include "engine/build/vector_table.h"
#include "engine/search/memory/prefetch.h"
#include "engine/search/memory/visited_bitset.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// Greedy best-first search of graph for query with a list of L entries. list has room for L + 1
// entries and holds the L start ids, already marked in visited. The start ids are evaluated in
// order and sorted; then the nearest entry not yet expanded is expanded until none is left: its
// unmarked neighbours in [0, N) are marked and evaluated, and those nearer than entry L - 1 are
// inserted. onEvaluated(id, distance) sees every evaluated node once, in the order of evaluation.
template <typename OnEvaluated>
void GreedySearch(const VectorTable& vectors, const float* query, const Graph<int>& graph, VisitedBitset& visited,
                  Candidate* list, int L, OnEvaluated&& onEvaluated) {
  vectors.Distances(
      query, L, [list](int k) { return list[k].id; },
      [&](int k, float d) {
        list[k] = Candidate{list[k].id, d, true};
        onEvaluated(list[k].id, d);
      });
  std::sort(list, list + L);

  const int N = graph.N;
  const int K = graph.K;
  constexpr int kAtOnce = 64;
  const int rowLines = graph.RowLines();
  int k = 0;
  while (k < L) {
    if (!list[k].isNew) {
      ++k;
      continue;
    }
    list[k].isNew = false;
    const int* row = graph.neighbors + static_cast<size_t>(list[k].id) * K;
    // The row expanded next is most often that of the next new entry: its fetch overlaps the
    // distances of this row.
    for (int next = k + 1; next < L; ++next) {
      if (!list[next].isNew) continue;
      PrefetchLines(graph.neighbors + static_cast<size_t>(list[next].id) * K, rowLines);
      break;
    }
    int nk = L;
    // The row's unmarked neighbours are marked and their distances computed together, then
    // weighed in row order: what one at a time would do, since weighing one decides nothing about
    // which others are computed.
    int fresh[kAtOnce];
    for (int j = 0; j < K;) {
      int n = 0;
      for (; j < K && n < kAtOnce; ++j) {
        const int id = row[j];
        if (id < 0 || id >= N || visited.Test(id)) continue;
        visited.Set(id);
        fresh[n++] = id;
      }
      vectors.Distances(
          query, n, [&fresh](int i) { return fresh[i]; },
          [&](int i, float d) {
            onEvaluated(fresh[i], d);
            if (d < list[L - 1].distance) nk = std::min(nk, InsertCandidate(list, L, Candidate{fresh[i], d, true}));
          });
    }
    k = nk <= k ? nk : k + 1;
  }
}

// Calls visit(id) for every id of row q of graph that lies in [0, N) and is not marked in visited:
// the node's own neighbours that a search for it did not evaluate.
template <typename Visit>
void ForUnmarkedNeighbours(const Graph<int>& graph, int64_t q, const VisitedBitset& visited, Visit&& visit) {
  const int* row = graph.neighbors + static_cast<size_t>(q) * graph.K;
  for (int j = 0; j < graph.K; ++j) {
    const int id = row[j];
    if (id >= 0 && id < graph.N && !visited.Test(id)) visit(id);
  }
}

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_GREEDY_SEARCH_H_
