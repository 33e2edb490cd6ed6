#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/build/hnsw/hnsw_test_util.h"

namespace vexa {
namespace {

using Forest = GraphReorderWorker::Forest;

// A graph of the given rows (padded with -1 to K slots) over one-dimensional points, with its
// reorder worker.
class ReorderFixture {
 public:
  ReorderFixture(const std::vector<float>& points, int K, const std::vector<std::vector<int>>& rows)
      : points_(points), table_{points_.data()} {
    graph.Allocate(static_cast<int>(rows.size()), K);
    for (size_t i = 0; i < rows.size(); ++i) std::copy(rows[i].begin(), rows[i].end(), graph.neighbors + i * K);
    worker = L2ReorderWorker(table_.data(), 20, 1);
  }

  std::vector<int> Row(int i) const { return {graph.neighbors + i * graph.K, graph.neighbors + (i + 1) * graph.K}; }

  // An FP32 L2 searcher over the graph as it is now, with ef = N.
  std::unique_ptr<SearcherBase> Searcher() {
    std::unique_ptr<SearcherBase> searcher;
    CapturePrinted([&] {
      searcher = MakeGraphSearcher(graph, "L2", "FP32");
      searcher->Build(table_.data(), worker.consecutiveLog, graph.N, 1);
    });
    searcher->UpdatePrefetchLines();
    searcher->SetEf(graph.N);
    return searcher;
  }

  Graph<int> graph;
  GraphReorderWorker worker;

