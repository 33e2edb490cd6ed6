#ifndef TARVO_ENGINE_SEARCH_SEARCHER_CANDIDATE_POOL_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_CANDIDATE_POOL_H_

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/search/graph/graph.h"
#include "engine/search/searcher/pool_entry.h"
#include "engine/search/memory/prefetch.h"

namespace vexa {

// The working list of one best-first walk: up to `capacity` candidates in ascending order of
// distance (equal distances in insertion order) and the cursor on the nearest one not yet
// expanded. T is the distance type. The walk keeps its visited set beside the pool.
template <typename T>
class CandidatePool {
 public:
  // An empty pool of `capacity` >= 1 entries, prefetching adjLines lines per row. Throws
  // std::bad_alloc when the entries cannot be allocated.
  CandidatePool(int capacity, int adjLines)
      : capacity(capacity), adjLines(adjLines), entries(static_cast<size_t>(capacity) + 1, PoolEntry<T>{0, T(0)}) {}

  CandidatePool(const CandidatePool&) = delete;
  CandidatePool& operator=(const CandidatePool&) = delete;
  CandidatePool(CandidatePool&&) = default;
  CandidatePool& operator=(CandidatePool&&) = default;

  // Empties the pool and gives it room for `capacity` >= 1 entries, all slots {0, 0} as in a new
  // pool, keeping the storage it already has. Throws std::bad_alloc when the room cannot be had.
  void Reset(int new_capacity, int new_adjLines) {
    size = 0;
    cursor = 0;
    capacity = new_capacity;
    adjLines = new_adjLines;
    entries.assign(static_cast<size_t>(capacity) + 1, PoolEntry<T>{0, T(0)});
  }

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

  // Marks the entry at the cursor checked, moves the cursor to the next unchecked entry (or to
  // size), prefetches that entry's row and returns the node taken. Requires cursor < size.
  int NextUnchecked(const Graph<int>& graph) {
    const int taken = cursor;
    entries[taken].id |= kCheckedFlag;
    while (cursor < size && (entries[cursor].id & kCheckedFlag) != 0) ++cursor;
    if (cursor < size) PrefetchRow(graph, entries[cursor].id);
    return entries[taken].id & kNodeIdMask;
  }

  int size = 0;                        // valid entries, 0 to capacity
  int cursor = 0;                      // first unchecked entry, or size when there is none
  int capacity;                        // max(ef, k) of a query
  int adjLines;                        // cache lines prefetched per adjacency row
  std::vector<PoolEntry<T>> entries;   // capacity + 1 slots; the last takes the entry pushed out

 private:
  // Prefetches the adjacency row of node v.
  void PrefetchRow(const Graph<int>& graph, int v) const {
    PrefetchLines(graph.neighbors + static_cast<size_t>(v) * graph.K, adjLines);
  }
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_CANDIDATE_POOL_H_
