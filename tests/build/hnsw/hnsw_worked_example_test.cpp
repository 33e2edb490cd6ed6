// One-thread HNSW inserts of seven points on a line, every list worked out by hand from the
// insert, the layer search and the diverse selection: M 2 (lists of 2 above level 0, of 4 at
// level 0), ef_construction 2, squared L2 distances between whole numbers (all exact).
#include <gtest/gtest.h>

#include <vector>

#include "tests/build/hnsw/hnsw_test_util.h"

namespace vexa {
namespace {

// Row r sits at kLine[r]. The level generator gives rows 0 to 6 the levels 2, 0, 0, 0, 1, 0, 1.
//
// Row 0 (4, level 2) is the entry node. Row 1 (1) finds 0 alone. Row 2 (-12): the search from 0
// finds 0 (256) and 1 (169); 1 is kept and 0 dropped, as 1 lies nearer to 0 (9) than row 2 does.
// Row 3 (3): 0 (1) and 1 (4), both kept (0 and 1 lie 9 apart); its list is [1, 0], farthest
// first. Row 4 (-8, level 1) links to 0 on level 1; on level 0 the search from 0 moves on to
// 1 (81) and 2 (16), both kept (169 apart). Row 5 (0) first walks level 1 from 0 (16) without
// moving to 4 (64); on level 0 it finds 1 (1) and 3 (9), 3 drops behind 1, so it links to 1
// alone. Row 1's list [0, 2, 3, 4] is full: row 5 and the four are selected again from row 1,
// nearest first: 5 (1), 3 (4) kept, 0 (9) behind 3, 4 (81) and 2 (169) behind 5, so row 1
// keeps [3, 5]. Row 6 (-7, level 1) finds 4 (1) and 0 (121) on level 1, both kept; the level-0
// search starts from the nearer one, 4, and finds 4 (1) and 2 (25); 2 drops behind 4. From 0,
// the farther one, it would have found 5 (49) and 1 (64) and linked to 5 instead.
const std::vector<float> kLine = {4, 1, -12, 3, -8, 0, -7};

TEST(HnswWorkedExample, InsertsContinueFromTheNearestSelectedNode) {
  tarvo_test::Dataset data;
  data.n = static_cast<int>(kLine.size());
  data.dim = 1;
  data.values = kLine;
  ASSERT_EQ(ExpectedLevels(2, data.n), (std::vector<int>{2, 0, 0, 0, 1, 0, 1}));
  std::vector<float*> table;
  const std::unique_ptr<HNSW> hnsw = BuildHnsw(data, table, 2, 2, 1);
  const Graph<int>& graph = hnsw->graph;

  const std::vector<std::vector<int>> level0 = {{1, 3}, {3, 5}, {1, 4}, {1, 0}, {1, 2, 6}, {1}, {4}};
  ASSERT_EQ(graph.K, 4);
  for (int r = 0; r < data.n; ++r) {
    std::vector<int> row(level0[r]);
    row.resize(4, -1);
    EXPECT_EQ(std::vector<int>(graph.neighbors + r * 4, graph.neighbors + r * 4 + 4), row) << "row " << r;
  }

  const Hnsw1pGraph& upper = *graph.hnsw1pgraph;
  EXPECT_EQ(upper.ep, 0);
  EXPECT_EQ(upper.nodeLevels, (std::vector<int>{2, 0, 0, 0, 1, 0, 1}));
  const auto list = [&upper](int r) {
    return std::vector<int>(upper.lists[r].data(), upper.lists[r].data() + upper.lists[r].size());
  };
  EXPECT_EQ(list(0), (std::vector<int>{4, 6, -1, -1}));  // level 1, then the empty level 2
  EXPECT_EQ(list(4), (std::vector<int>{0, 6}));
  EXPECT_EQ(list(6), (std::vector<int>{0, 4}));
}

}  // namespace
}  // namespace vexa
