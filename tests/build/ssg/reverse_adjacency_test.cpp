#include "engine/build/ssg/reverse_adjacency.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "tests/build/build_test_support.h"

namespace vexa {
namespace {

using InEdge = std::pair<int, float>;  // source node, distance

// The in-list of t as (source, distance) pairs, sorted: their order depends on thread timing.
std::vector<InEdge> InList(const ReverseAdjacency& in, int t) {
  std::vector<InEdge> edges;
  for (const LinkEntry* e = in.InBegin(t); e != in.InEnd(t); ++e) edges.emplace_back(e->id, e->distance);
  std::sort(edges.begin(), edges.end());
  return edges;
}

TEST(ReverseAdjacency, CountsEverySlotInRangeOfIntRows) {
  // Slots after a -1 count, a repeated target counts twice, ids outside [0, N) are skipped.
  Graph<int> graph;
  graph.Allocate(4, 3);
  const std::vector<int> slots = {1, -1, 2, 2, 2, -1, -1, -1, -1, 7, 0, -5};
  std::copy(slots.begin(), slots.end(), graph.neighbors);
  ReverseAdjacency in(4);
  in.Build(graph);

  EXPECT_EQ(InList(in, 0), (std::vector<InEdge>{{3, -1.0f}}));
  EXPECT_EQ(InList(in, 1), (std::vector<InEdge>{{0, -1.0f}}));
  EXPECT_EQ(InList(in, 2), (std::vector<InEdge>{{0, -1.0f}, {1, -1.0f}, {1, -1.0f}}));
  EXPECT_EQ(InList(in, 3), std::vector<InEdge>{});
  EXPECT_EQ(in.offsets[0].load(), 0u);
  EXPECT_EQ(in.offsets[4].load(), 5u);
}

TEST(ReverseAdjacency, RebuiltFromLinkRowsKeepsTheStoredDistances) {
  Graph<int> initial;
  initial.Allocate(3, 2);
  std::fill(initial.neighbors, initial.neighbors + 6, 0);
  ReverseAdjacency in(3);
  in.Build(initial);  // what a rebuild must replace
  Graph<LinkEntry> link;
  FillLinkGraph(link, {{{1, 0.5f}, {2, 1.5f}}, {{2, 2.5f}}, {}}, 2);
  in.Build(link);

  EXPECT_EQ(InList(in, 0), std::vector<InEdge>{});
  EXPECT_EQ(InList(in, 1), (std::vector<InEdge>{{0, 0.5f}}));
  EXPECT_EQ(InList(in, 2), (std::vector<InEdge>{{0, 1.5f}, {1, 2.5f}}));
  EXPECT_EQ(in.offsets[3].load(), 3u);
}

}  // namespace
}  // namespace vexa
