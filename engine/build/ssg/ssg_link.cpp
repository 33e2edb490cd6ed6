#include <omp.h>

#include <algorithm>
#include <mutex>

#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/greedy_search.h"
#include "engine/build/parallel_for.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {

void SSG::TarvoLink(const Graph<int>& initial, Graph<LinkEntry>& link, float threshold) const {
  const VectorTable vectors = Vectors();
  std::vector<LinkScratch> scratch = LinkScratch::ForThreads(nb, L);
  ParallelForDynamic(nb, 1, [&](int64_t q) {
    LinkScratch& own = scratch[omp_get_thread_num()];
    std::vector<LinkEntry>& pool = own.pool;
    pool.clear();
    const float* query = vectors.Row(q);
    CollectCandidates(query, initial, own.visited, ep, L, own.searchList, pool);
    ForUnmarkedNeighbours(initial, q, own.visited, [&](int id) {
      pool.push_back(LinkEntry{id, vectors.Distance(q, id)});
    });
    own.visited.Clear();
    std::sort(pool.begin(), pool.end());
    PruneCandidates(static_cast<int>(q), pool, link, threshold, own.prune);
  });
}

void SSG::InsertReverseEdges(int n, std::vector<std::mutex>& locks, Graph<LinkEntry>& link, float threshold,
                             ReverseEdgeScratch& scratch) const {
  const VectorTable vectors = Vectors();
  const size_t degree = static_cast<size_t>(R);
  // Other threads may rewrite row n while they add their own reverse edges to it, so the walk
  // runs over a copy taken under n's lock.
  std::vector<LinkEntry>& source = scratch.source;
  source.clear();
  {
    const LinkEntry* row = link.neighbors + static_cast<size_t>(n) * degree;
    std::lock_guard<std::mutex> lock(locks[n]);
    for (size_t j = 0; j < degree && row[j].id != -1; ++j) source.push_back(row[j]);
  }

  std::vector<LinkEntry>& merged = scratch.merged;
  std::vector<LinkEntry>& selected = scratch.selected;
  for (const LinkEntry& edge : source) {
    const int t = edge.id;
    LinkEntry* row = link.neighbors + static_cast<size_t>(t) * degree;
    merged.clear();
    bool present = false;
    {
      std::lock_guard<std::mutex> lock(locks[t]);
      for (size_t j = 0; j < degree && row[j].id != -1; ++j) {
        if (row[j].id == n) {
          present = true;
          break;
        }
        merged.push_back(row[j]);
      }
    }
    if (present) continue;
    merged.push_back(LinkEntry{n, edge.distance});

    if (merged.size() <= degree) {
      // Row t had a free slot; if another thread has taken the last one meanwhile, the edge is lost.
      std::lock_guard<std::mutex> lock(locks[t]);
      for (size_t j = 0; j < degree; ++j) {
        if (row[j].id == -1) {
          row[j] = LinkEntry{n, edge.distance};
          break;
        }
      }
      continue;
    }

    std::sort(merged.begin(), merged.end());
    selected.assign(1, merged[0]);
    for (size_t i = 1; i < merged.size() && selected.size() < degree; ++i) {
      const LinkEntry& p = merged[i];
      bool dropped = false;
      for (const LinkEntry& r : selected) {
        if (r.id == p.id || AngleCosine(r.distance, p.distance, vectors.Distance(r.id, p.id)) > threshold) {
          dropped = true;
          break;
        }
      }
      if (!dropped) selected.push_back(p);
    }
    std::lock_guard<std::mutex> lock(locks[t]);
    size_t m = 0;
    for (; m < selected.size(); ++m) row[m] = selected[m];
    for (; m < degree; ++m) row[m].id = -1;
  }
}

void SSG::InsertAllReverseEdges(Graph<LinkEntry>& link, float threshold) const {
  std::vector<std::mutex> locks(static_cast<size_t>(nb));
  std::vector<ReverseEdgeScratch> scratch(omp_get_max_threads());
  ParallelForDynamic(nb, 1, [&](int64_t n) {
    InsertReverseEdges(static_cast<int>(n), locks, link, threshold, scratch[omp_get_thread_num()]);
  });
}

}  // namespace vexa
