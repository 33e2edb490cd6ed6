// Queries per second of the eight searchers on one thread, over the exact 32-NN graph of 5,000
// Fashion-MNIST images (centred unit-length rows for the inner-product searchers), with 500 queries from
// the test split. Reported: items_per_second (queries) and the recall@10 of the run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/search/graph/graph.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/support/centered_unit_rows.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace {

constexpr int kBase = 5000;
constexpr int kQueries = 500;
constexpr int kDegree = 32;
constexpr int kK = 10;

// The data, exact graph and true neighbours of one metric, made on first use.
struct Corpus {
  explicit Corpus(bool inner_product) {
    base = tarvo_test::LoadFashionMnist("train", kBase);
    queries = tarvo_test::LoadFashionMnist("t10k", kQueries);
    if (inner_product) tarvo_test::CenterAndNormalize(&base, &queries);
    truth = tarvo_test::ExactKnn(base, queries, kK, inner_product);
    const std::vector<int> knn = tarvo_test::ExactKnnGraph(base, kDegree, inner_product);
    graph.Allocate(base.n, kDegree);
    std::copy(knn.begin(), knn.end(), graph.neighbors);
    graph.eps = {0};
  }

  static const Corpus& Get(bool inner_product) {
    static const Corpus l2(false);
    static const Corpus ip(true);
    return inner_product ? ip : l2;
  }

  tarvo_test::Dataset base;
  tarvo_test::Dataset queries;
  std::vector<int> truth;
  vexa::Graph<int> graph;
};

// Arguments: ef, and patience (-1: no early stopping; otherwise adding_pref 40).
void BM_Search(benchmark::State& state, const char* metric, const char* quant_type) {
  const bool inner_product = std::string(metric) == "IP";
  const Corpus& corpus = Corpus::Get(inner_product);
  std::unique_ptr<vexa::SearcherBase> searcher = vexa::MakeGraphSearcher(corpus.graph, metric, quant_type);
  std::vector<float*> chunks = tarvo_test::MakeChunkTable(corpus.base, 12);
  searcher->Build(chunks.data(), 12, corpus.base.n, corpus.base.dim);
  searcher->UpdatePrefetchLines();
  searcher->SetEf(static_cast<int>(state.range(0)));
  searcher->SetEarlyStoppingParams(40, static_cast<int>(state.range(1)));
  std::vector<int64_t> labels(static_cast<size_t>(kQueries) * kK, -1);
  std::vector<float> distances(labels.size());
  for (auto _ : state) {
    for (int q = 0; q < kQueries; ++q) {
      searcher->SearchQuery(corpus.queries.row(q), kK, &labels[q * kK], &distances[q * kK]);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kQueries);
  state.counters["recall@10"] = tarvo_test::RecallAtK(labels.data(), kK, corpus.truth, kK, kQueries, kK);
}

#define TARVO_SEARCH_BENCH(metric, quant_type)                                                         \
  BENCHMARK_CAPTURE(BM_Search, metric##_##quant_type, #metric, #quant_type)                           \
      ->ArgNames({"ef", "patience"})                                                                  \
      ->Args({32, -1})                                                                                \
      ->Args({64, -1})                                                                                \
      ->Args({64, 20})                                                                                \
      ->Unit(benchmark::kMillisecond)

TARVO_SEARCH_BENCH(L2, FP32);
TARVO_SEARCH_BENCH(IP, FP32);
TARVO_SEARCH_BENCH(L2, FP16);
TARVO_SEARCH_BENCH(IP, FP16);
TARVO_SEARCH_BENCH(L2, SQ8U);
TARVO_SEARCH_BENCH(IP, SQ8U);
TARVO_SEARCH_BENCH(L2, SQ4U);
TARVO_SEARCH_BENCH(IP, SQ4U);

}  // namespace

BENCHMARK_MAIN();
