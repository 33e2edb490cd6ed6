#ifndef TARVO_ENGINE_SEARCH_SEARCHER_CANDIDATE_POOL_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_CANDIDATE_POOL_H_

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/graph/graph.h"
#include "engine/search/searcher/pool_entry.h"
#include "engine/search/memory/prefetch.h"

namespace vexa {

// The working list of one query's best-first walk: up to `capacity` candidates in ascending
// order of distance (equal distances in insertion order), the cursor on the nearest one not yet
// expanded, and the visited set, one bit per node. T is the coarse distance type.
template <typename T>
class CandidatePool {
 public:
  // An empty pool of `capacity` >= 1 entries over nb nodes, prefetching adjLines lines per row.
  // Throws std::bad_alloc when the entries or the visited set cannot be allocated.
  CandidatePool(int nb, int capacity, int adjLines)
      : nb(nb),
        capacity(capacity),
        adjLines(adjLines),
        entries(static_cast<size_t>(capacity) + 1, PoolEntry<T>{0, T(0)}),
        visitedBytes((static_cast<uint64_t>(nb) + 63) / 64 * 8),
        visited(static_cast<uint64_t*>(AllocAlignedOrThrow(visitedBytes))) {}

  CandidatePool(const CandidatePool&) = delete;
  CandidatePool& operator=(const CandidatePool&) = delete;

  ~CandidatePool() { std::free(visited); }

  // Places {id, distance} after every entry of equal distance and returns its position; a full
  // pool drops a candidate that is not strictly closer than its last entry (the result is then
  // size) and otherwise pushes its last entry into the extra slot. An insertion before the cursor
  // moves the cursor back to it.
  int Insert(int id, T distance) {
    if (size == capacity && !(distance < entries[size - 1].distance)) return size;
    int lo = 0;
    int hi = size;
    while (hi > lo) {
      const int mid = (lo + hi) >> 1;
      if (distance >= entries[mid].distance) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (lo < size) std::memmove(&entries[lo + 1], &entries[lo], sizeof(PoolEntry<T>) * (size - lo));
    entries[lo] = PoolEntry<T>{id, distance};
    if (size < capacity) ++size;
    if (lo < cursor) cursor = lo;
    return lo;
  }

  // Insert, prefetching the row of a candidate that lands before the cursor: it is expanded next.
  int Insert(int id, T distance, const Graph<int>& graph) {
    const int before = cursor;
    const int position = Insert(id, distance);
    if (position < before) PrefetchRow(graph, id);
    return position;
  }

  // Offers {id, distance} from a query's entry step: Insert, then id is visited whether the pool
  // kept it or not.
  int Offer(int id, T distance) {
    const int position = Insert(id, distance);
    MarkVisited(id);
    return position;
  }

  // Marks the entry at the cursor checked, moves the cursor to the next unchecked entry (or to
  // size), prefetches that entry's row and returns the node taken. Requires cursor < size.
  int NextUnchecked(const Graph<int>& graph) {
    const int taken = cursor;
    entries[taken].id |= kCheckedFlag;
    while (cursor < size && (entries[cursor].id & kCheckedFlag) != 0) ++cursor;
    if (cursor < size) PrefetchRow(graph, entries[cursor].id);
    return entries[taken].id & kNodeIdMask;
  }

  // Whether node v has been offered to this pool.
  bool IsVisited(int v) const { return ((visited[v >> 6] >> (v & 63)) & 1) != 0; }
  // Records node v as offered.
  void MarkVisited(int v) { visited[v >> 6] |= uint64_t{1} << (v & 63); }

  int nb;                              // nodes of the searcher's graph; sizes the visited set
  int size = 0;                        // valid entries, 0 to capacity
  int cursor = 0;                      // first unchecked entry, or size when there is none
  int capacity;                        // max(ef, k) of the query
  int adjLines;                        // cache lines prefetched per adjacency row
  std::vector<PoolEntry<T>> entries;   // capacity + 1 slots; the last takes the entry pushed out
  uint64_t visitedBytes;               // byte length of the visited set
  uint64_t* visited;                   // bit v mod 64 of word v / 64 per node; owned, freed with free()

 private:
  // Prefetches the adjacency row of node v.
  void PrefetchRow(const Graph<int>& graph, int v) const {
    PrefetchLines(graph.neighbors + static_cast<size_t>(v) * graph.K, adjLines);
  }
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_CANDIDATE_POOL_H_
