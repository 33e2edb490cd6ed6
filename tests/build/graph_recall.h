#ifndef TARVO_TESTS_BUILD_GRAPH_RECALL_H_
#define TARVO_TESTS_BUILD_GRAPH_RECALL_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/build/hnsw/hnsw_test_util.h"
#include "tests/support/cached_exact_knn.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {

// The recall checks of built graphs: the first 20,000 Fashion-MNIST training images (L2) are
// indexed, the first 1,000 test images are searched by the FP32 searcher with a team of
// kRecallThreads, and recall@10 is taken against brute force at each of kRecallEfs.
constexpr int kRecallThreads = 8;
constexpr int kRecallK = 10;
constexpr int kRecallEfs[] = {10, 16, 32, 64, 128};
constexpr int kRecallEfCount = sizeof(kRecallEfs) / sizeof(kRecallEfs[0]);

using Recalls = std::vector<double>;  // recall@10 at each of kRecallEfs

// The indexed vectors, the queries and their true neighbours.
struct RecallData {
  static constexpr int kChunkLog = 12;  // 4,096 vectors per chunk

  RecallData()
      : base(tarvo_test::LoadFashionMnist("train", 20000)),
        queries(tarvo_test::LoadFashionMnist("t10k", 1000)),
        chunks(tarvo_test::MakeChunkTable(base, kChunkLog)) {
    OmpThreads team(kRecallThreads);
    truth = tarvo_test::CachedExactKnn(base, queries, kRecallK, false);
  }
  RecallData(const RecallData&) = delete;
  RecallData& operator=(const RecallData&) = delete;

  tarvo_test::Dataset base;
  tarvo_test::Dataset queries;
  std::vector<float*> chunks;  // rows of base, 2^kChunkLog per chunk
  std::vector<int> truth;      // the kRecallK nearest base rows of every query
};

// The data of this process's checks, read on first use.
inline const RecallData& SharedRecallData() {
  static const RecallData data;
  return data;
}

// recall@10 of the FP32 searcher over graph at each of kRecallEfs.
inline Recalls SearcherRecalls(const Graph<int>& graph, const RecallData& data) {
  std::unique_ptr<SearcherBase> searcher;
  CapturePrinted([&] {
    searcher = MakeGraphSearcher(graph, "L2", "FP32");
    searcher->Build(const_cast<float**>(data.chunks.data()), RecallData::kChunkLog, data.base.n, data.base.dim);
  });
  searcher->SetPo(1);
  searcher->UpdatePrefetchLines();
  Recalls recalls;
  for (int ef : kRecallEfs) {
    searcher->SetEf(ef);
    std::vector<int64_t> labels(static_cast<size_t>(data.queries.n) * kRecallK, -1);
    OmpThreads team(kRecallThreads);
#pragma omp parallel for schedule(dynamic, 16)
    for (int q = 0; q < data.queries.n; ++q) {
      searcher->SearchQuery(data.queries.row(q), kRecallK, &labels[static_cast<size_t>(q) * kRecallK], nullptr);
    }
    recalls.push_back(tarvo_test::RecallAtK(labels.data(), kRecallK, data.truth, kRecallK, data.queries.n, kRecallK));
  }
  return recalls;
}

// The highest of the recalls.
inline double BestRecall(const Recalls& recalls) { return *std::max_element(recalls.begin(), recalls.end()); }

// Prints one line: name, then the recall at each ef.
inline void PrintRecalls(const std::string& name, const Recalls& recalls) {
  std::printf("%-28s", name.c_str());
  for (int e = 0; e < kRecallEfCount; ++e) std::printf("  ef %3d: %.4f", kRecallEfs[e], recalls[e]);
  std::printf("\n");
}

// Renumbers graph (numbered by the rows of data.base) with MagicReorder, its lines swallowed,
// and checks that the order really changed.
inline void ReorderGraph(Graph<int>& graph, const RecallData& data) {
  GraphReorderWorker worker =
      L2ReorderWorker(const_cast<float**>(data.chunks.data()), RecallData::kChunkLog, data.base.dim);
  CapturePrinted([&] { worker.MagicReorder(graph); });
  // true_order is a permutation: sorted only when it is the identity.
  EXPECT_FALSE(std::is_sorted(graph.true_order.begin(), graph.true_order.end()))
      << "reordering kept every node's number";
}

// Renumbering a graph changes at most which of equally distant nodes a search prefers: recall@10
// stays within 0.002 of the graph's before at every ef.
inline void ExpectRecallsKept(const Recalls& before, const Recalls& after) {
  for (int e = 0; e < kRecallEfCount; ++e) EXPECT_NEAR(after[e], before[e], 0.002) << "ef " << kRecallEfs[e];
}

}  // namespace vexa

#endif  // TARVO_TESTS_BUILD_GRAPH_RECALL_H_
