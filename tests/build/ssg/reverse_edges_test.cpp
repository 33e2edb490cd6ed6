#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/build/ssg/angle_rule.h"
#include "tests/build/build_test_support.h"

namespace vexa {
namespace {

// Node 0 is the target t at the origin, node 1 the source n; the others fill t's row.
const std::vector<std::vector<float>> kPoints = {{0, 0}, {-0.5f, 0}, {1, 0}, {2, 0}, {3, 0.1f}, {0, 3}};

struct ReverseCase {
  const char* name;
  std::vector<int> targetRow;  // row 0 before
  std::vector<int> result;     // row 0 after
};

void PrintTo(const ReverseCase& c, std::ostream* os) { *os << c.name; }

class InsertReverseEdgesTest : public testing::TestWithParam<ReverseCase> {};

TEST_P(InsertReverseEdgesTest, AddsTheSourceToItsTarget) {
  const ReverseCase& c = GetParam();
  const int R = 3;
  SmallVectors vectors(kPoints);
  SSG builder(R, 4, 60.0f, 0, "L2", "RNNDescent", "TSDG", 2, 0);
  vectors.AttachTo(builder);
  const auto entry = [&](int from, int to) {
    return LinkEntry{to, DistanceFP32L2(vectors.data.row(from), vectors.data.row(to), 2)};
  };
  std::vector<std::vector<LinkEntry>> rows(kPoints.size());
  for (const int id : c.targetRow) rows[0].push_back(entry(0, id));
  rows[1] = {entry(1, 0)};
  Graph<LinkEntry> link;
  FillLinkGraph(link, rows, R);
  ReverseEdgeTargets targets(static_cast<int>(kPoints.size()));
  ReverseEdgeScratch scratch;

  builder.InsertReverseEdges(1, targets, link, AngleThreshold(60.0f), scratch);

  EXPECT_EQ(RowIds(link, 0), c.result);
  EXPECT_EQ(RowIds(link, 1), std::vector<int>{0});
  for (int j = static_cast<int>(c.result.size()); j < R; ++j) EXPECT_EQ(link.neighbors[j].id, -1);
}

// A full row becomes the angle-pruned selection of its entries and the source, nearest first
// (whatever index_type is): 3 and 4 lie behind 2 as seen from the target, 5 does not.
INSTANTIATE_TEST_SUITE_P(Cases, InsertReverseEdgesTest,
                         testing::Values(ReverseCase{"EdgeAlreadyThere", {2, 1}, {2, 1}},
                                         ReverseCase{"FreeSlotTakesTheSource", {2}, {2, 1}},
                                         ReverseCase{"FullRowIsPruned", {2, 3, 5}, {1, 2, 5}},
                                         ReverseCase{"FullRowIsPrunedAndPadded", {2, 3, 4}, {1, 2}}),
                         [](const testing::TestParamInfo<ReverseCase>& info) { return info.param.name; });

// A row that a selection wrote is not compared within itself again; every later selection of it
// must still be the one that compares all pairs. Rows of 4 among 80 random points take one
// reverse edge after the other, once with the targets' record kept from edge to edge and once
// with a fresh record for every node (nothing settled, every pair compared).
TEST(InsertReverseEdges, SettledRowsGiveTheSelectionOfAllPairs) {
  const int N = 80;
  const int R = 4;
  const int dim = 20;
  std::mt19937 rng(5);
  SmallVectors vectors(NormalPoints(N, dim, 5));
  SSG builder(R, 4, 60.0f, 0, "L2", "RNNDescent", "SSG", dim, 0);
  vectors.AttachTo(builder);
  std::vector<std::vector<LinkEntry>> rows(N);
  for (int i = 0; i < N; ++i) {
    while (rows[i].size() < static_cast<size_t>(R)) {
      const int id = static_cast<int>(rng() % N);
      bool taken = id == i;
      for (const LinkEntry& e : rows[i]) taken = taken || e.id == id;
      if (!taken) rows[i].push_back(LinkEntry{id, DistanceFP32L2(vectors.data.row(i), vectors.data.row(id), dim)});
    }
  }
  Graph<LinkEntry> kept, fresh;
  FillLinkGraph(kept, rows, R);
  FillLinkGraph(fresh, rows, R);
  ReverseEdgeTargets targets(N);
  ReverseEdgeScratch scratch;
  const float threshold = AngleThreshold(60.0f);
  for (int n = 0; n < N; ++n) {
    builder.InsertReverseEdges(n, targets, kept, threshold, scratch);
    ReverseEdgeTargets unsettled(N);
    builder.InsertReverseEdges(n, unsettled, fresh, threshold, scratch);
    for (int i = 0; i < N * R; ++i) {
      ASSERT_EQ(kept.neighbors[i].id, fresh.neighbors[i].id) << "after node " << n << ", slot " << i;
    }
  }
  int settled = 0;
  for (const int count : targets.selected) settled += count;
  EXPECT_GT(settled, N) << "few rows were settled: the test compares little";
}

}  // namespace
}  // namespace vexa
