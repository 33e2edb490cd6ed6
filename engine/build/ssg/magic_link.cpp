#include <omp.h>

#include <algorithm>
#include <cstdio>

#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/greedy_search.h"
#include "engine/build/ssg/jaccard_stop.h"
#include "engine/build/parallel_for.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {

void SSG::MagicLink(const Graph<int>& initial, Graph<LinkEntry>& link) const {
  const float threshold = AngleThreshold(A);
  {
    // The initial graph's in-edges (N x initK entries) are released before the refinement.
    ReverseAdjacency initialInEdges(nb);
    initialInEdges.Build(initial);
    MagicLinkFirstPass(initial, initialInEdges, link, threshold);
  }

  ReverseAdjacency inEdges(nb);
  std::vector<VisitedMarks> marks(omp_get_max_threads(), VisitedMarks(nb));
  for (int iteration = 0; iteration < graph_opt_iter; ++iteration) {
    std::printf("Start iteration #%d of %d\n", iteration, graph_opt_iter);
    const Graph<LinkEntry> snapshot(link);
    inEdges.Build(link);  // equal to the snapshot's in-edges: nothing has changed since the copy
    MagicLinkRefinePass(snapshot, inEdges, link, threshold, marks);
    const double J = GraphJaccard(snapshot, link, marks) / static_cast<double>(nb);
    std::printf("Graph iter#%d, jacard:%.4f\n", iteration, J);
    if (JaccardConverged(J)) break;
  }
}

void SSG::MagicLinkFirstPass(const Graph<int>& initial, const ReverseAdjacency& inEdges, Graph<LinkEntry>& link,
                             float threshold) const {
  const VectorTable vectors = Vectors();
  std::vector<LinkScratch> scratch = LinkScratch::ForThreads(nb, L);
  ParallelForDynamic(nb, 1, [&](int64_t q) {
    LinkScratch& own = scratch[omp_get_thread_num()];
    std::vector<int>& ids = own.ids;
    ids.clear();
    CollectCandidateIds(vectors.Row(q), initial, own.visited, ep, L, own.searchList, ids);
    ForUnmarkedNeighbours(initial, q, own.visited, [&ids](int id) { ids.push_back(id); });
    own.visited.Clear();
    for (const LinkEntry* e = inEdges.InBegin(q); e != inEdges.InEnd(q); ++e) ids.push_back(e->id);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    std::vector<LinkEntry>& pool = own.pool;
    pool.resize(ids.size());
    vectors.Distances(
        vectors.Row(q), static_cast<int>(ids.size()), [&ids](int i) { return ids[i]; },
        [&](int i, float d) { pool[i] = LinkEntry{ids[i], d}; });
    std::sort(pool.begin(), pool.end());
    PruneCandidates(static_cast<int>(q), pool, link, threshold, own.prune);
  });
}

void SSG::MagicLinkRefinePass(const Graph<LinkEntry>& snapshot, const ReverseAdjacency& inEdges, Graph<LinkEntry>& link,
                              float threshold, std::vector<VisitedMarks>& marks) const {
  const VectorTable vectors = Vectors();
  const int K = snapshot.K;
  std::vector<RefineScratch> scratch(omp_get_max_threads());
  ParallelForDynamic(nb, 1, [&](int64_t q) {
    const int t = omp_get_thread_num();
    VisitedMarks& visited = marks[t];
    std::vector<LinkEntry>& pool = scratch[t].pool;
    std::vector<int>& unmeasured = scratch[t].unmeasured;
    pool.clear();
    unmeasured.clear();
    // Adds the unmarked ids of snapshot row u other than q; their distances to q follow below.
    const auto expand = [&](int u) {
      const LinkEntry* row = snapshot.neighbors + static_cast<size_t>(u) * K;
      for (int j = 0; j < K && row[j].id != -1; ++j) {
        const int w = row[j].id;
        if (w != q && visited.TryMark(w)) {
          unmeasured.push_back(static_cast<int>(pool.size()));
          pool.push_back(LinkEntry{w, 0.0f});
        }
      }
    };
    const LinkEntry* row = snapshot.neighbors + static_cast<size_t>(q) * K;
    for (int j = 0; j < K && row[j].id != -1; ++j) {
      const int u = row[j].id;
      if (u == q) continue;
      if (visited.TryMark(u)) pool.push_back(row[j]);
      expand(u);
    }
    for (const LinkEntry* e = inEdges.InBegin(q); e != inEdges.InEnd(q); ++e) {
      if (visited.TryMark(e->id)) pool.push_back(*e);
      expand(e->id);
    }
    visited.Advance();
    vectors.Distances(
        vectors.Row(q), static_cast<int>(unmeasured.size()), [&](int i) { return pool[unmeasured[i]].id; },
        [&](int i, float d) { pool[unmeasured[i]].distance = d; });
    std::sort(pool.begin(), pool.end());
    PruneCandidates(static_cast<int>(q), pool, link, threshold, scratch[t].prune);
  });
}

double SSG::GraphJaccard(const Graph<LinkEntry>& snapshot, const Graph<LinkEntry>& link,
                         std::vector<VisitedMarks>& marks) const {
  const int K = snapshot.K;
  std::vector<double> sums(omp_get_max_threads(), 0.0);
  ParallelForDynamic(nb, 1, [&](int64_t q) {
    const int t = omp_get_thread_num();
    VisitedMarks& visited = marks[t];
    const LinkEntry* before = snapshot.neighbors + static_cast<size_t>(q) * K;
    const LinkEntry* after = link.neighbors + static_cast<size_t>(q) * K;
    int all = 0;
    int shared = 0;
    for (int j = 0; j < K && before[j].id != -1; ++j) {
      ++all;
      visited.TryMark(before[j].id);
    }
    for (int j = 0; j < K && after[j].id != -1; ++j) {
      if (visited.TryMark(after[j].id)) {
        ++all;
      } else {
        ++shared;
      }
    }
    visited.Advance();
    // Two empty rows agree.
    sums[t] += all == 0 ? 1.0 : static_cast<double>(shared) / static_cast<double>(all);
  });
  double total = 0.0;
  for (const double sum : sums) total += sum;
  return total;
}

}  // namespace vexa
