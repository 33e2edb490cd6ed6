#include <omp.h>

#include <algorithm>
#include <mutex>

#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/first_occluder.h"
#include "engine/build/ssg/greedy_search.h"
#include "engine/build/parallel_for.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {

namespace {

// The nodes in breadth-first order over the graph from start, then those it does not reach in
// increasing order.
std::vector<int> BreadthFirstOrder(const Graph<int>& graph, int start) {
  std::vector<int> order;
  order.reserve(static_cast<size_t>(graph.N));
  std::vector<uint8_t> seen(static_cast<size_t>(graph.N), 0);
  const auto visitFrom = [&](int root) {
    seen[root] = 1;
    order.push_back(root);
    for (size_t head = order.size() - 1; head < order.size(); ++head) {
      const int* row = graph.neighbors + static_cast<size_t>(order[head]) * graph.K;
      for (int j = 0; j < graph.K; ++j) {
        const int id = row[j];
        if (id >= 0 && id < graph.N && seen[id] == 0) {
          seen[id] = 1;
          order.push_back(id);
        }
      }
    }
  };
  if (start >= 0 && start < graph.N) visitFrom(start);
  for (int i = 0; i < graph.N; ++i) {
    if (seen[i] == 0) visitFrom(i);
  }
  return order;
}

}  // namespace

void SSG::TarvoLink(const Graph<int>& initial, Graph<LinkEntry>& link, float threshold) const {
  const VectorTable vectors = Vectors();
  std::vector<LinkScratch> scratch = LinkScratch::ForThreads(nb, L);
  const std::vector<int> order = BreadthFirstOrder(initial, ep);
  ParallelForDynamic(nb, 1, [&](int64_t k) {
    const int64_t q = order[static_cast<size_t>(k)];
    LinkScratch& own = scratch[omp_get_thread_num()];
    std::vector<LinkEntry>& pool = own.pool;
    pool.clear();
    const float* query = vectors.Row(q);
    CollectCandidates(query, initial, own.visited, ep, L, own.searchList, pool);
    const size_t searched = pool.size();
    ForUnmarkedNeighbours(initial, q, own.visited, [&pool](int id) { pool.push_back(LinkEntry{id, 0.0f}); });
    vectors.Distances(
        query, static_cast<int>(pool.size() - searched), [&](int i) { return pool[searched + i].id; },
        [&](int i, float d) { pool[searched + i].distance = d; });
    own.visited.Clear();
    std::sort(pool.begin(), pool.end());
    PruneCandidates(static_cast<int>(q), pool, link, threshold, own.prune);
  });
}

void SSG::InsertReverseEdges(int n, ReverseEdgeTargets& targets, Graph<LinkEntry>& link, float threshold,
                             ReverseEdgeScratch& scratch) const {
  const VectorTable vectors = Vectors();
  const size_t degree = static_cast<size_t>(R);
  // Other threads may rewrite row n while they add their own reverse edges to it, so the walk
  // runs over a copy taken under n's lock.
  std::vector<LinkEntry>& source = scratch.source;
  source.clear();
  {
    const LinkEntry* row = link.neighbors + static_cast<size_t>(n) * degree;
    std::lock_guard<NodeLock> lock(targets.locks[n]);
    for (size_t j = 0; j < degree && row[j].id != -1; ++j) source.push_back(row[j]);
  }

  std::vector<SlotEntry>& merged = scratch.merged;
  std::vector<SlotEntry>& selected = scratch.selected;
  std::vector<LinkEntry>& compared = scratch.compared;
  for (const LinkEntry& edge : source) {
    const int t = edge.id;
    LinkEntry* row = link.neighbors + static_cast<size_t>(t) * degree;
    merged.clear();
    bool present = false;
    int settled = 0;
    {
      std::lock_guard<NodeLock> lock(targets.locks[t]);
      settled = targets.selected[t];
      for (size_t j = 0; j < degree && row[j].id != -1; ++j) {
        if (row[j].id == n) {
          present = true;
          break;
        }
        merged.push_back(SlotEntry{row[j], static_cast<int>(j)});
      }
    }
    if (present) continue;
    merged.push_back(SlotEntry{LinkEntry{n, edge.distance}, static_cast<int>(degree)});

    if (merged.size() <= degree) {
      // Row t had a free slot; if another thread has taken the last one meanwhile, the edge is lost.
      std::lock_guard<NodeLock> lock(targets.locks[t]);
      for (size_t j = 0; j < degree; ++j) {
        if (row[j].id == -1) {
          row[j] = LinkEntry{n, edge.distance};
          break;
        }
      }
      continue;
    }

    // Whether r drops p is symmetric in the two. The entries of the row's leading `settled` slots
    // came out of one selection together, so none of them drops another: only pairs with another
    // entry are compared.
    std::sort(merged.begin(), merged.end());
    selected.assign(1, merged[0]);
    for (size_t i = 1; i < merged.size() && selected.size() < degree; ++i) {
      const SlotEntry& p = merged[i];
      compared.clear();
      for (const SlotEntry& r : selected) {
        if (p.slot >= settled || r.slot >= settled) compared.push_back(r.entry);
      }
      const LinkEntry& candidate = p.entry;
      const int occluder = FirstOccluder(
          vectors, candidate.id, static_cast<int>(compared.size()), [&compared](int i) { return compared[i]; },
          [&candidate, threshold](const LinkEntry& r, float djk) {
            return r.id == candidate.id || AngleCosine(r.distance, candidate.distance, djk) > threshold;
          });
      if (occluder < 0) selected.push_back(p);
    }
    std::lock_guard<NodeLock> lock(targets.locks[t]);
    size_t m = 0;
    for (; m < selected.size(); ++m) row[m] = selected[m].entry;
    for (; m < degree; ++m) row[m].id = -1;
    targets.selected[t] = static_cast<int>(selected.size());
  }
}

void SSG::InsertAllReverseEdges(Graph<LinkEntry>& link, float threshold) const {
  ReverseEdgeTargets targets(nb);
  std::vector<ReverseEdgeScratch> scratch(omp_get_max_threads());
  ParallelForDynamic(nb, 1, [&](int64_t n) {
    InsertReverseEdges(static_cast<int>(n), targets, link, threshold, scratch[omp_get_thread_num()]);
  });
}

}  // namespace vexa
