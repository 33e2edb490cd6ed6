#ifndef TARVO_ENGINE_INDEX_REPLICA_WALK_H_
#define TARVO_ENGINE_INDEX_REPLICA_WALK_H_

#include <memory>
#include <vector>

#include "engine/index/node_binding.h"
#include "engine/index/print_line.h"
#include "engine/index/tarvo_impl.h"

namespace vexa {

// The replicas of an index in NUMA mode: replica i lives on node i.
using Replicas = std::vector<std::unique_ptr<TarvoImpl>>;

// Prints that the index holds no replica for the current NUMA mode (it was made in the other
// mode, or with no node) and gives -1.
inline int ImplMissing() {
  PrintLine("[ERROR] impl is nullptr. maybe caused by inconsistent status of NUMA_ENABLED.");
  return -1;
}

// Runs op(replica i, i) on each replica in order while the calling thread runs on node i, up to
// the first that gives -1; that result, or 0. The replicas before a failed one keep what op did.
template <typename Op>
int WalkReplicas(const Replicas& replicas, Op op) {
  NodeBinding binding;
  for (size_t i = 0; i < replicas.size(); ++i) {
    binding.To(static_cast<int>(i));
    if (op(*replicas[i], static_cast<int>(i)) < 0) return -1;
  }
  return 0;
}

// Runs op(replica 0) while the calling thread runs on node 0; op's result.
template <typename Op>
int OnReplica0(const Replicas& replicas, Op op) {
  NodeBinding binding;
  binding.To(0);
  return op(*replicas[0]);
}

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_REPLICA_WALK_H_
