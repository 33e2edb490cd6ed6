#ifndef TARVO_ENGINE_BUILD_SSG_REVERSE_EDGE_TARGETS_H_
#define TARVO_ENGINE_BUILD_SSG_REVERSE_EDGE_TARGETS_H_

#include <vector>

#include "engine/build/node_lock.h"

namespace vexa {

// What the reverse-edge pass keeps per node of the link graph besides its row. A full row that
// takes a new edge is replaced by an angle-pruned selection, in which no entry is occluded by a
// nearer one; as long as the row keeps those leading entries, a later selection need not compare
// them with one another again.
struct ReverseEdgeTargets {
  explicit ReverseEdgeTargets(int N) : locks(static_cast<size_t>(N)), selected(static_cast<size_t>(N), 0) {}
  ReverseEdgeTargets(const ReverseEdgeTargets&) = delete;
  ReverseEdgeTargets& operator=(const ReverseEdgeTargets&) = delete;

  std::vector<NodeLock> locks;  // one per node: guards its row of the link graph and its count below
  std::vector<int> selected;    // per node: its row's leading entries written by the last selection
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_REVERSE_EDGE_TARGETS_H_
