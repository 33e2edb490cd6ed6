#ifndef TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_EXPAND_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_EXPAND_H_

// The best-first expansion of a query's pool: GraphSearcher::ExpandPool and ExpandPoolEarlyStop.
// The SSG builder's greedy search keeps its own sorted list: its insertion puts a candidate equal
// to the last of the L entries before that entry and keeps the entry pushed out in an extra slot,
// its row scan reads every slot (skipping ids outside the graph, where a query stops at the first
// -1), and its distances are the builder's float function, where a query batches code kernels.

#include "engine/search/searcher/graph_searcher.h"
#include "engine/search/memory/prefetch.h"

namespace vexa {

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::ComputeDistances(const Context* context, const int32_t* ids, int count,
                                            Distance* out) const {
  const uint8_t* query = context->queryCode;
  const int d = quant.d_align;
  int j = 0;
  for (; j + 16 <= count; j += 16) ComputeDistances16(context, ids + j, out + j);
  for (; j + 4 <= count; j += 4) {
    kernels_.Four(query, quant.Code(ids[j]), quant.Code(ids[j + 1]), quant.Code(ids[j + 2]),
                  quant.Code(ids[j + 3]), out + j, d);
  }
  for (; j < count; ++j) out[j] = kernels_.One(query, quant.Code(ids[j]), d);
}

template <typename Q, typename RQ>
bool GraphSearcher<Q, RQ>::InsertCandidates(Pool* pool, const Context* context, const int32_t* ids, int count,
                                            Distance* out) const {
  ComputeDistances(context, ids, count, out);
  bool productive = false;
  for (int i = 0; i < count; ++i) {
    if (pool->Insert(ids[i], out[i], graph) < adding_pref) productive = true;
  }
  return productive;
}

// Collecting marks a candidate visited before its distance is known, so a candidate that the
// pool drops is never looked at again in this query. Distances are computed per full buffer
// (whole batches of 16) and once more after the row; the pool ends the same whatever the
// buffer size, since collecting does not look at the pool and inserting does not look at the
// visited set.
template <typename Q, typename RQ>
template <int kBuffer>
bool GraphSearcher<Q, RQ>::ExpandNext(Pool* pool, VisitedBitset* visited, const Context* context) const {
  static_assert(kBuffer % 16 == 0, "whole batches of 16 per full buffer");
  alignas(64) int32_t buffer[kBuffer];
  alignas(64) Distance out[kBuffer];
  const uint8_t* codes = context->quant->codes;
  const uint64_t code_size = context->quant->code_size;
  const int width = graph.K;

  const int u = pool->NextUnchecked(graph);
  const int* row = graph.neighbors + static_cast<size_t>(u) * width;
  PrefetchLines(row, adjLines);
  bool productive = false;
  int n = 0;
  for (int j = 0; j < width; ++j) {
    const int v = row[j];
    if (v == -1) break;
    if (visited->Test(v)) continue;
    visited->Set(v);
    PrefetchLines(codes + static_cast<uint64_t>(v) * code_size, codeLines);
    buffer[n++] = v;
    if (n == kBuffer) {
      productive |= InsertCandidates(pool, context, buffer, n, out);
      n = 0;
    }
  }
  productive |= InsertCandidates(pool, context, buffer, n, out);
  return productive;
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::ExpandPool(Pool* pool, VisitedBitset* visited, const Context* context) const {
  while (pool->cursor < pool->size) ExpandNext<kExpandBuffer>(pool, visited, context);
}

template <typename Q, typename RQ>
void GraphSearcher<Q, RQ>::ExpandPoolEarlyStop(Pool* pool, VisitedBitset* visited, const Context* context) const {
  int stalled = 0;
  while (pool->cursor < pool->size && stalled < patience) {
    stalled = ExpandNext<16>(pool, visited, context) ? 0 : stalled + 1;
  }
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_EXPAND_H_
