#include "engine/build/ssg/reverse_adjacency.h"

#include <cstddef>

#include "engine/build/parallel_for.h"

namespace vexa {
namespace {

int SlotId(int slot) { return slot; }
int SlotId(const LinkEntry& slot) { return slot.id; }
float SlotDistance(int) { return -1.0f; }
float SlotDistance(const LinkEntry& slot) { return slot.distance; }

// Calls visit(i, t, slot) for every slot of every row i whose id t lies in [0, N), all K slots of
// each row, in a static split over the rows.
template <typename Slot, typename Visit>
void ForEachEdge(const Graph<Slot>& graph, Visit&& visit) {
  const int N = graph.N;
  const int K = graph.K;
  ParallelForStatic(N, [&](int64_t i) {
    const Slot* row = graph.neighbors + static_cast<size_t>(i) * K;
    for (int j = 0; j < K; ++j) {
      const int t = SlotId(row[j]);
      if (t >= 0 && t < N) visit(static_cast<int>(i), t, row[j]);
    }
  });
}

// Counts each node's in-edges into offsets[node] (all 0 before). The counters are atomic, so
// the threads need no node locks.
template <typename Slot>
void CountInDegrees(const Graph<Slot>& graph, std::vector<std::atomic<uint64_t>>& offsets) {
  ForEachEdge(graph, [&](int, int t, const Slot&) { offsets[t].fetch_add(1, std::memory_order_relaxed); });
}

// With offsets[t] at the end of t's in-list, stores every in-edge and moves offsets[t] back to
// the start of the list; each atomic decrement hands out a position of its own.
template <typename Slot>
void FillReverseLinks(const Graph<Slot>& graph, std::vector<std::atomic<uint64_t>>& offsets,
                      std::vector<LinkEntry>& entries) {
  ForEachEdge(graph, [&](int i, int t, const Slot& slot) {
    entries[offsets[t].fetch_sub(1, std::memory_order_relaxed) - 1] = LinkEntry{i, SlotDistance(slot)};
  });
}

}  // namespace

template <typename Slot>
void ReverseAdjacency::Build(const Graph<Slot>& graph) {
  const int N = graph.N;
  for (std::atomic<uint64_t>& offset : offsets) offset.store(0, std::memory_order_relaxed);
  entries.resize(static_cast<size_t>(N) * static_cast<size_t>(graph.K));
  CountInDegrees(graph, offsets);
  for (int i = 1; i <= N; ++i) {
    offsets[i].store(offsets[i].load(std::memory_order_relaxed) + offsets[i - 1].load(std::memory_order_relaxed),
                     std::memory_order_relaxed);
  }
  FillReverseLinks(graph, offsets, entries);
}

template void ReverseAdjacency::Build<int>(const Graph<int>& graph);
template void ReverseAdjacency::Build<LinkEntry>(const Graph<LinkEntry>& graph);

}  // namespace vexa
