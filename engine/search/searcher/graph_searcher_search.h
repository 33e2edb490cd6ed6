#ifndef TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_SEARCH_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_SEARCH_H_

// One query: GraphSearcher::SearchQuery with its entry steps and the re-rank.

#include <algorithm>
#include <vector>

#include "engine/search/searcher/graph_searcher.h"
#include "engine/search/memory/prefetch.h"
#include "engine/search/searcher/query_scratch.h"
#include "engine/search/searcher/refine_heap.h"

namespace vexa {

// Every comparison of distances below is a strict "closer than": an unordered comparison (a NaN
// distance from a non-finite query) never counts as closer, so each greedy step only moves to a
// strictly closer node and every loop ends.
template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::SearchQuery(const float* query, int k, int64_t* labels, float* distances) const {
  if (k < 1 || nb < 1) return;  // no slot to fill, or nothing indexed
  Scratch& scratch = Scratch::ForThisThread();
  uint8_t* query_code = scratch.queryCode.Zeroed(quant.code_size);
  quant.EncodeQuery(query, query_code);
  const Context context{&quant, query_code};
  Pool& pool = scratch.pool;
  pool.Reset(std::max(ef, k), adjLines);
  VisitedBitset& visited = ThreadVisitedBitset();
  visited.ClearFor(static_cast<size_t>(nb));

  if (graph.hnsw1pgraph) {
    DescendUpperLayers(&pool, &visited, &context);
  } else {
    WalkEntryPoints(&pool, &visited, &context);
  }
  if (patience < 0) {
    ExpandPool(&pool, &visited, &context);
  } else {
    ExpandPoolEarlyStop(&pool, &visited, &context);
  }
  if (refine_param > 0) {
    RefineResults(query, pool, k, labels, distances);
  } else {
    WriteCoarseResults(pool, k, labels, distances);
  }
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::DescendUpperLayers(Pool* pool, VisitedBitset* visited, const Context* context) const {
  const Hnsw1pGraph& layers = *graph.hnsw1pgraph;
  const size_t width = layers.K > 0 ? static_cast<size_t>(layers.K) : 0;
  int cur = layers.ep;
  Distance best = CoarseDistance(context, cur);
  const int levels = layers.nodeLevels[cur];
  for (int level = levels; level >= 1; --level) {
    bool moved = true;
    while (moved) {
      moved = false;
      // The whole row of the node the scan began on, so cur ends on its closest id.
      const int* row = layers.lists[cur].data() + static_cast<size_t>(level - 1) * width;
      for (size_t j = 0; j < width && row[j] != -1; ++j) {
        const Distance d = CoarseDistance(context, row[j]);
        if (d < best) {
          best = d;
          cur = row[j];
          moved = true;
        }
      }
    }
  }
  Offer(pool, visited, cur, best);
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::WalkEntryPoints(Pool* pool, VisitedBitset* visited, const Context* context) const {
  const int width = graph.K;
  const size_t entry_count = graph.eps.size();
  // At least one slot: a graph without entry points is entered at node 0.
  const size_t slots = std::max<size_t>({width > 0 ? static_cast<size_t>(width) : 0, entry_count, 1});
  Scratch& scratch = Scratch::ForThisThread();
  std::vector<int32_t>& ids = scratch.walkIds;
  std::vector<Distance>& dists = scratch.walkDistances;
  ids.assign(slots, 0);
  dists.assign(slots, Distance(0));
  int count = static_cast<int>(entry_count);
  for (int i = 0; i < count; ++i) {
    ids[i] = graph.eps[i];
    dists[i] = CoarseDistance(context, ids[i]);
  }
  int best = ids[0];
  Distance best_distance = count > 0 ? dists[0] : CoarseDistance(context, best);
  int prev = -1;
  const uint8_t* codes = context->quant->codes;
  const uint64_t code_size = context->quant->code_size;
  for (int expansions = 0;; ++expansions) {
    for (int i = 0; i < count; ++i) {
      if (dists[i] < best_distance) {
        best = ids[i];
        best_distance = dists[i];
      }
    }
    if (expansions >= kMaxWalkExpansions || best == prev) break;
    // The list becomes best's row, without the visited set: a node may be evaluated again.
    prev = best;
    const int* row = graph.neighbors + static_cast<size_t>(best) * width;
    count = 0;
    for (int j = 0; j < width && row[j] != -1; ++j) {
      ids[count] = row[j];
      PrefetchLines(codes + static_cast<uint64_t>(row[j]) * code_size, codeLines);
      if (++count % 16 == 0) ComputeDistances16(context, &ids[count - 16], &dists[count - 16]);
    }
    const int computed = count / 16 * 16;
    ComputeDistances(context, &ids[computed], count - computed, &dists[computed]);
  }
  for (int i = 0; i < count; ++i) {
    if (!visited->Test(ids[i])) Offer(pool, visited, ids[i], dists[i]);
  }
  if (!visited->Test(best)) Offer(pool, visited, best, best_distance);
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::RefineResults(const float* query, const Pool& pool, int k, int64_t* labels,
                                         float* distances) const {
  const int n = pool.size;  // the pool holds at most max(ef, k) entries: all of them are re-ranked
  Scratch& scratch = Scratch::ForThisThread();
  std::vector<int32_t>& ids = scratch.refineIds;
  ids.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ids[i] = pool.entries[i].id & kNodeIdMask;
  uint8_t* refine_query = scratch.refineQuery.Zeroed(refine_quant.code_size);
  refine_quant.EncodeQuery(query, refine_query);
  RefineHeap& heap = scratch.heap;
  heap.Reset(k);
  for (int i = 0; i < n; ++i) {
    if (i + 1 < n) PrefetchLines(refine_quant.Code(ids[i + 1]), 1);
    heap.Push(ids[i], refineKernels_.One(refine_query, refine_quant.Code(ids[i]), refine_quant.d_align));
  }
  for (int p = heap.size - 1; p >= 0; --p) {
    const RefineHeap::Entry entry = heap.Pop();
    labels[p] = static_cast<int64_t>(graph.true_order[entry.id]);
    if (distances != nullptr) distances[p] = entry.distance;
  }
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::WriteCoarseResults(const Pool& pool, int k, int64_t* labels, float* distances) const {
  const int m = std::min(k, pool.size);
  for (int i = 0; i < m; ++i) {
    labels[i] = static_cast<int64_t>(graph.true_order[pool.entries[i].id & kNodeIdMask]);
    if (distances != nullptr) distances[i] = static_cast<float>(pool.entries[i].distance);
  }
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_SEARCH_H_
