// GraphSearcher::SearchQuery end to end: what it writes, for hand-made graphs and for every
// searcher kind.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "engine/search/quant/distance.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/search/searcher/searcher_fixture.h"
#include "tests/support/upper_layers.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

using testing_support::BuildSearcher;
using testing_support::Line;
using testing_support::MakeGraph;

constexpr int64_t kUntouchedLabel = -7;
constexpr float kUntouchedDistance = 123.0f;

// Output rows of k slots prefilled with values that no search writes.
struct Results {
  explicit Results(int k) : labels(k, kUntouchedLabel), distances(k, kUntouchedDistance) {}
  std::vector<int64_t> labels;
  std::vector<float> distances;
};

// A chain 0 - 1 - ... - 9 at x = 0 to 9.
std::unique_ptr<FP32L2Searcher> Chain() {
  std::vector<std::vector<int>> rows(10);
  std::vector<float> xs(10);
  for (int i = 0; i < 10; ++i) {
    xs[i] = static_cast<float>(i);
    if (i > 0) rows[i].push_back(i - 1);
    if (i + 1 < 10) rows[i].push_back(i + 1);
  }
  return BuildSearcher<FP32L2Searcher>(MakeGraph(rows, 2, {0}), Line(xs));
}

TEST(SearchQuery, WritesTheNearestFirstWithLabelsFromTheGraphOrder) {
  Graph<int> graph = MakeGraph({{1}, {0, 2}, {1, 3}, {2}}, 2, {0});
  graph.true_order = {3, 1, 0, 2};  // internal node -> caller row
  graph.rev_order = {2, 1, 3, 0};
  // Caller rows 0 to 3 at x = 20, 10, 30, 0: internal nodes 0 to 3 at 0, 10, 20, 30.
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({20, 10, 30, 0}));
  const float query = 21.0f;
  Results out(3);
  searcher->SearchQuery(&query, 3, out.labels.data(), out.distances.data());
  EXPECT_EQ(out.labels, (std::vector<int64_t>{0, 2, 1}));
  EXPECT_EQ(out.distances, (std::vector<float>{1.0f, 81.0f, 121.0f}));
}

TEST(SearchQuery, PoolSizeIsTheLargerOfEfAndK) {
  const auto searcher = Chain();
  const float query = 9.0f;
  searcher->SetEf(2);
  Results small_ef(5);
  searcher->SearchQuery(&query, 5, small_ef.labels.data(), small_ef.distances.data());
  EXPECT_EQ(small_ef.labels, (std::vector<int64_t>{9, 8, 7, 6, 5}));
  searcher->SetEf(8);
  Results large_ef(4);
  large_ef.labels.resize(3);
  searcher->SearchQuery(&query, 3, large_ef.labels.data(), large_ef.distances.data());
  EXPECT_EQ(large_ef.labels, (std::vector<int64_t>{9, 8, 7}));
  EXPECT_EQ(large_ef.distances[3], kUntouchedDistance);
}

TEST(SearchQuery, NullDistancesWriteLabelsOnly) {
  const auto searcher = Chain();
  const float query = 4.2f;
  std::vector<int64_t> labels(2, kUntouchedLabel);
  searcher->SearchQuery(&query, 2, labels.data(), nullptr);
  EXPECT_EQ(labels, (std::vector<int64_t>{4, 5}));
}

// What a searcher of type S over two pieces (0 - 1 - 2 and 3 - 4, at x = 0 to 4) writes for a
// query at 4 when the walk starts at node 0.
template <typename S>
Results SearchTwoPieces(int refine_param, int k) {
  const auto pieces =
      BuildSearcher<S>(MakeGraph({{1}, {2}, {0}, {4}, {3}}, 1, {0}), Line({0, 1, 2, 3, 4}), refine_param);
  const float query = 4.0f;
  Results out(k);
  pieces->SearchQuery(&query, k, out.labels.data(), out.distances.data());
  return out;
}

