#ifndef TARVO_ENGINE_BUILD_HNSW_HNSW_HEAP_H_
#define TARVO_ENGINE_BUILD_HNSW_HNSW_HEAP_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa {

// A node of the HNSW build with its distance to the node being placed.
struct DistanceId {
  float distance;
  uint32_t id;
};

// Heap orders: Before(a, b) is true when b leaves the heap before a.
// The farthest entry first, by distance alone.
struct FartherFirst {
  bool operator()(const DistanceId& a, const DistanceId& b) const { return a.distance < b.distance; }
};
// The nearest entry first, by distance alone.
struct NearerFirst {
  bool operator()(const DistanceId& a, const DistanceId& b) const { return a.distance > b.distance; }
};
// The nearest entry first; on equal distances the larger id first.
struct NearerThenLargerIdFirst {
  bool operator()(const DistanceId& a, const DistanceId& b) const {
    return a.distance > b.distance || (a.distance == b.distance && a.id < b.id);
  }
};

// A binary heap of DistanceId over a vector whose storage can be swapped out, so that scratch
// buffers are reused instead of reallocated. The heap operations stay within the vector whatever
// the distances are (NaN included).
template <typename Before>
class DistanceIdHeap {
 public:
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // The entry that leaves next.
  const DistanceId& top() const { return entries_.front(); }
  void push(const DistanceId& entry) {
    entries_.push_back(entry);
    std::push_heap(entries_.begin(), entries_.end(), Before());
  }
  void pop() {
    std::pop_heap(entries_.begin(), entries_.end(), Before());
    entries_.pop_back();
  }
  void clear() { entries_.clear(); }
  void reserve(size_t n) { entries_.reserve(n); }
  // Exchanges the storage with other; the heap takes other's entries as they are, so call it with
  // an empty vector or one already in heap order.
  void Swap(std::vector<DistanceId>& other) { entries_.swap(other); }

 private:
  std::vector<DistanceId> entries_;  // in heap order
};

// The result of a layer search: the farthest of the kept entries on top.
using DistanceHeap = DistanceIdHeap<FartherFirst>;

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_HNSW_HNSW_HEAP_H_
