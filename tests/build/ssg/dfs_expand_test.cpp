#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/build/build_test_support.h"

namespace vexa {
namespace {

// A builder whose final graph has the given packed rows of R slots and entry point 0.
struct RepairFixture {
  RepairFixture(const std::vector<std::vector<int>>& rows, int R, int n_try)
      : builder(R, 4, 60.0f, n_try, "L2", "RNNDescent", "SSG", 1, 0) {
    builder.nb = static_cast<int>(rows.size());
    builder.graph.Allocate(builder.nb, R);
    builder.graph.eps = {0};
    for (size_t i = 0; i < rows.size(); ++i) {
      for (size_t j = 0; j < rows[i].size(); ++j) builder.graph.neighbors[i * R + j] = rows[i][j];
      degree.push_back(static_cast<int>(rows[i].size()));
    }
  }

  std::vector<int> Row(int i) const { return PackedRow(builder.graph, i); }
  // Whether every node is reachable from s.
  bool ReachesAll(int s) const { return ReachableCount(builder.graph, s) == builder.nb; }

  SSG builder;
  std::vector<int> degree;
};

TEST(DFSExpand, LinksTheSecondComponentFromTheLargestReachedNode) {
  RepairFixture f({{1}, {2}, {3}, {4}, {}, {6}, {7}, {8}, {9}, {}}, 3, 0);
  f.builder.DFSExpand(f.degree);
  EXPECT_EQ(f.Row(4), std::vector<int>{5});
  EXPECT_EQ(f.degree, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
  for (const int i : {0, 1, 2, 3, 5, 6, 7, 8}) EXPECT_EQ(f.Row(i), std::vector<int>{i + 1});
  EXPECT_EQ(f.builder.graph.eps, std::vector<int>{0});
  EXPECT_TRUE(f.ReachesAll(0));
}

TEST(DFSExpand, RandomEntryPointsReachEveryNodeToo) {
  RepairFixture f({{1}, {2}, {3}, {4}, {}, {6}, {7}, {8}, {9}, {}}, 3, 5);
  f.builder.DFSExpand(f.degree);
  ASSERT_EQ(f.builder.graph.eps.size(), 6u);
  EXPECT_EQ(f.builder.graph.eps[0], 0);
  for (const int s : f.builder.graph.eps) EXPECT_TRUE(f.ReachesAll(s)) << "from " << s;
}

TEST(DFSExpand, ConnectedGraphIsLeftAlone) {
  RepairFixture f({{1}, {2}, {3}, {0}}, 2, 3);
  f.builder.DFSExpand(f.degree);
  EXPECT_EQ(f.degree, (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(f.builder.graph.eps.size(), 4u);
}

TEST(DFSExpand, UnreachedNodeOfFullReachedRowsGetsNoInEdgeButIsWalked) {
  // 0 and 1 fill their single slots; 2 cannot be linked, yet the walk from it reaches 3, whose
  // free slot then links 4.
  RepairFixture f({{1}, {0}, {3}, {}, {}}, 1, 0);
  f.builder.DFSExpand(f.degree);
  EXPECT_EQ(f.Row(0), std::vector<int>{1});
  EXPECT_EQ(f.Row(1), std::vector<int>{0});
  EXPECT_EQ(f.Row(3), std::vector<int>{4});
  EXPECT_FALSE(f.ReachesAll(0));
}

TEST(DFSExpand, AFilledNodeLeavesTheHeapAndTheNextLargestLinks) {
  // From 0, nodes 0 and 1 are reached with free slots; 2, 3 and 4 are unreached, with full rows.
  // 1 links 2 and 3 and is then full, so 4 is linked from 0.
  RepairFixture f({{1}, {}, {0, 1}, {0, 1}, {0, 1}}, 2, 0);
  f.builder.DFSExpand(f.degree);
  EXPECT_EQ(f.Row(0), (std::vector<int>{1, 4}));
  EXPECT_EQ(f.Row(1), (std::vector<int>{2, 3}));
  EXPECT_EQ(f.degree, (std::vector<int>{2, 2, 2, 2, 2}));
}

TEST(GenerateEps, RepeatsItsIdsAfterTheSameSrand) {
  RepairFixture a({{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}, {10}, {11}, {0}}, 2, 10);
  RepairFixture b({{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}, {10}, {11}, {0}}, 2, 10);
  std::srand(6552);
  a.builder.GenerateEps();
  std::srand(6552);
  b.builder.GenerateEps();
  EXPECT_EQ(a.builder.graph.eps, b.builder.graph.eps);
  EXPECT_EQ(a.builder.graph.eps.size(), 11u);
}

}  // namespace
}  // namespace vexa
