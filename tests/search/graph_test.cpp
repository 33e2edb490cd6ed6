#include "engine/search/graph.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa {
namespace {

TEST(GraphAllocate, GivesEmptySlotsAndIdentityOrders) {
  Graph<int> graph;
  graph.Allocate(5, 3);
  EXPECT_EQ(graph.N, 5);
  EXPECT_EQ(graph.K, 3);
  for (int s = 0; s < 15; ++s) EXPECT_EQ(graph.neighbors[s], -1);
  EXPECT_EQ(graph.true_order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(graph.rev_order, (std::vector<int>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace vexa
