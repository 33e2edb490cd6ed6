// Recall of an HNSW graph on the first 20,000 Fashion-MNIST training images (L2), built with M 16
// and ef_construction 200 by 8 threads and searched by the FP32 searcher, against brute force on
// the first 1,000 test images: the recall target, hnswlib with the same parameters, and the same
// graph after reordering. One test, so that each process builds both indexes once.

#include <gtest/gtest.h>
#include <hnswlib/hnswlib.h>

#include <cstdio>
#include <memory>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "tests/build/graph_recall.h"
#include "tests/build/hnsw/hnsw_test_util.h"
#include "tests/support/exact_knn.h"

namespace vexa {
namespace {

constexpr size_t kM = 16;
constexpr size_t kEfConstruction = 200;

// recall@10 of hnswlib with the same M and ef_construction, built by the same team (row 0 first,
// then the rest in parallel), at each of kRecallEfs.
Recalls HnswlibRecalls(const RecallData& data) {
  const tarvo_test::Dataset& base = data.base;
  hnswlib::L2Space space(base.dim);
  hnswlib::HierarchicalNSW<float> index(&space, base.n, kM, kEfConstruction);
  index.addPoint(base.row(0), 0);
  {
    OmpThreads team(kRecallThreads);
#pragma omp parallel for schedule(dynamic, 1)
    for (int i = 1; i < base.n; ++i) index.addPoint(base.row(i), static_cast<hnswlib::labeltype>(i));
  }
  Recalls recalls;
  for (int ef : kRecallEfs) {
    index.setEf(ef);
    std::vector<int64_t> labels(static_cast<size_t>(data.queries.n) * kRecallK, -1);
    for (int q = 0; q < data.queries.n; ++q) {
      std::priority_queue<std::pair<float, hnswlib::labeltype>> found = index.searchKnn(data.queries.row(q), kRecallK);
      // The farthest result is on top.
      for (int j = static_cast<int>(found.size()) - 1; j >= 0; --j, found.pop()) {
        labels[static_cast<size_t>(q) * kRecallK + j] = static_cast<int64_t>(found.top().second);
      }
    }
    recalls.push_back(tarvo_test::RecallAtK(labels.data(), kRecallK, data.truth, kRecallK, data.queries.n, kRecallK));
  }
  return recalls;
}

TEST(HnswQualityTest, ReachesTargetMatchesHnswlibAndKeepsRecallWhenReordered) {
  const RecallData& data = SharedRecallData();
  std::vector<float*> table;
  std::string printed;
  std::unique_ptr<HNSW> hnsw = BuildHnsw(data.base, table, kM, kEfConstruction, kRecallThreads, "L2", &printed);
  // The builder's own timing line, for the record.
  const size_t timing = printed.find("[HNSW] Building time");
  if (timing != std::string::npos) std::printf("%s", printed.substr(timing).c_str());
  const Recalls built = SearcherRecalls(hnsw->graph, data);
  PrintRecalls("HNSW", built);
  EXPECT_GE(BestRecall(built), 0.95) << "no ef up to 128 reaches the recall target";

  const Recalls peer = HnswlibRecalls(data);
  PrintRecalls("hnswlib", peer);
  for (int e = 0; e < kRecallEfCount; ++e) {
    EXPECT_GE(built[e], peer[e] - 0.01) << "more than a hundredth below hnswlib at ef " << kRecallEfs[e];
  }

  ReorderGraph(hnsw->graph, data);
  const Recalls reordered = SearcherRecalls(hnsw->graph, data);
  PrintRecalls("HNSW reordered", reordered);
  ExpectRecallsKept(built, reordered);
}

}  // namespace
}  // namespace vexa