 private:
  std::vector<float> points_;
  std::vector<float*> table_;
};

// The set of rows that row r links to, for every row, in the caller's row numbers.
std::vector<std::set<int>> LinksByRow(const Graph<int>& graph) {
  std::vector<std::set<int>> links(graph.N);
  for (int i = 0; i < graph.N; ++i) {
    for (int s = 0; s < graph.K && graph.neighbors[i * graph.K + s] != -1; ++s) {
      links[graph.true_order[i]].insert(graph.true_order[graph.neighbors[i * graph.K + s]]);
    }
  }
  return links;
}

void ExpectInversePermutations(const Graph<int>& graph) {
  ASSERT_EQ(graph.true_order.size(), static_cast<size_t>(graph.N));
  ASSERT_EQ(graph.rev_order.size(), static_cast<size_t>(graph.N));
  for (int i = 0; i < graph.N; ++i) {
    ASSERT_GE(graph.true_order[i], 0);
    ASSERT_LT(graph.true_order[i], graph.N);
    EXPECT_EQ(graph.rev_order[graph.true_order[i]], i);
  }
}

// Points 0, -1, 2 and 3.5 with rows 0: (1, 2), 1: (0), 2: (0, 3), 3: (2) and entry point 0.
ReorderFixture FourPoints() {
  ReorderFixture f({0, -1, 2, 3.5}, 2, {{1, 2}, {0}, {0, 3}, {2}});
  f.graph.eps = {0};
  return f;
}

TEST(GraphReorder, FourPointExampleStepByStep) {
  ReorderFixture f = FourPoints();
  Forest mst(4);
  CapturePrinted([&] { f.worker.BuildMST(f.graph, mst); });
  const Forest tree = {{{1, 1.0f}, {2, 4.0f}}, {{0, 1.0f}}, {{3, 2.25f}, {0, 4.0f}}, {{2, 2.25f}}};
  EXPECT_EQ(mst, tree);
  const std::vector<int> order = GraphReorderWorker::DfsOrder(mst, 0);
  EXPECT_EQ(order, (std::vector<int>{0, 2, 3, 1}));
  const std::vector<int> weight = GraphReorderWorker::SubtreeWeights(mst, order);
  EXPECT_EQ(weight, (std::vector<int>{4, 1, 2, 1}));
  GraphReorderWorker::SortByWeight(mst, weight);
  EXPECT_EQ(mst[2], (std::vector<std::pair<int, float>>{{3, 2.25f}, {0, 4.0f}}));
  // Heaviest subtree first: 2 (weight 2) before 1 (weight 1).
  EXPECT_EQ(GraphReorderWorker::DfsOrder(mst, 0), (std::vector<int>{0, 2, 3, 1}));
}

TEST(GraphReorder, FourPointExampleRenumbersThroughTheWholeRun) {
  ReorderFixture f = FourPoints();
  const std::string printed = CapturePrinted([&] { f.worker.MagicReorder(f.graph); });
  EXPECT_EQ(printed,
            "[GraphReorder] Start magic reordering.\n"
            "#total edges:6, avg_deg: 1.50\n"
            "[GraphReorder] Step#1 Start correcting graph, removing self-loop and multi-edges.\n"
            "#total edges:6, avg_deg: 1.50\n"
            "[GraphReorder] Step#2 Start Magic Reordering.\n"
            "Start Building MST, N:4\n"
            "Done cal edges. size:6\n"
            "Start ReorderDfs.\n"
            "[ReorderDfs] Done assign vertex weights met.\n"
            "vis size:4\n"
            "Done edge sort, root:0\n"
            "Done weighted dfs.\n"
            "Start in-place reordering.\n"
            "[Graph] In-place rebuilding graph and eps, N:4, K:2, #eps:1\n");
  EXPECT_EQ(f.graph.true_order, (std::vector<int>{0, 2, 3, 1}));
  EXPECT_EQ(f.graph.rev_order, (std::vector<int>{0, 3, 1, 2}));
  EXPECT_EQ(f.Row(0), (std::vector<int>{3, 1}));
  EXPECT_EQ(f.Row(1), (std::vector<int>{0, 2}));
  EXPECT_EQ(f.Row(2), (std::vector<int>{1, -1}));
  EXPECT_EQ(f.Row(3), (std::vector<int>{0, -1}));
  EXPECT_EQ(f.graph.eps, std::vector<int>{0});
}

// Edges of equal weight enter the forest in (from, to) order, whatever the order of the rows:
// node 0 at 0 has nodes 1 and 2 at the same distance on either side.
TEST(GraphReorder, EqualWeightsEnterTheTreeInFromToOrder) {
  struct Case {
    std::vector<std::vector<int>> rows;
    Forest tree;
  };
  const Case cases[] = {
      // Row 0 links 2 before 1; the edge (0, 1) still comes first.
      {{{2, 1}, {0}, {0}}, {{{1, 1.0f}, {2, 1.0f}}, {{0, 1.0f}}, {{0, 1.0f}}}},
      // Only (0, 2) and (1, 0) are stored: the smaller from wins although its to is larger.
      {{{2}, {0}, {}}, {{{2, 1.0f}, {1, 1.0f}}, {{0, 1.0f}}, {{0, 1.0f}}}},
  };
  for (const Case& c : cases) {
    ReorderFixture f({0, -1, 1}, 2, c.rows);
    Forest mst(3);
    CapturePrinted([&] { f.worker.BuildMST(f.graph, mst); });
    EXPECT_EQ(mst, c.tree) << "row 0 holds " << c.rows[0].size() << " links";
  }
}

TEST(GraphReorder, CorrectGraphKeepsFirstValidOccurrencesUpToTheFirstEmptySlot) {
  ReorderFixture f(std::vector<float>(9, 0), 5, {{}, {}, {5, 5, 2, -1, 7}, {8, 9, -3, 3, 4}, {}, {}, {}, {}, {}});
  f.worker.CorrectGraph(f.graph);
  EXPECT_EQ(f.Row(2), (std::vector<int>{5, -1, -1, -1, -1}));
  EXPECT_EQ(f.Row(3), (std::vector<int>{8, 4, -1, -1, -1}));
  EXPECT_EQ(f.Row(0), std::vector<int>(5, -1));
}

TEST(GraphReorder, InvalidIdsLowerTheSecondEdgeCount) {
  ReorderFixture f({0, 1, 2}, 3, {{1, 7, -2}, {0, 2, 2}, {1, 2}});
  f.graph.eps = {0};
  const std::string printed = CapturePrinted([&] { f.worker.MagicReorder(f.graph); });
  EXPECT_NE(printed.find("#total edges:8, avg_deg: 2.67\n"
                         "[GraphReorder] Step#1 Start correcting graph, removing self-loop and multi-edges.\n"
                         "#total edges:4, avg_deg: 1.33\n"),
            std::string::npos)
      << printed;
  ExpectInversePermutations(f.graph);
}

// Two pieces that no link joins: the walk covers the root's piece, then goes on from the
// smallest node not yet reached, so every node gets its own number and every link keeps its
// endpoints.
TEST(GraphReorder, GraphInTwoPiecesGetsAFullPermutation) {
  struct Case {
    std::vector<int> eps;
    std::vector<int> true_order;
  };
  const Case cases[] = {
      {{4}, {4, 5, 3, 0, 1, 2}},
      {{0}, {0, 1, 2, 3, 4, 5}},
      // No entry point: the walk starts at node 0.
      {{}, {0, 1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    ReorderFixture f({0, 1, 2, 10, 11, 12}, 2, {{1}, {0, 2}, {1}, {4}, {3, 5}, {4}});
    f.graph.eps = c.eps;
    const std::vector<std::set<int>> before = LinksByRow(f.graph);
    const std::string printed = CapturePrinted([&] { f.worker.MagicReorder(f.graph); });
    EXPECT_EQ(printed.find("Wrong dfs_order."), std::string::npos);
    ExpectInversePermutations(f.graph);
    EXPECT_EQ(f.graph.true_order, c.true_order);
    EXPECT_EQ(LinksByRow(f.graph), before);
    if (!c.eps.empty()) {
      EXPECT_EQ(f.graph.eps, std::vector<int>{0});
    }
  }
}

// The same two pieces, interleaved in row order and entered through one entry point each: after
// the reorder every query still finds its two nearest rows of its own piece, reported in the
// caller's row numbers.
TEST(GraphReorder, GraphInTwoPiecesIsSearchedInCallerRows) {
  const std::vector<float> points = {0, 100, 1, 101, 2, 102, 3, 103};
  ReorderFixture f(points, 2, {{2}, {3}, {0, 4}, {1, 5}, {2, 6}, {3, 7}, {4}, {5}});
  f.graph.eps = {0, 1};
  CapturePrinted([&] { f.worker.MagicReorder(f.graph); });
  EXPECT_EQ(f.graph.true_order, (std::vector<int>{0, 2, 4, 6, 1, 3, 5, 7}));
  const std::unique_ptr<SearcherBase> searcher = f.Searcher();
  for (int r = 0; r < static_cast<int>(points.size()); ++r) {
    const float query = points[r] + 0.25f;
    std::vector<int64_t> expected(points.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::sort(expected.begin(), expected.end(), [&](int64_t a, int64_t b) {
      return std::fabs(points[a] - query) < std::fabs(points[b] - query);
    });
    expected.resize(2);
    std::vector<int64_t> labels(2, -1);
    searcher->SearchQuery(&query, 2, labels.data(), nullptr);
    EXPECT_EQ(labels, expected) << "query near row " << r;
  }
}

// NaN distances must not upset the edge sort.
TEST(GraphReorder, NanVectorsStillGiveAPermutation) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ReorderFixture f({0, nan, 2, nan, 4, 5}, 3, {{1, 2, 3}, {0, 3, 4}, {0, 5, 1}, {4, 0, 2}, {3, 5, 1}, {2, 4, 0}});
  f.graph.eps = {0};
  const std::vector<std::set<int>> before = LinksByRow(f.graph);
  CapturePrinted([&] { f.worker.MagicReorder(f.graph); });
  ExpectInversePermutations(f.graph);
  EXPECT_EQ(LinksByRow(f.graph), before);
}

// An HNSW graph is walked from its upper layers' entry point although it has no entry-point
// list, and its upper layers follow the new numbering.
TEST(GraphReorder, HnswGraphStartsAtTheUpperEntryPoint) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(300, 4, 8);
  std::vector<float*> table;
  auto hnsw = BuildHnsw(data, table, 5, 20, 2);
  Graph<int>& graph = hnsw->graph;
  const int ep = graph.hnsw1pgraph->ep;
  const std::vector<int> levels = graph.hnsw1pgraph->nodeLevels;
  const std::vector<std::set<int>> before = LinksByRow(graph);
  GraphReorderWorker worker = L2ReorderWorker(table.data(), 20, data.dim);
  const std::string printed = CapturePrinted([&] { worker.MagicReorder(graph); });
  EXPECT_NE(printed.find("Done edge sort, root:" + std::to_string(ep) + "\n"), std::string::npos);
  ExpectInversePermutations(graph);
  EXPECT_EQ(graph.true_order[0], ep);
  EXPECT_EQ(graph.hnsw1pgraph->ep, 0);
  for (int i = 0; i < graph.N; ++i) EXPECT_EQ(graph.hnsw1pgraph->nodeLevels[i], levels[graph.true_order[i]]);
  EXPECT_EQ(LinksByRow(graph), before);
}

}  // namespace
}  // namespace vexa
