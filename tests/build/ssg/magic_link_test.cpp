#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/jaccard_stop.h"
#include "engine/build/ssg/reverse_adjacency.h"
#include "tests/build/build_test_support.h"

namespace vexa {
namespace {

TEST(JaccardConverged, StopsStrictlyWithinTheSinglePrecisionTenThousandth) {
  EXPECT_FALSE(JaccardConverged(0.9999));  // |J - 1| = 9.999999999998899e-05
  EXPECT_TRUE(JaccardConverged(0.99991));
  EXPECT_TRUE(JaccardConverged(1.0));
  EXPECT_TRUE(JaccardConverged(1.00009));
  EXPECT_FALSE(JaccardConverged(0.5));
  EXPECT_FALSE(JaccardConverged(1.0 - static_cast<double>(1e-4f)));
}

TEST(GraphJaccard, AddsEachNodesIndexAndOneForTwoEmptyRows) {
  SSG builder(2, 4, 60.0f, 0, "L2", "RNNDescent", "SSG", 1, 1);
  builder.nb = 4;
  Graph<LinkEntry> before;
  Graph<LinkEntry> after;
  FillLinkGraph(before, {{{1, 1}, {2, 2}}, {}, {{0, 1}}, {{1, 1}, {1, 1}}}, 2);
  FillLinkGraph(after, {{{2, 2}, {3, 3}}, {}, {{1, 1}}, {{1, 1}}}, 2);
  std::vector<VisitedMarks> marks(omp_get_max_threads(), VisitedMarks(4));
  // Node 0: {1, 2} and {2, 3} share 1 of 3. Node 1: both empty. Node 2: nothing shared. Node 3:
  // the repeated 1 counts twice in the old row, and the new 1 is shared: 1 of 2.
  EXPECT_DOUBLE_EQ(builder.GraphJaccard(before, after, marks), 1.0 / 3.0 + 1.0 + 0.0 + 0.5);
}

// Row i of a link graph as (id, distance) pairs up to its first -1.
std::vector<std::pair<int, float>> RowEntries(const Graph<LinkEntry>& link, int i) {
  std::vector<std::pair<int, float>> entries;
  for (int j = 0; j < link.K && link.neighbors[static_cast<size_t>(i) * link.K + j].id != -1; ++j) {
    const LinkEntry& e = link.neighbors[static_cast<size_t>(i) * link.K + j];
    entries.emplace_back(e.id, e.distance);
  }
  return entries;
}

// Points on a line, so that every angle at a node is 0 or 180 degrees.
SmallVectors LinePoints(const std::vector<float>& positions) {
  std::vector<std::vector<float>> rows;
  for (const float x : positions) rows.push_back({x});
  return SmallVectors(rows);
}

TEST(MagicLinkFirstPass, PrunesTheSearchWithTheInitialOutAndInNeighbours) {
  // A search from ep 0 with L 1 starts at row 0's first id, 1, and stops there (row 1 is empty),
  // so every pool holds 1 besides the node's initial neighbours (read past the -1 slots) and its
  // in-neighbours. Node 1's pool leads with itself, which is skipped.
  SmallVectors points = LinePoints({0, 1, 2, 3.2f, 4.5f});
  SSG builder(5, 1, 60.0f, 0, "L2", "RNNDescent", "SSG", 1, 1);
  points.AttachTo(builder);
  builder.ep = 0;
  Graph<int> initial;
  initial.Allocate(5, 3);
  initial.neighbors[0] = 1;
  initial.neighbors[2 * 3 + 1] = 3;
  initial.neighbors[4 * 3 + 2] = 2;
  ReverseAdjacency inEdges(5);
  inEdges.Build(initial);
  Graph<LinkEntry> link;
  FillLinkGraph(link, std::vector<std::vector<LinkEntry>>(5, {{4, 9.0f}}), 5);

  builder.MagicLinkFirstPass(initial, inEdges, link, AngleThreshold(60.0f));

  // Node 2 keeps 1 and 3 on either side; 4 lies behind 3 and comes back as the refill.
  const std::vector<std::vector<int>> expected = {{1}, {0}, {1, 3, 4}, {2, 1}, {2, 1}};
  for (int q = 0; q < 5; ++q) {
    EXPECT_EQ(RowIds(link, q), expected[q]) << "row " << q;
    for (const auto& [id, distance] : RowEntries(link, q)) {
      EXPECT_EQ(distance, DistanceFP32L2(points.data.row(q), points.data.row(id), 1)) << q << " -> " << id;
    }
  }
}

TEST(MagicLinkRefinePass, PoolsOneAndTwoHopsAndInNeighboursWithTheirRows) {
  // R = 6 holds every pool entry (kept or refilled), so row 0 shows node 0's whole pool. Stored
  // distances that no vector gives show which entries kept the distance of the snapshot: the
  // first one found for an id wins, so 1 keeps row 0's 7.0 rather than row 1's. Row 0's own slot
  // 0 is skipped by the one-hop walk, but node 0, being in its own in-list, comes back from there.
  SmallVectors points = LinePoints({0, 1, 2, 3, 4, 5, 6});
  SSG builder(6, 4, 60.0f, 0, "L2", "RNNDescent", "SSG", 1, 1);
  points.AttachTo(builder);
  Graph<LinkEntry> snapshot;
  FillLinkGraph(snapshot,
                {{{1, 7.0f}, {0, 9.0f}},
                 {{2, 1.0f}, {0, 1.0f}},
                 {},
                 {{0, 5.5f}},
                 {{3, 1.0f}},
                 {{0, 2.5f}, {4, 1.0f}},
                 {}},
                6);
  ReverseAdjacency inEdges(7);
  inEdges.Build(snapshot);
  Graph<LinkEntry> link;
  FillLinkGraph(link, std::vector<std::vector<LinkEntry>>(7, {{3, 1.0f}}), 6);
  std::vector<VisitedMarks> marks(omp_get_max_threads(), VisitedMarks(7));

  builder.MagicLinkRefinePass(snapshot, inEdges, link, AngleThreshold(60.0f), marks);

  std::vector<std::pair<int, float>> pool = RowEntries(link, 0);
  std::sort(pool.begin(), pool.end());
  EXPECT_EQ(pool,
            (std::vector<std::pair<int, float>>{{0, 9.0f}, {1, 7.0f}, {2, 4.0f}, {3, 5.5f}, {4, 16.0f}, {5, 2.5f}}));
  // Node 6 has neither out- nor in-neighbours: its empty pool still rewrites the row.
  EXPECT_EQ(RowIds(link, 6), std::vector<int>{});
}

TEST(VisitedMarks, EpochWrapClearsTheMarks) {
  VisitedMarks marks(3);
  EXPECT_TRUE(marks.TryMark(1));
  EXPECT_FALSE(marks.TryMark(1));
  EXPECT_FALSE(marks.TryMark(-1));
  EXPECT_FALSE(marks.TryMark(3));
  for (int i = 0; i < 255; ++i) {
    marks.Advance();
    ASSERT_NE(marks.epoch, 0);
    ASSERT_TRUE(marks.TryMark(2));
  }
  EXPECT_EQ(marks.epoch, 1);
  EXPECT_EQ(marks.marks, (std::vector<uint8_t>{0, 0, 1}));
}

}  // namespace
}  // namespace vexa
