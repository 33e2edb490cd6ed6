#ifndef TARVO_ENGINE_INDEX_NODE_BINDING_H_
#define TARVO_ENGINE_INDEX_NODE_BINDING_H_

#include "engine/index/numa_api.h"

namespace vexa {

// Binds the calling thread to one NUMA node after another while it works on their replicas,
// and to all nodes again when it goes, however the work ends.
class NodeBinding {
 public:
  NodeBinding() = default;
  NodeBinding(const NodeBinding&) = delete;
  NodeBinding& operator=(const NodeBinding&) = delete;
  ~NodeBinding() { Numa().runOnNode(-1); }

  // Runs the calling thread on node from now on.
  void To(int node) { Numa().runOnNode(node); }
};

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_NODE_BINDING_H_
