#include "engine/search/searcher/refine_heap.h"

namespace vexa {

void RefineHeap::RiseFrom(int hole, const Entry& entry) {
  while (hole > 0) {
    const int parent = (hole - 1) / 2;
    if (!Precedes(slots[parent], entry)) break;
    slots[hole] = slots[parent];
    hole = parent;
  }
  slots[hole] = entry;
}

void RefineHeap::Push(int id, float distance) {
  const Entry entry{id, distance};
  if (size < capacity) {
    RiseFrom(size++, entry);
    return;
  }
  // Full: only a strictly closer candidate replaces the farthest one. It sinks by distance alone,
  // into the farther child (the left one on a tie), while that child is strictly farther.
  if (size == 0 || !(distance < slots[0].distance)) return;
  int hole = 0;
  for (;;) {
    const int left = 2 * hole + 1;
    if (left >= size) break;
    int child = left;
    if (left + 1 < size && slots[left + 1].distance > slots[left].distance) child = left + 1;
    if (!(slots[child].distance > distance)) break;
    slots[hole] = slots[child];
    hole = child;
  }
  slots[hole] = entry;
}

RefineHeap::Entry RefineHeap::Pop() {
  --size;
  const Entry last = slots[size];
  slots[size] = slots[0];
  // The hole left at the top descends to a leaf through the larger child (the right one unless it
  // precedes the left one), then the former last entry rises from it.
  int hole = 0;
  int child = 2 * hole + 2;
  while (child < size) {
    if (Precedes(slots[child], slots[child - 1])) --child;
    slots[hole] = slots[child];
    hole = child;
    child = 2 * hole + 2;
  }
  if (child == size) {
    slots[hole] = slots[child - 1];
    hole = child - 1;
  }
  RiseFrom(hole, last);
  return slots[size];
}

}  // namespace vexa
