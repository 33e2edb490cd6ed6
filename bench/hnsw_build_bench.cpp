// Time of an HNSW build (M = 16, ef_construction 200) over the first rows of Fashion-MNIST's
// training split, by the engine and by hnswlib with the same parameters. Arguments: rows, and the
// OpenMP team size.
#include <benchmark/benchmark.h>
#include <hnswlib/hnswlib.h>

#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

namespace {

constexpr size_t kM = 16;
constexpr size_t kEfConstruction = 200;

void BM_HnswBuildFashionMnist(benchmark::State& state) {
  const tarvo_test::Dataset data = tarvo_test::LoadFashionMnist("train", static_cast<int>(state.range(0)));
  std::vector<float*> table = tarvo_test::MakeChunkTable(data, 20);
  tarvo_test::OmpThreads team(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    vexa::HNSW hnsw("L2", data.dim, kM, kEfConstruction);
    hnsw.Build(table.data(), 20, data.n);
    benchmark::DoNotOptimize(hnsw.graph.neighbors);
  }
  state.SetItemsProcessed(state.iterations() * data.n);
}

// hnswlib inserts row 0 first and the rest in a dynamic loop of the same team, as the engine does.
void BM_HnswlibBuildFashionMnist(benchmark::State& state) {
  const tarvo_test::Dataset data = tarvo_test::LoadFashionMnist("train", static_cast<int>(state.range(0)));
  tarvo_test::OmpThreads team(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    hnswlib::L2Space space(data.dim);
    hnswlib::HierarchicalNSW<float> index(&space, data.n, kM, kEfConstruction);
    index.addPoint(data.row(0), 0);
#pragma omp parallel for schedule(dynamic, 1)
    for (int i = 1; i < data.n; ++i) index.addPoint(data.row(i), static_cast<hnswlib::labeltype>(i));
    benchmark::DoNotOptimize(&index);
  }
  state.SetItemsProcessed(state.iterations() * data.n);
}

#define TARVO_HNSW_BUILD_BENCH(name)                                                                 \
  BENCHMARK(name)                                                                                    \
      ->ArgNames({"rows", "threads"})                                                                \
      ->Args({20000, 8})                                                                             \
      ->Args({60000, 8})                                                                             \
      ->Unit(benchmark::kSecond)                                                                     \
      ->UseRealTime()                                                                                \
      ->Iterations(1)

TARVO_HNSW_BUILD_BENCH(BM_HnswBuildFashionMnist);
TARVO_HNSW_BUILD_BENCH(BM_HnswlibBuildFashionMnist);

}  // namespace

BENCHMARK_MAIN();
