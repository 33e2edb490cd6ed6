// How a query enters the graph: the greedy walk from the entry points and the descent through
// the upper layers, over points on a line (distance = squared difference).

#include <gtest/gtest.h>

#include <vector>

#include "tests/search/searcher/searcher_fixture.h"
#include "tests/support/upper_layers.h"

namespace vexa {
namespace {

using testing_support::BuildSearcher;
using testing_support::Line;
using testing_support::MakeGraph;
using testing_support::QueryState;

TEST(WalkEntryPoints, WithoutEntryPointsStartsAtNodeZeroAndEndsOnAnEmptyRow) {
  const Graph<int> graph = MakeGraph({{1}, {2}, {3}, {}}, 2, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({0, 1, 2, 3}));
  const float query = 3.0f;
  QueryState<FP32L2Searcher> state(*searcher, &query, 4);
  searcher->WalkEntryPoints(&state.pool, &state.visited, &state.context);
  EXPECT_EQ(state.Ids(), (std::vector<int>{3}));
  EXPECT_EQ(state.pool.cursor, 0);
  EXPECT_TRUE(state.visited.Test(3));
  EXPECT_FALSE(state.visited.Test(2));  // the walk itself marks nothing
}

TEST(WalkEntryPoints, EqualDistancesKeepTheEarlierEntryPoint) {
  // Nodes 2 and 0 are equally close; node 2 comes first. Its row improves nothing, so the pool
  // holds that row and node 2; the other entry point stays out.
  const Graph<int> graph = MakeGraph({{1}, {}, {1, 1}}, 2, {2, 0});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({-1, 5, 1}));
  const float query = 0.0f;
  QueryState<FP32L2Searcher> state(*searcher, &query, 4);
  searcher->WalkEntryPoints(&state.pool, &state.visited, &state.context);
  EXPECT_EQ(state.Ids(), (std::vector<int>{2, 1}));  // the twice-named node 1 is offered once
  EXPECT_FALSE(state.visited.Test(0));
}

TEST(WalkEntryPoints, StopsAfterNinetyNineExpansions) {
  // A chain 0 - 1 - ... - 149 towards the query: every expansion still improves. The 99th
  // expanded node is 98, whose row (99 and 97) seeds the pool; 98 itself stays out.
  std::vector<std::vector<int>> rows(150);
  std::vector<float> xs(150);
  for (int i = 0; i < 150; ++i) {
    xs[i] = static_cast<float>(i);
    if (i + 1 < 150) rows[i].push_back(i + 1);
    if (i > 0) rows[i].push_back(i - 1);
  }
  const Graph<int> graph = MakeGraph(rows, 2, {0});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line(xs));
  const float query = 149.0f;
  QueryState<FP32L2Searcher> state(*searcher, &query, 8);
  searcher->WalkEntryPoints(&state.pool, &state.visited, &state.context);
  EXPECT_EQ(state.Ids(), (std::vector<int>{99, 97}));
  EXPECT_EQ(state.pool.entries[0].distance, 50.0f * 50.0f);
}

TEST(WalkEntryPoints, ComputesLongRowsInBatchesWithTheSameDistances) {
  // The closest node has 40 neighbours: its row is computed as 16 + 16 by the batch, then 4 and
  // 4, and becomes the pool with the node. Every distance is the exact one of a 1-D point.
  std::vector<std::vector<int>> rows(41);
  std::vector<float> xs(41);
  for (int i = 1; i <= 40; ++i) {
    rows[0].push_back(i);
    xs[i] = static_cast<float>(i) * 0.5f;
  }
  xs[0] = 100.0f;
  const Graph<int> graph = MakeGraph(rows, 40, {0});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line(xs));
  const float query = 99.75f;
  QueryState<FP32L2Searcher> state(*searcher, &query, 64);
  searcher->WalkEntryPoints(&state.pool, &state.visited, &state.context);
  ASSERT_EQ(state.pool.size, 41);
  for (int i = 0; i < state.pool.size; ++i) {
    const int id = state.pool.entries[i].id;
    const float diff = xs[id] - query;
    EXPECT_EQ(state.pool.entries[i].distance, diff * diff) << "node " << id;
  }

  // A pool of 8 keeps the 8 closest; the others it dropped or pushed out stay visited.
  QueryState<FP32L2Searcher> small(*searcher, &query, 8);
  searcher->WalkEntryPoints(&small.pool, &small.visited, &small.context);
  EXPECT_EQ(small.Ids(), (std::vector<int>{0, 40, 39, 38, 37, 36, 35, 34}));
  for (int v = 0; v <= 40; ++v) EXPECT_TRUE(small.visited.Test(v)) << "node " << v;
}

