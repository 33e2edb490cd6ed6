// Recall of the eight searchers over the exact 32-NN graph of 4,000 Fashion-MNIST images, against
// brute force on 200 test images, with and without early stopping.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/search/searcher/searcher_fixture.h"
#include "tests/support/cached_exact_knn.h"
#include "tests/support/centered_unit_rows.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

using testing_support::MakeGraph;

constexpr int kBase = 4000;
constexpr int kQueries = 200;
constexpr int kDegree = 32;
constexpr int kK = 10;
constexpr int kEf = 100;

// One metric's base rows, queries, exact graph and true neighbours.
struct Fixture {
  explicit Fixture(bool inner_product)
      : base(tarvo_test::LoadFashionMnist("train", kBase)), queries(tarvo_test::LoadFashionMnist("t10k", kQueries)) {
    if (inner_product) tarvo_test::CenterAndNormalize(&base, &queries);
    truth = tarvo_test::CachedExactKnn(base, queries, kK, inner_product);
    const std::vector<int> knn = tarvo_test::CachedExactKnnGraph(base, kDegree, inner_product);
    std::vector<std::vector<int>> rows(base.n);
    for (int i = 0; i < base.n; ++i) rows[i].assign(knn.begin() + i * kDegree, knn.begin() + (i + 1) * kDegree);
    graph = std::make_unique<Graph<int>>(MakeGraph(rows, kDegree, {0}));
  }

  tarvo_test::Dataset base;
  tarvo_test::Dataset queries;
  std::vector<int> truth;
  std::unique_ptr<Graph<int>> graph;
};

class SearcherQualityTest : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() {
    l2_ = new Fixture(false);
    ip_ = new Fixture(true);
  }
  static void TearDownTestSuite() {
    delete l2_;
    delete ip_;
  }

  // recall@10 of one searcher kind with the given early-stopping parameters.
  static double Recall(const std::string& metric, const std::string& quant_type, int adding_pref, int patience) {
    const Fixture& f = metric == "IP" ? *ip_ : *l2_;
    auto searcher = MakeGraphSearcher(*f.graph, metric, quant_type);
    std::vector<float*> chunks = tarvo_test::MakeChunkTable(f.base, 12);
    searcher->Build(chunks.data(), 12, f.base.n, f.base.dim);
    searcher->UpdatePrefetchLines();
    searcher->SetEf(kEf);
    searcher->SetEarlyStoppingParams(adding_pref, patience);
    std::vector<int64_t> labels(static_cast<size_t>(kQueries) * kK, -1);
    for (int q = 0; q < kQueries; ++q) searcher->SearchQuery(f.queries.row(q), kK, &labels[q * kK], nullptr);
    return tarvo_test::RecallAtK(labels.data(), kK, f.truth, kK, kQueries, kK);
  }

  static Fixture* l2_;
  static Fixture* ip_;
};

Fixture* SearcherQualityTest::l2_ = nullptr;
Fixture* SearcherQualityTest::ip_ = nullptr;

TEST_P(SearcherQualityTest, FindsTheNearestNeighbours) {
  for (const char* metric : {"L2", "IP"}) {
    const double plain = Recall(metric, GetParam(), -1, -1);
    const double early = Recall(metric, GetParam(), 40, 30);
    std::printf("%s %s: recall@10 %.4f, with early stopping %.4f\n", metric, GetParam().c_str(), plain, early);
    EXPECT_GE(plain, 0.9) << metric;
    EXPECT_GE(early, 0.9) << metric;
  }
}

INSTANTIATE_TEST_SUITE_P(EachQuantizer, SearcherQualityTest, ::testing::Values("FP32", "FP16", "SQ8U", "SQ4U"));

}  // namespace
}  // namespace vexa
