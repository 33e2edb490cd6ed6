#include <gtest/gtest.h>

#include <mutex>
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
  std::vector<std::mutex> locks(kPoints.size());
  ReverseEdgeScratch scratch;

  builder.InsertReverseEdges(1, locks, link, AngleThreshold(60.0f), scratch);

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

}  // namespace
}  // namespace vexa
