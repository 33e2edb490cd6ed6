#ifndef TARVO_ENGINE_BUILD_HNSW_VISITED_LIST_H_
#define TARVO_ENGINE_BUILD_HNSW_VISITED_LIST_H_

#include <cstdint>
#include <memory>

namespace vexa {

// The visits of one layer search over N nodes: a node is visited when marks[node] == tag. Each
// search moves to the next tag, so the marks are cleared only when the 16-bit tag wraps.
struct VisitedList {
  // A list of n marks (not yet cleared) whose first search clears them. Returns null when the
  // marks cannot be allocated.
  static std::unique_ptr<VisitedList> Make(int n);

  // Starts a search: the next tag, clearing the marks when it wraps to 0 (the tag is then 1).
  void NextTag();

  uint16_t tag = 0xFFFF;
  std::unique_ptr<uint16_t[]> marks;  // N entries; owned
  int N = 0;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_HNSW_VISITED_LIST_H_