// Points 0, 10, 20, 30, 40 and 50 for node 0 to 5 and a query at 41.
class DescendUpperLayersTest : public ::testing::Test {
 protected:
  DescendUpperLayersTest() : data_(Line({0, 10, 20, 30, 40, 50})) {}

  // The node and distance that the descent offers.
  std::pair<int, float> Descend(const Graph<int>& graph, float query) {
    const auto searcher = BuildSearcher<FP32L2Searcher>(graph, data_);
    QueryState<FP32L2Searcher> state(*searcher, &query, 4);
    searcher->DescendUpperLayers(&state.pool, &state.visited, &state.context);
    EXPECT_EQ(state.pool.size, 1);
    EXPECT_EQ(state.pool.cursor, 0);
    EXPECT_TRUE(state.visited.Test(state.pool.entries[0].id));
    return {state.pool.entries[0].id, state.pool.entries[0].distance};
  }

  tarvo_test::Dataset data_;
};

TEST_F(DescendUpperLayersTest, DescendsLevelByLevelAndIgnoresTheEntryPoints) {
  Graph<int> graph = MakeGraph({{1}, {0}, {1, 3}, {2, 4}, {3, 5}, {4}}, 2, {5});
  InstallUpperLayers(&graph, 2, 0,
                     {{1, -1, 2, -1}, {-1, -1}, {1, 3, 4, 0}, {-1, -1}, {3, 5, 2, -1}, {-1, -1}});
  EXPECT_EQ(Descend(graph, 41.0f), std::make_pair(4, 1.0f));
}

TEST_F(DescendUpperLayersTest, FinishesTheRowItBeganOn) {
  // Node 0's row names 2 and then 3 (closer still): the scan ends on 3 and rescans from there;
  // node 2's row, which names the closer node 4, is never read.
  Graph<int> graph = MakeGraph({{}, {}, {}, {}, {}, {}}, 2, {});
  InstallUpperLayers(&graph, 2, 0, {{2, 3}, {}, {4, -1}, {0, -1}, {-1, -1}, {}});
  EXPECT_EQ(Descend(graph, 45.0f), std::make_pair(3, 225.0f));
}

TEST_F(DescendUpperLayersTest, EqualDistancesDoNotMoveAndALevelZeroStartStaysPut) {
  // Node 1 is 5 away from the query and node 2 exactly as far: the descent does not move.
  Graph<int> graph = MakeGraph({{}, {}, {}, {}, {}, {}}, 2, {});
  InstallUpperLayers(&graph, 2, 1, {{-1, -1}, {0, 2}, {-1, -1}, {}, {}, {}});
  EXPECT_EQ(Descend(graph, 15.0f), std::make_pair(1, 25.0f));

  Graph<int> flat = MakeGraph({{}, {}, {}, {}, {}, {}}, 2, {});
  InstallUpperLayers(&flat, 2, 5, {{}, {}, {}, {}, {}, {}});
  EXPECT_EQ(Descend(flat, 0.0f), std::make_pair(5, 2500.0f));
}

}  // namespace
}  // namespace vexa
