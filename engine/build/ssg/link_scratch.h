#ifndef TARVO_ENGINE_BUILD_SSG_LINK_SCRATCH_H_
#define TARVO_ENGINE_BUILD_SSG_LINK_SCRATCH_H_

#include <omp.h>

#include <vector>

#include "engine/build/candidate.h"
#include "engine/build/ssg/link_entry.h"
#include "engine/search/memory/visited_bitset.h"

namespace vexa {

// One thread's lists for choosing the neighbours of one node after another.
struct PruneScratch {
  std::vector<LinkEntry> kept;      // candidates no nearer kept one occludes
  std::vector<LinkEntry> pruned;    // occluded candidates, in pool order
  std::vector<int> occlusionCount;  // relaxed rule: per node id; all 0 between calls, sized on first use
};

// One thread's buffers for the per-node searches of the link pass and of MagicLink's first pass.
struct LinkScratch {
  LinkScratch(int N, int L) : visited(N), searchList(static_cast<size_t>(L) + 1) {}
  // One record per OpenMP thread of the next region.
  static std::vector<LinkScratch> ForThreads(int N, int L) {
    std::vector<LinkScratch> records;
    records.reserve(omp_get_max_threads());
    for (int t = 0; t < omp_get_max_threads(); ++t) records.emplace_back(N, L);
    return records;
  }

  VisitedBitset visited;              // all clear between nodes
  std::vector<Candidate> searchList;  // L + 1 entries
  std::vector<int> ids;               // candidate ids (MagicLink)
  std::vector<LinkEntry> pool;        // candidates with their distances
  PruneScratch prune;
};

// One thread's buffers for MagicLink's refinement of one node after another.
struct RefineScratch {
  std::vector<LinkEntry> pool;  // candidates with their distances
  PruneScratch prune;
};

// One thread's lists for adding reverse edges.
struct ReverseEdgeScratch {
  std::vector<LinkEntry> source;    // the node's own row
  std::vector<LinkEntry> merged;    // a target's row plus the new edge
  std::vector<LinkEntry> selected;  // the pruned selection for a full target row
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_LINK_SCRATCH_H_
