#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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

// The selection written out plainly: every candidate tries the kept entries in
// their order; the relaxed rule then sorts the kept ones by (count, distance). The builder may try
// them in another order, but must write the same row.
std::vector<LinkEntry> PlainSelection(const std::string& index_type, int q, const std::vector<LinkEntry>& pool, int R,
                                      float threshold, const tarvo_test::Dataset& data) {
  std::vector<LinkEntry> kept, pruned;
  std::vector<int> counts(data.n, 0);
  const size_t skip = !pool.empty() && pool[0].id == q ? 1 : 0;
  if (pool.size() > skip) kept.push_back(pool[skip]);
  for (size_t i = skip + 1; i < pool.size(); ++i) {
    const LinkEntry& p = pool[i];
    bool occluded = false;
    for (const LinkEntry& r : kept) {
      const float djk = DistanceFP32L2(data.row(r.id), data.row(p.id), data.dim);
      if (r.id == p.id) {
        occluded = true;
      } else if (index_type == "SSG") {
        occluded = !(AngleCosine(r.distance, p.distance, djk) <= threshold);
      } else if (index_type == "NSG") {
        occluded = !(djk >= p.distance);
      } else {
        occluded = djk * 1.2f < p.distance;
        if (!occluded && p.distance > djk) ++counts[p.id];
      }
      if (occluded) break;
    }
    (occluded ? pruned : kept).push_back(p);
  }
  if (index_type == "TSDG") {
    std::stable_sort(kept.begin(), kept.end(), [&counts](const LinkEntry& a, const LinkEntry& b) {
      return counts[a.id] != counts[b.id] ? counts[a.id] < counts[b.id] : a.distance < b.distance;
    });
  }
  kept.resize(std::min(kept.size(), static_cast<size_t>(R)));
  for (size_t i = 0; kept.size() < static_cast<size_t>(R) && i < pruned.size(); ++i) kept.push_back(pruned[i]);
  return kept;
}

// Pools of up to 300 random points around node 0, some with a repeated id, under every rule.
TEST(PruneCandidates, EveryRuleWritesThePlainSelection) {
  const int N = 400;
  const int dim = 24;
  std::mt19937 rng(11);
  SmallVectors vectors(NormalPoints(N, dim, 11));
  const float threshold = AngleThreshold(60.0f);
  for (const char* index_type : {"SSG", "NSG", "TSDG"}) {
    for (const int R : {8, 32}) {
      SSG builder(R, 4, 60.0f, 0, "L2", "RNNDescent", index_type, dim, 0);
      vectors.AttachTo(builder);
      PruneScratch scratch;
      for (int round = 0; round < 20; ++round) {
        const int q = static_cast<int>(rng() % N);
        std::vector<LinkEntry> pool;
        for (int k = 0; k < 300; ++k) {
          const int id = static_cast<int>(rng() % N);
          pool.push_back(LinkEntry{id, DistanceFP32L2(vectors.data.row(q), vectors.data.row(id), dim)});
        }
        if (round % 2 == 0) {  // ids distinct, as a search's pool
          std::sort(pool.begin(), pool.end(), [](const LinkEntry& a, const LinkEntry& b) { return a.id < b.id; });
          pool.erase(std::unique(pool.begin(), pool.end(),
                                 [](const LinkEntry& a, const LinkEntry& b) { return a.id == b.id; }),
                     pool.end());
        }
        std::stable_sort(pool.begin(), pool.end());
        Graph<LinkEntry> link;
        FillLinkGraph(link, std::vector<std::vector<LinkEntry>>(N), R);
        builder.PruneCandidates(q, pool, link, threshold, scratch);
        const std::vector<LinkEntry> expected = PlainSelection(index_type, q, pool, R, threshold, vectors.data);
        std::vector<int> expectedIds;
        for (const LinkEntry& e : expected) expectedIds.push_back(e.id);
        EXPECT_EQ(RowIds(link, q), expectedIds) << index_type << ", R " << R << ", round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace vexa
