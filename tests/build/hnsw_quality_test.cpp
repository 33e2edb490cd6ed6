// Recall of HNSW graphs on the first 20,000 Fashion-MNIST training images (L2), built with M 16
// and ef_construction 200 by 8 threads and searched by the FP32 searcher, against brute force on
// the first 1,000 test images: the recall target, hnswlib with the same parameters, and the same
// graph after reordering.

#include <gtest/gtest.h>
#include <hnswlib/hnswlib.h>

#include <cstdio>
#include <memory>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "engine/build/graph_reorder_worker.h"
#include "engine/build/hnsw.h"
#include "engine/search/make_graph_searcher.h"
#include "tests/build/hnsw_test_util.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

constexpr int kBase = 20000;
constexpr int kQueries = 1000;
constexpr size_t kM = 16;
constexpr size_t kEfConstruction = 200;
constexpr int kThreads = 8;
constexpr int kK = 10;
constexpr int kChunkLog = 12;
const int kEfs[] = {10, 16, 32, 64, 128};
constexpr int kEfCount = sizeof(kEfs) / sizeof(kEfs[0]);

using Recalls = std::vector<double>;  // recall@10 at each of kEfs

// recall@10 of the FP32 searcher over graph at each of kEfs.
Recalls SearcherRecalls(const Graph<int>& graph, const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries,
                        const std::vector<int>& truth) {
  std::unique_ptr<SearcherBase> searcher;
  std::vector<float*> chunks = tarvo_test::MakeChunkTable(base, kChunkLog);
  CapturePrinted([&] {
    searcher = MakeGraphSearcher(graph, "L2", "FP32");
    searcher->Build(chunks.data(), kChunkLog, base.n, base.dim);
  });
  searcher->SetPo(1);
  searcher->UpdatePrefetchLines();
  Recalls recalls;
  for (int ef : kEfs) {
    searcher->SetEf(ef);
    std::vector<int64_t> labels(static_cast<size_t>(kQueries) * kK, -1);
    OmpThreads team(kThreads);
#pragma omp parallel for schedule(dynamic, 16)
    for (int q = 0; q < queries.n; ++q) {
      searcher->SearchQuery(queries.row(q), kK, &labels[static_cast<size_t>(q) * kK], nullptr);
    }
    recalls.push_back(tarvo_test::RecallAtK(labels.data(), kK, truth, kK, queries.n, kK));
  }
  return recalls;
}

// recall@10 of hnswlib with the same M and ef_construction, built by the same team (row 0 first,
// then the rest in parallel), at each of kEfs.
Recalls HnswlibRecalls(const tarvo_test::Dataset& base, const tarvo_test::Dataset& queries,
                       const std::vector<int>& truth) {
  hnswlib::L2Space space(base.dim);
  hnswlib::HierarchicalNSW<float> index(&space, base.n, kM, kEfConstruction);
  index.addPoint(base.row(0), 0);
  {
    OmpThreads team(kThreads);
#pragma omp parallel for schedule(dynamic, 1)
    for (int i = 1; i < base.n; ++i) index.addPoint(base.row(i), static_cast<hnswlib::labeltype>(i));
  }
  Recalls recalls;
  for (int ef : kEfs) {
    index.setEf(ef);
    std::vector<int64_t> labels(static_cast<size_t>(kQueries) * kK, -1);
    for (int q = 0; q < queries.n; ++q) {
      std::priority_queue<std::pair<float, hnswlib::labeltype>> found = index.searchKnn(queries.row(q), kK);
      // The farthest result is on top.
      for (int j = static_cast<int>(found.size()) - 1; j >= 0; --j, found.pop()) {
        labels[static_cast<size_t>(q) * kK + j] = static_cast<int64_t>(found.top().second);
      }
    }
    recalls.push_back(tarvo_test::RecallAtK(labels.data(), kK, truth, kK, queries.n, kK));
  }
  return recalls;
}

void PrintRecalls(const char* name, const Recalls& recalls) {
  std::printf("%-16s", name);
  for (int e = 0; e < kEfCount; ++e) std::printf("  ef %3d: %.4f", kEfs[e], recalls[e]);
  std::printf("\n");
}

// The data, the true neighbours and the recalls of the three searches, made once for the suite.
class HnswQualityTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const tarvo_test::Dataset base = tarvo_test::LoadFashionMnist("train", kBase);
    const tarvo_test::Dataset queries = tarvo_test::LoadFashionMnist("t10k", kQueries);
    std::vector<int> truth;
    {
      OmpThreads team(kThreads);
      truth = tarvo_test::ExactKnn(base, queries, kK, false);
    }

    std::vector<float*> table;
    std::unique_ptr<HNSW> hnsw = BuildHnsw(base, table, kM, kEfConstruction, kThreads);
    hnsw_ = new Recalls(SearcherRecalls(hnsw->graph, base, queries, truth));

    GraphReorderWorker worker = L2ReorderWorker(table.data(), 20, base.dim);
    CapturePrinted([&] { worker.MagicReorder(hnsw->graph); });
    reordered_ = new Recalls(SearcherRecalls(hnsw->graph, base, queries, truth));

    hnswlib_ = new Recalls(HnswlibRecalls(base, queries, truth));

    PrintRecalls("HNSW", *hnsw_);
    PrintRecalls("HNSW reordered", *reordered_);
    PrintRecalls("hnswlib", *hnswlib_);
  }
  static void TearDownTestSuite() {
    delete hnsw_;
    delete reordered_;
    delete hnswlib_;
  }

  static Recalls* hnsw_;       // the converted graph
  static Recalls* reordered_;  // the same graph after MagicReorder
  static Recalls* hnswlib_;    // hnswlib's own build and search
};

Recalls* HnswQualityTest::hnsw_ = nullptr;
Recalls* HnswQualityTest::reordered_ = nullptr;
Recalls* HnswQualityTest::hnswlib_ = nullptr;

TEST_F(HnswQualityTest, ReachesRecallTargetAtSomeEfUpTo128) {
  double best = 0;
  for (double recall : *hnsw_) best = std::max(best, recall);
  EXPECT_GE(best, 0.95);
}

TEST_F(HnswQualityTest, RecallIsWithinAHundredthOfHnswlib) {
  for (int e = 0; e < kEfCount; ++e) EXPECT_GE((*hnsw_)[e], (*hnswlib_)[e] - 0.01) << "ef " << kEfs[e];
}

TEST_F(HnswQualityTest, ReorderingKeepsRecall) {
  for (int e = 0; e < kEfCount; ++e) EXPECT_NEAR((*reordered_)[e], (*hnsw_)[e], 0.002) << "ef " << kEfs[e];
}

}  // namespace
}  // namespace vexa
