#include "engine/build/ssg/link_graph.h"

#include <cstddef>
#include <cstdint>

#include "engine/search/memory/alloc_aligned.h"

namespace vexa {

void AllocateLinkGraph(Graph<LinkEntry>& link, int N, int R) {
  const size_t slots = static_cast<size_t>(static_cast<int64_t>(N) * R);
  link.neighbors = static_cast<LinkEntry*>(AllocAlignedOrThrow(slots * sizeof(LinkEntry)));
  link.N = N;
  link.K = R;
}

}  // namespace vexa
