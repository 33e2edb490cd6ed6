#ifndef TARVO_ENGINE_BUILD_SSG_LINK_SCRATCH_H_
#define TARVO_ENGINE_BUILD_SSG_LINK_SCRATCH_H_

#include <omp.h>

#include <cstdint>
#include <vector>

#include "engine/build/candidate.h"
#include "engine/build/ssg/link_entry.h"
#include "engine/search/memory/visited_bitset.h"

namespace vexa {

// One thread's lists for choosing the neighbours of one node after another.
struct PruneScratch {
  std::vector<LinkEntry> kept;      // candidates no nearer kept one occludes
  std::vector<LinkEntry> pruned;    // occluded candidates, in pool order
  std::vector<int> order;           // the positions in kept, in the order they are tried
  std::vector<int> occlusionCount;  // relaxed rule: per node id; all 0 between calls, sized on first use
  std::vector<uint8_t> seen;        // relaxed rule: per node id; all 0 between calls, sized on first use
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
  std::vector<int> unmeasured;  // positions in pool whose distances are still to be computed
  PruneScratch prune;
};

// An entry of a target's row with the slot it was read from (the row's degree for the new edge),
// ordered by distance alone.
struct SlotEntry {
  LinkEntry entry;
  int slot;
};

inline bool operator<(const SlotEntry& a, const SlotEntry& b) { return a.entry < b.entry; }

// One thread's lists for adding reverse edges.
struct ReverseEdgeScratch {
  std::vector<LinkEntry> source;    // the node's own row
  std::vector<SlotEntry> merged;    // a target's row plus the new edge
  std::vector<SlotEntry> selected;  // the pruned selection for a full target row
  std::vector<LinkEntry> compared;  // the selected entries that a candidate is compared with
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_LINK_SCRATCH_H_
