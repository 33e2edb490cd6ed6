#ifndef TARVO_ENGINE_BUILD_SSG_LINK_GRAPH_H_
#define TARVO_ENGINE_BUILD_SSG_LINK_GRAPH_H_

#include "engine/build/ssg/link_entry.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// Gives an empty link graph N rows of R zero-filled slots ({id 0, distance 0}) from
// AllocAligned, graph type 0 and no orders or entry points. Throws std::bad_alloc.
void AllocateLinkGraph(Graph<LinkEntry>& link, int N, int R);

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_LINK_GRAPH_H_
