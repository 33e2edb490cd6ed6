#include <gtest/gtest.h>
#include <omp.h>

#include <vector>

#include "engine/build/jaccard_stop.h"
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
