#ifndef TARVO_ENGINE_BUILD_SSG_REVERSE_ADJACENCY_H_
#define TARVO_ENGINE_BUILD_SSG_REVERSE_ADJACENCY_H_

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/build/ssg/link_entry.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// The in-edges of a graph as two flat arrays: the in-list of node t is entries[offsets[t]] up
// to entries[offsets[t + 1]], each entry naming the source node and the distance stored in the
// source's slot (-1.0 for int rows). The order within an in-list depends on thread timing.
class ReverseAdjacency {
 public:
  // An empty record for graphs of N nodes.
  explicit ReverseAdjacency(int N) : offsets(static_cast<size_t>(N) + 1) {}
  ReverseAdjacency(const ReverseAdjacency&) = delete;
  ReverseAdjacency& operator=(const ReverseAdjacency&) = delete;

  // Replaces the record by the in-edges of graph (N rows of K slots of int ids or link entries):
  // every slot whose id lies in [0, N) counts, also after a -1 and also when repeated.
  template <typename Slot>
  void Build(const Graph<Slot>& graph);

  // The in-list of node t.
  const LinkEntry* InBegin(int t) const { return entries.data() + offsets[t].load(std::memory_order_relaxed); }
  const LinkEntry* InEnd(int t) const { return entries.data() + offsets[t + 1].load(std::memory_order_relaxed); }

  std::vector<std::atomic<uint64_t>> offsets;  // N + 1 positions into entries
  std::vector<LinkEntry> entries;              // N x K of the graph: room for every slot
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_REVERSE_ADJACENCY_H_