TEST(SearchQuery, SlotsBeyondWhatThePoolReachedKeepTheirValues) {
  // The walk never reaches nodes 3 and 4: the coarse output and the re-rank both write three.
  for (const Results& out : {SearchTwoPieces<FP32L2Searcher>(0, 5), SearchTwoPieces<SQ8L2Searcher>(2, 5)}) {
    EXPECT_EQ(out.labels, (std::vector<int64_t>{2, 1, 0, kUntouchedLabel, kUntouchedLabel}));
    EXPECT_EQ(out.distances, (std::vector<float>{4.0f, 9.0f, 16.0f, kUntouchedDistance, kUntouchedDistance}));
  }

  // Upper layers with patience 0: the pool holds the node where the descent ended, alone.
  Graph<int> layered = MakeGraph({{1}, {0, 2}, {1}}, 2, {});
  InstallUpperLayers(&layered, 1, 0, {{2}, {}, {0}});
  const auto searcher = BuildSearcher<FP32L2Searcher>(layered, Line({0, 1, 2}));
  searcher->SetEarlyStoppingParams(1, 0);
  const float query = 4.0f;
  Results one(3);
  searcher->SearchQuery(&query, 3, one.labels.data(), one.distances.data());
  EXPECT_EQ(one.labels, (std::vector<int64_t>{2, kUntouchedLabel, kUntouchedLabel}));
  EXPECT_EQ(one.distances, (std::vector<float>{4.0f, kUntouchedDistance, kUntouchedDistance}));
}

TEST(RefineResults, ReRanksEveryPoolEntryByExactDistance) {
  // Coarse distances that put the pool in the order 0, 1, 2, 4, 3; exact distances to 31 are
  // 961, 441, 121, 1 and 81 for nodes 0 to 4 at x = 0, 10, 20, 30 and 40.
  const auto searcher = BuildSearcher<SQ8L2Searcher>(MakeGraph({{}, {}, {}, {}, {}}, 1, {}),
                                                     Line({0, 10, 20, 30, 40}), 2);
  const float query = 31.0f;
  testing_support::QueryState<SQ8L2Searcher> state(*searcher, &query, 5);
  int32_t coarse = 0;
  for (int v : {0, 1, 2, 4, 3}) state.pool.Insert(v, ++coarse);
  state.pool.entries[0].id |= kCheckedFlag;  // the checked flag is not part of the node

  Results best(2);
  searcher->RefineResults(&query, state.pool, 2, best.labels.data(), best.distances.data());
  EXPECT_EQ(best.labels, (std::vector<int64_t>{3, 4}));
  EXPECT_EQ(best.distances, (std::vector<float>{1.0f, 81.0f}));

  Results all(7);
  searcher->RefineResults(&query, state.pool, 7, all.labels.data(), all.distances.data());
  EXPECT_EQ(all.labels, (std::vector<int64_t>{3, 4, 2, 1, 0, kUntouchedLabel, kUntouchedLabel}));
  EXPECT_EQ(all.distances, (std::vector<float>{1.0f, 81.0f, 121.0f, 441.0f, 961.0f, kUntouchedDistance,
                                               kUntouchedDistance}));

  Results labels_only(3);
  searcher->RefineResults(&query, state.pool, 3, labels_only.labels.data(), nullptr);
  EXPECT_EQ(labels_only.labels, (std::vector<int64_t>{3, 4, 2}));
}

TEST(SearchQuery, CodeSearchersWithoutReRankWriteTheirIntegerDistances) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(4, 8, 5);
  const auto searcher = BuildSearcher<SQ8L2Searcher>(MakeGraph({{1, 2, 3}, {0}, {0}, {0}}, 3, {0}), data, 0);
  Results out(4);
  searcher->SearchQuery(data.row(2), 4, out.labels.data(), out.distances.data());
  EXPECT_EQ(out.labels[0], 2);
  EXPECT_EQ(out.distances[0], 0.0f);
  FreePtr<uint8_t> code = MakeAlignedArray<uint8_t>(searcher->quant.code_size);
  searcher->quant.EncodeQuery(data.row(2), code.get());
  for (int i = 0; i < 4; ++i) {
    const int32_t coarse = QuantizerKernels<NewSQ8L2Quantizer<Metric::L2>>().One(
        code.get(), searcher->quant.Code(out.labels[i]), searcher->quant.d_align);
    EXPECT_EQ(out.distances[i], static_cast<float>(coarse));
  }
}

TEST(SearchQuery, WorkingMemoryThatCannotBeHadThrowsAndWritesNothing) {
  // Code lengths beyond any block: the query code, then (for a re-ranking searcher) the refine
  // query cannot be allocated.
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(4, 8, 6);
  const Graph<int> graph = MakeGraph({{1, 2, 3}, {0}, {0}, {0}}, 3, {0});
  Results out(2);
  const auto coarse = BuildSearcher<FP32L2Searcher>(graph, data);
  coarse->quant.code_size = SIZE_MAX;
  EXPECT_THROW(coarse->SearchQuery(data.row(0), 2, out.labels.data(), out.distances.data()), std::bad_alloc);
  const auto refining = BuildSearcher<SQ8L2Searcher>(graph, data, 2);
  refining->refine_quant.code_size = SIZE_MAX;
  EXPECT_THROW(refining->SearchQuery(data.row(0), 2, out.labels.data(), out.distances.data()), std::bad_alloc);
  EXPECT_EQ(out.labels[0], kUntouchedLabel);
  EXPECT_EQ(out.distances[0], kUntouchedDistance);
}

