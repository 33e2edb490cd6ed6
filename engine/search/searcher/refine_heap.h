#ifndef TARVO_ENGINE_SEARCH_SEARCHER_REFINE_HEAP_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_REFINE_HEAP_H_

#include <cstddef>
#include <vector>

namespace vexa {

// The k best candidates of a re-rank by exact distance: a max-heap of at most `capacity` entries
// whose slot 0 holds a farthest entry kept. Entries are ordered by distance and, among equal
// distances, by id; a full heap takes a new entry only when it is strictly closer than slot 0.
class RefineHeap {
 public:
  // One candidate: an internal node number and its exact distance.
  struct Entry {
    int id;
    float distance;
  };

  // An empty heap with room for `capacity` entries (zero-filled slots).
  explicit RefineHeap(int capacity) { Reset(capacity); }

  RefineHeap(const RefineHeap&) = delete;
  RefineHeap& operator=(const RefineHeap&) = delete;

  // Empties the heap and gives it room for `capacity` entries, zero-filled as in a new heap,
  // keeping the storage it already has.
  void Reset(int new_capacity) {
    size = 0;
    capacity = new_capacity;
    slots.assign(capacity > 0 ? static_cast<size_t>(capacity) : 0, Entry{0, 0.0f});
  }

  // Offers {id, distance}: kept while the heap has room, otherwise only in place of a farther
  // slot 0, which then leaves the heap.
  void Push(int id, float distance);

  // Removes and returns a farthest entry (the largest under the id tie-break). Requires size > 0.
  Entry Pop();

  int size = 0;               // entries held, 0 to capacity
  int capacity = 0;           // the k of the query
  std::vector<Entry> slots;   // capacity slots; the first size form the heap (children 2h+1, 2h+2)

 private:
  // The heap order: a before b when a is closer, or equally close with the smaller id.
  static bool Precedes(const Entry& a, const Entry& b) {
    return a.distance < b.distance || (a.distance == b.distance && a.id < b.id);
  }
  // Places entry at hole or above it, moving down every parent that precedes it.
  void RiseFrom(int hole, const Entry& entry);
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_REFINE_HEAP_H_
