// The engine's FP32 searcher walks a built HNSW graph as the plain best-first search of the test
// support does, so a recall figure of the searcher tells about the graph and not the walk.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/build/hnsw/hnsw_test_util.h"
#include "tests/support/clustered_gaussian.h"
#include "tests/support/reference_search.h"

namespace vexa {
namespace {

constexpr int kK = 10;

// Over graphs built with one thread and with four, on clustered data where wrong entries cost
// most, the searcher's top 10 equal the reference's for all but rare queries at every breadth; a
// query may differ only where the two sum a distance in another order and a near tie flips.
TEST(HnswReferenceSearch, SearcherFindsWhatThePlainSearchFinds) {
  const tarvo_test::GaussianMixture mixture{16, 40, 1.0f, 1};
  const tarvo_test::Dataset base = tarvo_test::ClusteredGaussian(mixture, 4000, 2);
  const tarvo_test::Dataset queries = tarvo_test::ClusteredGaussian(mixture, 200, 3);
  for (const int threads : {1, 4}) {
    std::vector<float*> table;
    const std::unique_ptr<HNSW> hnsw = BuildHnsw(base, table, 8, 40, threads);
    std::unique_ptr<SearcherBase> searcher;
    CapturePrinted([&] {
      searcher = MakeGraphSearcher(hnsw->graph, "L2", "FP32");
      searcher->Build(table.data(), 20, base.n, base.dim);
    });
    for (const int ef : {10, 30, 80}) {
      searcher->SetEf(ef);
      int same = 0;
      for (int q = 0; q < queries.n; ++q) {
        std::vector<int64_t> found(kK, -1);
        std::vector<int64_t> expected(kK, -1);
        searcher->SearchQuery(queries.row(q), kK, found.data(), nullptr);
        tarvo_test::ReferenceSearch(hnsw->graph, base, queries.row(q), kK, ef, expected.data());
        same += found == expected;
      }
      EXPECT_GE(same, queries.n - 2) << threads << " build threads, ef " << ef;
    }
  }
}

}  // namespace
}  // namespace vexa
