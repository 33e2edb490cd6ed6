#include "engine/search/searcher/refine_heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace vexa {
namespace {

// Pops everything into positions size - 1 down to 0, as the re-rank writes its results.
std::vector<std::pair<int, float>> Drain(RefineHeap& heap) {
  std::vector<std::pair<int, float>> out(heap.size);
  for (int p = heap.size - 1; p >= 0; --p) {
    const RefineHeap::Entry e = heap.Pop();
    out[p] = {e.id, e.distance};
  }
  return out;
}

TEST(RefineHeap, KeepsTheKClosestAscending) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> uniform(0.0f, 100.0f);
  std::vector<std::pair<float, int>> all;
  RefineHeap heap(10);
  for (int id = 0; id < 500; ++id) {
    const float d = uniform(rng);
    all.emplace_back(d, id);
    heap.Push(id, d);
  }
  std::sort(all.begin(), all.end());
  const auto out = Drain(heap);
  ASSERT_EQ(out.size(), 10u);
  for (int p = 0; p < 10; ++p) {
    EXPECT_EQ(out[p].first, all[p].second);
    EXPECT_EQ(out[p].second, all[p].first);
  }
  EXPECT_EQ(heap.size, 0);
}

TEST(RefineHeap, FewerPushesThanCapacityComeBackSortedByDistanceThenId) {
  RefineHeap heap(5);
  heap.Push(3, 2.0f);
  heap.Push(1, 2.0f);
  heap.Push(2, 2.0f);
  heap.Push(9, 1.0f);
  const auto out = Drain(heap);
  EXPECT_EQ(out, (std::vector<std::pair<int, float>>{{9, 1.0f}, {1, 2.0f}, {2, 2.0f}, {3, 2.0f}}));
}

TEST(RefineHeap, FullHeapRefusesADistanceEqualToItsFarthest) {
  RefineHeap heap(2);
  heap.Push(4, 1.0f);
  heap.Push(5, 3.0f);
  heap.Push(0, 3.0f);  // equal to the farthest kept: not taken, although its id is smaller
  EXPECT_EQ(Drain(heap), (std::vector<std::pair<int, float>>{{4, 1.0f}, {5, 3.0f}}));
}

TEST(RefineHeap, TiesAtTheFarthestDistanceFollowTheHeapSteps) {
  // (5, 1) is on top after the first two pushes, so the closer push evicts it and (3, 1) stays.
  RefineHeap heap(2);
  heap.Push(5, 1.0f);
  heap.Push(3, 1.0f);
  heap.Push(1, 0.5f);
  EXPECT_EQ(Drain(heap), (std::vector<std::pair<int, float>>{{1, 0.5f}, {3, 1.0f}}));

  // Sinking compares distances alone and takes the left child on a tie.
  RefineHeap sink(3);
  sink.Push(7, 4.0f);
  sink.Push(8, 2.0f);
  sink.Push(6, 2.0f);
  sink.Push(2, 1.0f);  // replaces (7, 4) at the top; (8, 2) on the left moves up
  EXPECT_EQ(sink.slots[0].id, 8);
  EXPECT_EQ(sink.slots[1].id, 2);
  EXPECT_EQ(sink.slots[2].id, 6);
  EXPECT_EQ(Drain(sink), (std::vector<std::pair<int, float>>{{2, 1.0f}, {6, 2.0f}, {8, 2.0f}}));
}

TEST(RefineHeap, NanDistancesNeitherLoopNorEvict) {
  RefineHeap heap(2);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  heap.Push(1, 1.0f);
  heap.Push(2, 2.0f);
  heap.Push(3, nan);
  EXPECT_EQ(Drain(heap), (std::vector<std::pair<int, float>>{{1, 1.0f}, {2, 2.0f}}));
}

}  // namespace
}  // namespace vexa
