// The link pass and the reverse-edge pass over six points of a plane with a hand-made initial
// graph, R 2, L 2 and the 60-degree angle rule, every row worked out by hand from the rules.
// Squared L2 distances between whole numbers are exact, and no angle is near 60 degrees.
#include <gtest/gtest.h>

#include <vector>

#include "engine/build/ssg/angle_rule.h"
#include "tests/build/build_test_support.h"
#include "tests/support/omp_threads.h"

namespace vexa {
namespace {

// Points 0 (-2, -1), 1 (-2, 0), 2 (2, -2), 3 (1, -1), 4 (3, 3), 5 (2, -3), the initial rows
// 0 [1, 4], 1 [3, 4], 2 [0, 4], 3 [2, 4], 4 [5, 0], 5 [2, 4], entry node 0.
const std::vector<std::vector<float>> kPoints = {{-2, -1}, {-2, 0}, {2, -2}, {1, -1}, {3, 3}, {2, -3}};
const std::vector<std::vector<int>> kInitialRows = {{1, 4}, {3, 4}, {0, 4}, {2, 4}, {5, 0}, {2, 4}};

std::vector<std::vector<LinkEntry>> Rows(const Graph<LinkEntry>& link) {
  std::vector<std::vector<LinkEntry>> rows(link.N);
  for (int i = 0; i < link.N; ++i) {
    for (int j = 0; j < link.K && link.neighbors[i * link.K + j].id != -1; ++j) {
      rows[i].push_back(link.neighbors[i * link.K + j]);
    }
  }
  return rows;
}

void ExpectRows(const Graph<LinkEntry>& link, const std::vector<std::vector<LinkEntry>>& expected) {
  const std::vector<std::vector<LinkEntry>> rows = Rows(link);
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(rows[i].size(), expected[i].size()) << "row " << i;
    for (size_t j = 0; j < expected[i].size(); ++j) {
      EXPECT_EQ(rows[i][j].id, expected[i][j].id) << "row " << i << ", slot " << j;
      EXPECT_EQ(rows[i][j].distance, expected[i][j].distance) << "row " << i << ", slot " << j;
    }
  }
}

// Every search starts from row 0's ids 1 and 4 (L = 2, so no random ids).
// 0: 1 (1), 4 (41); expanding 1 finds 3 (9), which replaces 4, and expanding 3 evaluates 2 (17).
//    The pool 1, 3, 2, 4: 3 is at a right angle to 1 (kept), and the row is full.
// 1: itself (0) first, then 3 (10) from its own row; expanding 3 evaluates 2 (20). Past itself,
//    3 is kept; 2 (cosine 0.99) and 4 (0.65) lie behind 3 and refill the row in pool order.
// 2: expanding 1 finds 3 (2), expanding 3 finds 2 itself (0), expanding 2 evaluates 0 (17). The
//    pool 2, 3, 0, 1, 4: past itself 3 is kept and every other one lies behind it (0.86, 0.95,
//    0.55); 0 refills.
// 3: 3 itself (0) and 2 (2) lead the search, which evaluates 0 (9) from 2's row; 0 lies at an
//    obtuse angle from 2 (cosine -0.71) and is kept.
// 4: itself, then 3 (20) found from 1; 2, 1, 5 and 0 all lie behind 3; 2 refills.
// 5: 2 (1) and 3 (5) lead; 3 lies behind 2 (0.89), 0 (20) does not (0.45) and is kept.
const std::vector<std::vector<LinkEntry>> kLinked = {{{1, 1}, {3, 9}},  {{3, 10}, {2, 20}}, {{3, 2}, {0, 17}},
                                                     {{2, 2}, {0, 9}},  {{3, 20}, {2, 26}}, {{2, 1}, {0, 20}}};

// Node by node: 0 -> 1 fills the full row 1 anew, nearest first: 0 (1) and 3 (10), at a wide
// angle; 0 -> 3 is there already. 1 -> 3 and 2 -> 0 find full rows that select themselves again
// (the new entry, 1 at 10 and 2 at 17, comes last and the row is full before it). 4 -> 3
// likewise; 4 -> 2 selects 3 (2) alone from 3, 0 (17) and 4 (26), both behind 3, and leaves a
// free slot, which 5 -> 2 takes. 5 -> 0 selects 1 and 3 again.
const std::vector<std::vector<LinkEntry>> kWithReverseEdges = {{{1, 1}, {3, 9}}, {{0, 1}, {3, 10}},
                                                               {{3, 2}, {5, 1}}, {{2, 2}, {0, 9}},
                                                               {{3, 20}, {2, 26}}, {{2, 1}, {0, 20}}};

TEST(SSGLinkWorkedExample, LinkPassAndReverseEdgesGiveTheRowsDerivedByHand) {
  SmallVectors vectors(kPoints);
  SSG builder(2, 2, 60.0f, 0, "L2", "RNNDescent", "SSG", 2, 0);
  vectors.AttachTo(builder);
  builder.ep = 0;
  Graph<int> initial;
  initial.Allocate(6, 2);
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 2; ++j) initial.neighbors[i * 2 + j] = kInitialRows[i][j];
  }
  Graph<LinkEntry> link;
  link.AllocateZeroed(6, 2);
  const float threshold = AngleThreshold(60.0f);
  tarvo_test::OmpThreads team(1);

  builder.TarvoLink(initial, link, threshold);
  ExpectRows(link, kLinked);

  ReverseEdgeTargets targets(6);
  ReverseEdgeScratch scratch;
  for (int n = 0; n < 6; ++n) builder.InsertReverseEdges(n, targets, link, threshold, scratch);
  ExpectRows(link, kWithReverseEdges);
}

}  // namespace
}  // namespace vexa
