// The first iteration of each initial-graph descent on five points of a line, with candidate
// lists and samples set by hand and one thread, every list worked out by hand from the rules.
// Squared L2 distances between whole numbers are exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/build/ssg/nn_descent.h"
#include "engine/build/ssg/rnn_descent.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

namespace vexa {
namespace {

// Points of a line with their chunk table; the input of a descent over them.
struct LinePoints {
  explicit LinePoints(const std::vector<float>& xs) {
    data.n = static_cast<int>(xs.size());
    data.dim = 1;
    data.values = xs;
    chunks = tarvo_test::MakeChunkTable(data, 2);
  }
  DescentInput Input(int initK, int initSample, int initReverseCap) {
    return DescentInput{chunks.data(), 2, data.n, 1, DistanceFP32L2, initK, initSample, initReverseCap, 1};
  }
  tarvo_test::Dataset data;
  std::vector<float*> chunks;
};

// A list entry as the test states it.
struct Entry {
  int id;
  float distance;
  bool isNew;
  bool operator==(const Entry& other) const {
    return id == other.id && distance == other.distance && isNew == other.isNew;
  }
};

void PrintTo(const Entry& e, std::ostream* os) { *os << "{" << e.id << ", " << e.distance << ", " << e.isNew << "}"; }

std::vector<Entry> Entries(const std::vector<Candidate>& list) {
  std::vector<Entry> entries;
  for (const Candidate& c : list) entries.push_back(Entry{c.id, c.distance, c.isNew});
  return entries;
}

std::vector<Candidate> Candidates(const std::vector<Entry>& entries) {
  std::vector<Candidate> list;
  for (const Entry& e : entries) list.push_back(Candidate{e.id, e.distance, e.isNew});
  return list;
}

// Points 0, 1, 3, 7 and 8. Node by node, in order:
// 0 takes [3 49, 1 1, 2 9] (all new), sorted 1, 2, 3: 1 is kept; 2 lies nearer to 1 (4) than to
//   0 and goes to 1 at 4, 3 likewise (36). 0 keeps [1], now old.
// 1 holds [4 49] and the two handed to it, sorted 2 (4), 3 (36), 4 (49): 2 is kept, 3 goes to 2
//   at 16 and 4 at 25. 1 keeps [2].
// 2 holds [0 9, 3 16, 4 25]: 0 kept; 3 is 49 from 0, farther than from 2, so kept; 4 is 64
//   from 0 but 1 from 3 and goes to 3 at 1. 2 keeps [0, 3].
// 3 holds [0 49 old, 4 1 new], sorted 4, 0: 0 (old) against 4 (new) lies 64 apart, kept.
// 4 holds [3 1 old, 2 25 old, 0 64 new]: 2 and 3 are both old and not compared, so both stay;
//   0 lies 49 from 3 and 9 from 2, both nearer than 64, and goes to the nearer one, 2, at 9,
//   after 2's kept entries.
TEST(RNNDescentWorkedExample, FirstPruningHandsEachOccludedCandidateToItsNearestOccluder) {
  LinePoints points({0, 1, 3, 7, 8});
  RNNDescent descent(points.Input(4, 2, 2));
  descent.nodes = std::vector<DescentNode>(5);
  const std::vector<std::vector<Entry>> before = {{{3, 49, true}, {1, 1, true}, {2, 9, true}},
                                                  {{4, 49, true}},
                                                  {{0, 9, true}},
                                                  {{0, 49, false}},
                                                  {{3, 1, false}, {2, 25, false}, {0, 64, true}}};
  for (int u = 0; u < 5; ++u) descent.nodes[u].candidates = Candidates(before[u]);
  tarvo_test::OmpThreads team(1);

  descent.PruneAndRedistribute();

  const std::vector<std::vector<Entry>> after = {{{1, 1, false}},
                                                 {{2, 4, false}},
                                                 {{0, 9, false}, {3, 16, false}, {0, 9, true}},
                                                 {{4, 1, false}, {0, 49, false}},
                                                 {{3, 1, false}, {2, 25, false}}};
  for (int u = 0; u < 5; ++u) EXPECT_EQ(Entries(descent.nodes[u].candidates), after[u]) << "node " << u;
}

// Points 0, 2, 3, 7 and 10, lists of one new entry each and the new samples [1, 2, 3] of node 0
// and [4, 1] of node 2; 2 samples per node, reverse lists of 2.
// Comparing node 0's samples: the pair 1-2 (1) enters both lists; 1-3 (25) equals the largest
//   of 1's list but 3 is there already, and exceeds 3's largest (9); 2-3 (16) exceeds the
//   largest of both. Node 2's samples: 1-4 (64) exceeds 1's largest (25) and is in 4's list.
// Trimming sorts the lists and samples up to two new entries: 0 [4 100], 1 [2 1, 3 25],
//   2 [1 1, 0 9], 3 [4 9], 4 [1 64]; the largest distances are 100, 25, 9, 9 and 64.
// Sampling: every sampled entry is new, so goes to the new samples and becomes old; a node is
//   also a new reverse sample of the sampled node when it lies farther from it than that node's
//   largest distance: 0 of 4 (100 > 64), 1 of 3 (25 > 9) and 4 of 1 (64 > 25).
TEST(NNDescentWorkedExample, FirstIterationOffersSampledPairsAndSamplesTheNewEntries) {
  LinePoints points({0, 2, 3, 7, 10});
  NNDescent descent(points.Input(2, 2, 2));
  descent.nodes = std::vector<DescentNode>(5);
  const std::vector<std::vector<Entry>> seeded = {
      {{4, 100, true}}, {{3, 25, true}}, {{0, 9, true}}, {{4, 9, true}}, {{1, 64, true}}};
  for (int u = 0; u < 5; ++u) {
    descent.nodes[u].candidates = Candidates(seeded[u]);
    descent.nodes[u].sampleEnd = 2;
  }
  descent.nodes[0].newIds = {1, 2, 3};
  descent.nodes[2].newIds = {4, 1};
  tarvo_test::OmpThreads team(1);

  descent.CompareSampledPairs();
  descent.ReleaseSampleLists();
  descent.TrimCandidates();
  descent.CollectSamples();
  descent.MergeReverseSamples();

  const std::vector<std::vector<Entry>> lists = {{{4, 100, false}},
                                                 {{2, 1, false}, {3, 25, false}},
                                                 {{1, 1, false}, {0, 9, false}},
                                                 {{4, 9, false}},
                                                 {{1, 64, false}}};
  const std::vector<int> sampleEnds = {1, 2, 2, 1, 1};
  const std::vector<std::vector<int>> newIds = {{4}, {2, 3, 4}, {1, 0}, {4, 1}, {1, 0}};
  for (int u = 0; u < 5; ++u) {
    std::vector<Candidate> list = descent.nodes[u].candidates;
    EXPECT_TRUE(std::is_heap(list.begin(), list.end())) << "node " << u;
    std::sort(list.begin(), list.end());
    EXPECT_EQ(Entries(list), lists[u]) << "node " << u;
    EXPECT_EQ(descent.nodes[u].sampleEnd, sampleEnds[u]) << "node " << u;
    EXPECT_EQ(descent.nodes[u].newIds, newIds[u]) << "node " << u;
    EXPECT_TRUE(descent.nodes[u].oldIds.empty()) << "node " << u;
    EXPECT_TRUE(descent.nodes[u].reverseNewIds.empty()) << "node " << u;
  }
}

}  // namespace
}  // namespace vexa
