#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/build/ssg/nn_descent.h"
#include "engine/build/ssg/rnn_descent.h"
#include "tests/build/captured_lines.h"
#include "tests/build/graph_walk.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

constexpr int kLog = 5;

enum class Method { kRNN, kNN };

std::string Name(Method method) { return method == Method::kRNN ? "RNNDescent" : "NNDescent"; }
void PrintTo(Method method, std::ostream* os) { *os << Name(method); }

// The initial graph of the method over data, and the lines its run printed.
std::unique_ptr<Graph<int>> InitialGraph(Method method, const tarvo_test::Dataset& data,
                                         std::vector<std::string>* lines = nullptr) {
  std::vector<float*> chunks = tarvo_test::MakeChunkTable(data, kLog);
  const DescentInput input{chunks.data(), kLog, data.n, data.dim, DistanceFP32L2, 200, 10, 100, 12};
  std::unique_ptr<Graph<int>> graph;
  const std::vector<std::string> printed =
      CapturedLines([&] { graph = method == Method::kRNN ? RNNDescent(input).Run() : NNDescent(input).Run(); });
  if (lines != nullptr) *lines = printed;
  return graph;
}

class DescentTest : public testing::TestWithParam<Method> {};

TEST_P(DescentTest, PrintsItsLines) {
  std::vector<std::string> lines;
  InitialGraph(GetParam(), tarvo_test::RandomDataset(100, 4, 3), &lines);
  const char* first = GetParam() == Method::kRNN ? "Init using RNN." : "Init using KNN.";
  EXPECT_EQ(lines,
            (std::vector<std::string>{first, "[Graph] Init Graph with another graph.", "[SSG] Start SSG Init."}));
}

TEST_P(DescentTest, RowsHoldDistinctOtherNodesNearestFirst) {
  // Fewer than 201 vectors: no row can fill its 200 slots.
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(150, 6, 4);
  const std::unique_ptr<Graph<int>> graph = InitialGraph(GetParam(), data);
  ASSERT_EQ(graph->N, 150);
  ASSERT_EQ(graph->K, 200);
  for (int i = 0; i < graph->N; ++i) {
    const std::vector<int> row = PackedRow(*graph, i);
    ASSERT_FALSE(row.empty());
    ASSERT_LT(row.size(), 150u);
    EXPECT_EQ(std::set<int>(row.begin(), row.end()).size(), row.size()) << "row " << i;
    for (int j = static_cast<int>(row.size()); j < graph->K; ++j) ASSERT_EQ(graph->neighbors[i * 200 + j], -1);
    float previous = 0.0f;
    for (const int id : row) {
      ASSERT_GE(id, 0);
      ASSERT_LT(id, 150);
      ASSERT_NE(id, i);
      const float d = DistanceFP32L2(data.row(i), data.row(id), data.dim);
      EXPECT_GE(d, previous) << "row " << i << " is not sorted";
      previous = d;
    }
  }
}

TEST_P(DescentTest, RowsStartWithTheNearestNeighbours) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(1000, 8, 5);
  const std::unique_ptr<Graph<int>> graph = InitialGraph(GetParam(), data);
  const std::vector<int> exact = tarvo_test::ExactKnnGraph(data, 10, false);
  // The nearest neighbour occludes nothing nearer, so RNN-Descent keeps it too; NN-Descent
  // approximates all ten.
  const int depth = GetParam() == Method::kRNN ? 1 : 10;
  int found = 0;
  for (int i = 0; i < data.n; ++i) {
    const std::vector<int> row = PackedRow(*graph, i);
    const std::set<int> head(row.begin(), row.begin() + std::min<size_t>(depth, row.size()));
    for (int k = 0; k < depth; ++k) found += head.count(exact[i * 10 + k]);
  }
  EXPECT_GE(static_cast<double>(found) / (data.n * depth), 0.98);
}

TEST_P(DescentTest, OneThreadRepeatsItself) {
  const int threads = omp_get_max_threads();
  omp_set_num_threads(1);
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(300, 6, 6);
  const std::unique_ptr<Graph<int>> a = InitialGraph(GetParam(), data);
  const std::unique_ptr<Graph<int>> b = InitialGraph(GetParam(), data);
  omp_set_num_threads(threads);
  EXPECT_TRUE(std::equal(a->neighbors, a->neighbors + 300 * 200, b->neighbors));
}

struct OfferCase {
  const char* name;
  int poolSize;
  Candidate offer;
  std::vector<int> ids;  // the list afterwards, by ascending distance
};

void PrintTo(const OfferCase& c, std::ostream* os) { *os << c.name; }

class OfferToListTest : public testing::TestWithParam<OfferCase> {};

TEST_P(OfferToListTest, AdmitsUpToTheLargestDistanceOnce) {
  const OfferCase& c = GetParam();
  std::vector<Candidate> list = {{1, 1.0f, false}, {2, 2.0f, false}, {3, 3.0f, false}, {4, 4.0f, false}};
  std::make_heap(list.begin(), list.end());
  NNDescent::OfferToList(list, c.poolSize, c.offer.id, c.offer.distance);

  EXPECT_TRUE(std::is_heap(list.begin(), list.end()));
  std::sort(list.begin(), list.end());
  std::vector<int> ids;
  for (const Candidate& e : list) {
    ids.push_back(e.id);
    EXPECT_EQ(e.isNew, e.id == 9) << "entry " << e.id;
  }
  EXPECT_EQ(ids, c.ids);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OfferToListTest,
    testing::Values(OfferCase{"EqualToTheLargestReplacesItWhenFull", 4, {9, 4.0f, true}, {1, 2, 3, 9}},
                    OfferCase{"NearerReplacesTheLargestWhenFull", 4, {9, 0.5f, true}, {9, 1, 2, 3}},
                    OfferCase{"FartherThanTheLargestIsRefused", 5, {9, 4.5f, true}, {1, 2, 3, 4}},
                    OfferCase{"PresentIdIsRefusedWhateverItsDistance", 4, {2, 0.5f, true}, {1, 2, 3, 4}},
                    OfferCase{"ListWithRoomGrows", 5, {9, 4.0f, true}, {1, 2, 3, 4, 9}}),
    [](const testing::TestParamInfo<OfferCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Methods, DescentTest, testing::Values(Method::kRNN, Method::kNN),
                         [](const testing::TestParamInfo<Method>& info) { return Name(info.param); });

}  // namespace
}  // namespace vexa
