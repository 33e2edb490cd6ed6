#ifndef TARVO_ENGINE_BUILD_SSG_GREEDY_SEARCH_H_
#define TARVO_ENGINE_BUILD_SSG_GREEDY_SEARCH_H_

#include <cstddef>
#include <cstdint>

#include "engine/build/vector_table.h"
#include "engine/search/memory/visited_bitset.h"
#include "engine/search/graph/graph.h"
#include "engine/search/searcher/candidate_pool.h"

namespace vexa {

// Greedy best-first search of graph for query over pool, made a pool of L entries, from the L
// start ids, which visited already marks. The start ids are evaluated in order and sorted (equal
// distances in no fixed order); then the nearest entry not yet expanded is expanded until none is
// left: its unmarked neighbours in [0, N) (the whole row, other slots skipped) are marked,
// evaluated and offered to the full pool, which keeps those strictly closer than its last entry,
// each after the entries of equal distance. onEvaluated(id, distance) sees every evaluated node
// once, in the order of evaluation.
template <typename OnEvaluated>
void GreedySearch(const VectorTable& vectors, const float* query, const Graph<int>& graph, VisitedBitset& visited,
                  const int* startIds, int L, CandidatePool<float>& pool, OnEvaluated&& onEvaluated) {
  pool.Reset(L, (graph.K + 15) / 16);
  for (int k = 0; k < L; ++k) {
    const float d = vectors.Distance(query, startIds[k]);
    pool.entries[k] = PoolEntry<float>{startIds[k], d};
    onEvaluated(startIds[k], d);
  }
  pool.TakeUnsorted(L);

  const int N = graph.N;
  const int K = graph.K;
  while (pool.cursor < pool.size) {
    const int* row = graph.neighbors + static_cast<size_t>(pool.NextUnchecked(graph)) * K;
    for (int j = 0; j < K; ++j) {
      const int id = row[j];
      if (id < 0 || id >= N || visited.Test(id)) continue;
      visited.Set(id);
      const float d = vectors.Distance(query, id);
      onEvaluated(id, d);
      pool.Insert(id, d);
    }
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
