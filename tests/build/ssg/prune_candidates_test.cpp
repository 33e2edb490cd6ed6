#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/build/ssg/angle_rule.h"
#include "tests/build/build_test_support.h"

namespace vexa {
namespace {

TEST(AngleThreshold, MatchesTheSinglePrecisionDegreesToRadians) {
  EXPECT_EQ(AngleThreshold(60.0f), 0.49999997f);
  EXPECT_EQ(AngleThreshold(90.0f), 6.123234e-17f);
  EXPECT_EQ(AngleThreshold(180.0f), -1.0f);
}

struct PruneCase {
  const char* name;
  const char* index_type;
  const char* metric;
  float A;
  int R;
  std::vector<std::vector<float>> points;  // point 0 is the node q
  std::vector<int> pool;                   // pool ids, nearest first
  std::vector<int> row;                    // the ids written, -1 after them
};

void PrintTo(const PruneCase& c, std::ostream* os) { *os << c.name; }

class PruneCandidatesTest : public testing::TestWithParam<PruneCase> {};

TEST_P(PruneCandidatesTest, WritesTheSelectedRow) {
  const PruneCase& c = GetParam();
  SmallVectors vectors(c.points);
  SSG builder(c.R, 4, c.A, 0, c.metric, "RNNDescent", c.index_type, vectors.data.dim, 0);
  vectors.AttachTo(builder);
  std::vector<LinkEntry> pool;
  for (const int id : c.pool) {
    pool.push_back(LinkEntry{id, builder.distFn(vectors.data.row(0), vectors.data.row(id), vectors.data.dim)});
  }
  Graph<LinkEntry> link;
  FillLinkGraph(link, std::vector<std::vector<LinkEntry>>(c.points.size(), std::vector<LinkEntry>(c.R, {7, 1.0f})),
                c.R);
  PruneScratch scratch;

  builder.PruneCandidates(0, pool, link, AngleThreshold(c.A), scratch);

  std::vector<int> expected = c.row;
  expected.resize(c.R, -1);
  std::vector<int> written;
  for (int j = 0; j < c.R; ++j) written.push_back(link.neighbors[j].id);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(RowIds(link, 1), std::vector<int>(c.R, 7)) << "another row was touched";
}

const std::vector<std::vector<float>> kLine = {{0, 0}, {1, 0}, {2, 0}, {-3, 0}};
const std::vector<std::vector<float>> kCorner = {{0, 0}, {1, 0}, {0, 2}, {-3, 0}};
const std::vector<std::vector<float>> kEdges3d = {{0, 0, 0}, {1, 1, 0}, {1, 0, 1}, {-3, 0, 0}};
const std::vector<std::vector<float>> kRelaxed = {{0, 0}, {1, 0}, {0.6f, 1}, {-2, 0}};
const std::vector<std::vector<float>> kAxes = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {0, 2, 0, 0, 0},
                                               {0, 0, 3, 0, 0}, {0, 0, 0, 4, 0}, {0, 0, 0, 0, 5}};

// Kept entries come first, then the pruned ones refill the row in pool order.
INSTANTIATE_TEST_SUITE_P(
    Cases, PruneCandidatesTest,
    testing::Values(PruneCase{"AngleCollinearPruned", "SSG", "L2", 60, 3, kLine, {1, 2, 3}, {1, 3, 2}},
                    PruneCase{"AnglePerpendicularKept", "SSG", "L2", 60, 3, kCorner, {1, 2, 3}, {1, 2, 3}},
                    PruneCase{"AngleExactlySixtyPruned", "SSG", "L2", 60, 3, kEdges3d, {1, 2, 3}, {1, 3, 2}},
                    PruneCase{"AngleExactlySixtyPrunesTheSecond", "SSG", "L2", 60, 3, kEdges3d, {2, 1, 3}, {2, 3, 1}},
                    PruneCase{"AngleSixtyKeptAtFiftyNine", "SSG", "L2", 59, 3, kEdges3d, {1, 2, 3}, {1, 2, 3}},
                    PruneCase{"NsgNearerToKeptPruned", "NSG", "L2", 60, 3, kLine, {1, 2, 3}, {1, 3, 2}},
                    PruneCase{"NsgFartherFromKeptKept", "NSG", "L2", 60, 3, kCorner, {1, 2, 3}, {1, 2, 3}},
                    PruneCase{"RelaxedMuchNearerPruned", "TSDG", "L2", 60, 3, kLine, {1, 2, 3}, {1, 3, 2}},
                    PruneCase{"RelaxedCountedGoesAfterUncounted", "TSDG", "L2", 60, 3, kRelaxed, {1, 2, 3}, {1, 3, 2}},
                    PruneCase{"RelaxedFartherUncountedWins", "TSDG", "L2", 60, 2, kRelaxed, {1, 2, 3}, {1, 3}},
                    PruneCase{"LeadingNodeItselfSkipped", "SSG", "L2", 60, 3, kLine, {0, 1, 2}, {1, 2}},
                    PruneCase{"LaterNodeItselfIsACandidate", "SSG", "IP", 60, 3, {{1, 0}, {2, 0}}, {1, 0}, {1, 0}},
                    PruneCase{"ShortPoolPadded", "SSG", "L2", 60, 20, kLine, {1, 2, 3}, {1, 3, 2}},
                    PruneCase{"EmptyPool", "SSG", "L2", 60, 3, kLine, {}, {}},
                    PruneCase{"AngleKeepsOnlyTheNearestR", "SSG", "L2", 60, 3, kAxes, {1, 2, 3, 4, 5}, {1, 2, 3}},
                    PruneCase{"NsgKeepsOnlyTheNearestR", "NSG", "L2", 60, 3, kAxes, {1, 2, 3, 4, 5}, {1, 2, 3}}),
    [](const testing::TestParamInfo<PruneCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vexa
