// Many threads searching one searcher at once get what one thread gets. Plain std::thread
// workers, so that a ThreadSanitizer build sees every access.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/search/searcher/searcher_fixture.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

namespace vexa {
namespace {

using testing_support::MakeGraph;

constexpr int kN = 1000;
constexpr int kDim = 20;
constexpr int kDegree = 12;
constexpr int kQueries = 64;
constexpr int kK = 10;
constexpr int kThreads = 8;

// Labels and distances of every query, row after row.
struct Answers {
  std::vector<int64_t> labels = std::vector<int64_t>(kQueries * kK, -1);
  std::vector<float> distances = std::vector<float>(kQueries * kK, -1.0f);

  void Search(const SearcherBase& searcher, const tarvo_test::Dataset& queries, int first, int step) {
    for (int q = first; q < queries.n; q += step) {
      searcher.SearchQuery(queries.row(q), kK, &labels[q * kK], &distances[q * kK]);
    }
  }
};

TEST(SearcherThreads, ConcurrentSearchesMatchASingleThread) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(kN, kDim, 31);
  const tarvo_test::Dataset queries = tarvo_test::RandomDataset(kQueries, kDim, 32);
  // A ring with random chords, made without OpenMP, whose threads the sanitizer cannot follow.
  std::mt19937 rng(33);
  std::uniform_int_distribution<int> node(0, kN - 1);
  std::vector<std::vector<int>> rows(kN);
  for (int i = 0; i < kN; ++i) {
    rows[i] = {(i + 1) % kN, (i + kN - 1) % kN};
    while (static_cast<int>(rows[i].size()) < kDegree) rows[i].push_back(node(rng));
  }
  const Graph<int> graph = MakeGraph(rows, kDegree, {0, 500});
  for (const char* metric : {"L2", "IP"}) {
    for (const char* quant_type : {"FP32", "FP16", "SQ8U", "SQ4U"}) {
      auto searcher = MakeGraphSearcher(graph, metric, quant_type);
      std::vector<float*> chunks = tarvo_test::MakeChunkTable(data, 10);
      {
        tarvo_test::OmpThreads one(1);  // Build's team would be OpenMP threads, which the sanitizer cannot follow
        searcher->Build(chunks.data(), 10, kN, kDim);
      }
      searcher->UpdatePrefetchLines();
      for (int patience : {-1, 4}) {
        SCOPED_TRACE(std::string(metric) + " " + quant_type + " patience " + std::to_string(patience));
        searcher->SetEarlyStoppingParams(3, patience);
        Answers alone;
        alone.Search(*searcher, queries, 0, 1);
        // Every thread answers all queries, starting at a different one, into its own rows.
        std::vector<Answers> answers(kThreads);
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t) {
          workers.emplace_back([&, t] {
            answers[t].Search(*searcher, queries, t, kThreads);
            answers[t].Search(*searcher, queries, 0, 1);
          });
        }
        for (std::thread& worker : workers) worker.join();
        for (int t = 0; t < kThreads; ++t) {
          EXPECT_EQ(answers[t].labels, alone.labels) << "thread " << t;
          EXPECT_EQ(answers[t].distances, alone.distances) << "thread " << t;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vexa
