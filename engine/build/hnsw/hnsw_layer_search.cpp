#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "engine/build/hnsw/hnsw.h"
#include "engine/search/memory/visited_bitset.h"

namespace vexa {
namespace {

// Scratch buffers of one thread, reused by every search and pruning it runs.
struct SearchScratch {
  std::vector<uint32_t> links;             // a copied neighbour list
  DistanceIdHeap<NearerFirst> candidates;  // the frontier of a layer search
  std::vector<DistanceId> queue;           // the pruning work queue
  std::vector<DistanceId> kept;            // the entries a pruning keeps
};

SearchScratch& ThreadScratch() {
  thread_local SearchScratch scratch;
  return scratch;
}

}  // namespace

std::vector<uint32_t>& HNSW::LinkScratch() const {
  std::vector<uint32_t>& links = ThreadScratch().links;
  if (links.size() < maxM0_) links.resize(maxM0_);
  return links;
}

size_t HNSW::CopyLinks(uint32_t node, int lev, uint32_t* out) {
  std::lock_guard<NodeLock> hold(linkLocks_[node]);
  const uint32_t* header = LinkList(node, lev);
  const size_t count = LinkCount(header);
  std::memcpy(out, header + 1, count * sizeof(uint32_t));
  return count;
}

// Neither the queries' candidate pool nor the SSG searches' sorted list: the frontier and the
// results are two heaps, with ties in no fixed order, a candidate enters while fewer than ef
// results are kept or when it is closer than the farthest kept, the walk stops at the first
// frontier entry farther than that, and each list is copied under its node's lock while other
// inserts edit it.
DistanceHeap HNSW::ExploreLayer(uint32_t entry, const float* q, int lev) {
  VisitedBitset& visited = ThreadVisitedBitset();
  try {
    visited.ClearFor(static_cast<size_t>(nb));
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("Failed to allocate memory for VisitedList.\n");
  }
  std::vector<uint32_t>& links = LinkScratch();
  DistanceIdHeap<NearerFirst>& candidates = ThreadScratch().candidates;
  candidates.clear();

  const size_t ef = ef_construction_;
  DistanceHeap top;
  top.reserve(std::min(ef, static_cast<size_t>(nb)) + 1);
  float lowerBound = distFn_(q, NodeVector(entry), dim_);
  top.push({lowerBound, entry});
  candidates.push({lowerBound, entry});
  visited.Set(static_cast<int>(entry));

  while (!candidates.empty()) {
    const DistanceId nearest = candidates.top();
    if (nearest.distance > lowerBound && top.size() == ef) break;
    candidates.pop();
    const size_t count = CopyLinks(nearest.id, lev, links.data());
    // The unvisited neighbours go to the front of links, in list order; their distances are
    // computed together and then weighed in that order, which is what one at a time would do,
    // since weighing one decides nothing about which others are computed.
    size_t fresh = 0;
    for (size_t k = 0; k < count; ++k) {
      const uint32_t id = links[k];
      if (k + 1 < count) visited.Prefetch(static_cast<int>(links[k + 1]));
      if (visited.Test(static_cast<int>(id))) continue;
      visited.Set(static_cast<int>(id));
      links[fresh++] = id;
    }
    NodeDistances(
        q, fresh, [&links](int k) { return links[k]; },
        [&](int k, float d) {
          if (top.size() < ef || d < lowerBound) {
            candidates.push({d, links[k]});
            top.push({d, links[k]});
            if (top.size() > ef) top.pop();
            lowerBound = top.top().distance;
          }
        });
  }
  return top;
}

void HNSW::KeepDiverseNeighbors(DistanceHeap& heap, size_t M) {
  if (heap.size() < M || heap.empty()) return;
  SearchScratch& scratch = ThreadScratch();
  std::vector<DistanceId>& queue = scratch.queue;
  std::vector<DistanceId>& kept = scratch.kept;
  queue.clear();
  heap.Swap(queue);  // the heap keeps the cleared scratch storage
  std::make_heap(queue.begin(), queue.end(), NearerThenLargerIdFirst());
  kept.clear();
  // The nearest candidate is always kept and is the kept node every later one meets first, so
  // its distances to the next few candidates are computed together; whether a candidate is
  // covered does not depend on the order in which the kept nodes are tried. Candidates taken
  // from the queue but not reached once M are kept would have stayed in it unread.
  constexpr size_t kAhead = 4;
  DistanceId ahead[kAhead];
  float toFirst[kAhead];
  while (kept.size() < M && !queue.empty()) {
    size_t count = 0;
    for (; count < kAhead && !queue.empty(); ++count) {
      std::pop_heap(queue.begin(), queue.end(), NearerThenLargerIdFirst());
      ahead[count] = queue.back();
      queue.pop_back();
    }
    size_t from = 0;
    if (kept.empty()) kept.push_back(ahead[from++]);
    NodeDistances(
        NodeVector(kept[0].id), count - from, [&](int i) { return ahead[from + i].id; },
        [&](int i, float d) { toFirst[from + i] = d; });
    for (size_t i = from; i < count && kept.size() < M; ++i) {
      const DistanceId next = ahead[i];
      if (toFirst[i] < next.distance) continue;
      const float* v = NodeVector(next.id);
      const bool covered = std::any_of(kept.begin() + 1, kept.end(), [&](const DistanceId& k) {
        return distFn_(NodeVector(k.id), v, dim_) < next.distance;
      });
      if (!covered) kept.push_back(next);
    }
  }
  for (const DistanceId& k : kept) heap.push(k);
}

}  // namespace vexa