// Every searcher kind over random vectors with their exact 16-NN graph.
class AllSearchersTest : public ::testing::Test {
 protected:
  static constexpr int kN = 400;
  static constexpr int kDim = 24;
  static constexpr int kPaddedDim = 32;

  // A vector zero-padded to the refine codes' length.
  static std::vector<float> Padded(const float* v) {
    std::vector<float> padded(v, v + kDim);
    padded.resize(kPaddedDim, 0.0f);
    return padded;
  }

  AllSearchersTest() : data_(tarvo_test::RandomDataset(kN, kDim, 21)) {}

  // With upper_layers, nodes 0 to 3 form one upper level that the query descends.
  std::unique_ptr<SearcherBase> Make(const std::string& metric, const std::string& quant_type,
                                     bool upper_layers = false) {
    const std::vector<int> knn = tarvo_test::ExactKnnGraph(data_, 16, metric == "IP");
    std::vector<std::vector<int>> rows(kN);
    for (int i = 0; i < kN; ++i) rows[i].assign(knn.begin() + i * 16, knn.begin() + (i + 1) * 16);
    Graph<int> graph = MakeGraph(rows, 16, {0, 1});
    if (upper_layers) InstallUpperLayers(&graph, 2, 0, {{1, 2}, {2, 3}, {3, 0}, {0, 1}});
    auto searcher = MakeGraphSearcher(graph, metric, quant_type);
    std::vector<float*> chunks = tarvo_test::MakeChunkTable(data_, 8);
    searcher->Build(chunks.data(), 8, kN, kDim);
    searcher->UpdatePrefetchLines();
    return searcher;
  }

  tarvo_test::Dataset data_;
};

TEST_F(AllSearchersTest, ReRankedResultsCarryExactDistancesInAscendingOrder) {
  for (const auto& [metric, quant_type] : testing_support::kAllSearchers) {
    SCOPED_TRACE(metric + " " + quant_type);
    const auto searcher = Make(metric, quant_type);
    const tarvo_test::Dataset queries = tarvo_test::RandomDataset(5, kDim, 22);
    const DistanceFunction exact = metric == "IP" ? DistanceFP32IP : DistanceFP32L2;
    for (int q = 0; q < queries.n; ++q) {
      Results out(10);
      searcher->SearchQuery(queries.row(q), 10, out.labels.data(), out.distances.data());
      for (int i = 0; i < 10; ++i) {
        ASSERT_GE(out.labels[i], 0);
        ASSERT_LT(out.labels[i], kN);
        if (i > 0) {
          EXPECT_LE(out.distances[i - 1], out.distances[i]);
        }
        if (quant_type == "SQ8U" || quant_type == "SQ4U") {
          // The re-rank runs over the refine codes' zero-padded length.
          EXPECT_EQ(out.distances[i], exact(Padded(queries.row(q)).data(), Padded(data_.row(out.labels[i])).data(),
                                            kPaddedDim));
        }
      }
    }
  }
}

TEST_F(AllSearchersTest, NonFiniteQueriesEndAndWriteOnlyValidLabels) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<std::vector<float>> queries = {std::vector<float>(kDim, nan), std::vector<float>(kDim, inf),
                                             std::vector<float>(kDim, -inf), std::vector<float>(data_.row(3), data_.row(3) + kDim)};
  queries[3][5] = nan;
  queries[3][7] = inf;
  for (const auto& [metric, quant_type] : testing_support::kAllSearchers) {
    for (bool upper_layers : {false, true}) {
      const auto searcher = Make(metric, quant_type, upper_layers);
      for (int patience : {-1, 3}) {
        searcher->SetEarlyStoppingParams(2, patience);
        for (size_t q = 0; q < queries.size(); ++q) {
          SCOPED_TRACE(metric + " " + quant_type + (upper_layers ? " layered" : "") + " query " + std::to_string(q));
          Results out(10);
          searcher->SearchQuery(queries[q].data(), 10, out.labels.data(), out.distances.data());
          for (int64_t label : out.labels) EXPECT_TRUE(label == kUntouchedLabel || (label >= 0 && label < kN));
        }
      }
    }
  }
}

}  // namespace
}  // namespace vexa
