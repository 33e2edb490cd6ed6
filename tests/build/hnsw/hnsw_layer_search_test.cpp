#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "tests/build/hnsw/hnsw_test_util.h"

namespace vexa {
namespace {

using tarvo_test::Dataset;

// The ids of a heap, ascending.
std::vector<uint32_t> SortedIds(DistanceHeap heap) {
  std::vector<uint32_t> ids;
  for (; !heap.empty(); heap.pop()) ids.push_back(heap.top().id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Points on a line; node r is inserted as number r (one thread). Node 5 repeats node 1.
class DiversityTest : public testing::Test {
 protected:
  void SetUp() override {
    points_.n = 7;
    points_.dim = 1;
    points_.values = {0, 1, 2, 3, -1, 1, -2};
    hnsw_ = BuildHnsw(points_, table_, 2, 11, 1);
  }

  // The heap of ids with their distances to node 0.
  DistanceHeap HeapOf(const std::vector<uint32_t>& ids) const {
    DistanceHeap heap;
    for (const uint32_t id : ids) heap.push({points_.values[id] * points_.values[id], id});
    return heap;
  }

  Dataset points_;
  std::vector<float*> table_;
  std::unique_ptr<HNSW> hnsw_;
};

TEST_F(DiversityTest, KeepsAtMostMDiverseNeighbours) {
  struct Case {
    size_t M;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> kept;
  };
  const Case cases[] = {
      // Exactly M candidates are still pruned: 1 is closer to 2 and 3 than they are to the query.
      {3, {1, 2, 3}, {1}},
      // M - 1 candidates are left alone.
      {4, {1, 2, 3}, {1, 2, 3}},
      // One neighbour on each side; the search stops at M kept.
      {2, {1, 4, 2, 6}, {1, 4}},
      {3, {1, 2, 4, 6}, {1, 4}},
      // Equal distances: the larger id comes first, so 5 is kept and its twin 1 is pruned.
      {2, {1, 5}, {5}},
  };
  for (const Case& c : cases) {
    DistanceHeap heap = HeapOf(c.ids);
    hnsw_->KeepDiverseNeighbors(heap, c.M);
    EXPECT_EQ(SortedIds(heap), c.kept) << "M " << c.M << ", " << c.ids.size() << " candidates";
  }
}

// With ef_construction at least n a layer search returns every node of the connected base layer
// with its exact distance, also after the 16-bit visit tag has wrapped.
TEST(HnswExploreLayer, FindsEveryNodeAcrossTagWraps) {
  const Dataset data = tarvo_test::RandomDataset(24, 2, 7);
  std::vector<float*> table;
  auto hnsw = BuildHnsw(data, table, 5, 32, 1);
  std::vector<uint32_t> all(data.n);
  for (int i = 0; i < data.n; ++i) all[i] = static_cast<uint32_t>(i);
  const float* q = data.row(3);
  for (int search = 0; search < 70000; ++search) {
    DistanceHeap found = hnsw->ExploreLayer(static_cast<uint32_t>(search % data.n), q, 0);
    if (search % 9973 != 0) {
      ASSERT_EQ(found.size(), all.size()) << "search " << search;
      continue;
    }
    EXPECT_EQ(found.top().distance, DistanceFP32L2(q, data.row(found.top().id), data.dim));
    EXPECT_EQ(SortedIds(found), all) << "search " << search;
  }
}

// "L2" selects the squared Euclidean distance and every other name the negated inner product:
// a layer search reports the distances of that function.
TEST(HnswExploreLayer, MetricNameChoosesTheDistance) {
  struct Case {
    const char* metric;
    DistanceFunction distance;
  };
  const Case cases[] = {{"L2", DistanceFP32L2}, {"IP", DistanceFP32IP}, {"cosine", DistanceFP32IP}};
  const Dataset data = tarvo_test::RandomDataset(40, 4, 9);
  const float* q = data.row(7);
  for (const Case& c : cases) {
    std::vector<float*> table;
    auto hnsw = BuildHnsw(data, table, 5, 64, 1, c.metric);
    DistanceHeap found = hnsw->ExploreLayer(0, q, 0);
    ASSERT_FALSE(found.empty()) << c.metric;
    for (; !found.empty(); found.pop()) {
      EXPECT_EQ(found.top().distance, c.distance(q, data.row(static_cast<int>(found.top().id)), data.dim))
          << c.metric << ", node " << found.top().id;
    }
  }
}

}  // namespace
}  // namespace vexa
