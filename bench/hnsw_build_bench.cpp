// Time of an HNSW build (M = 16, ef_construction 200, the default OpenMP team) over the first
// rows of Fashion-MNIST's training split.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/build/hnsw.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace {

void BM_HnswBuildFashionMnist(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const tarvo_test::Dataset data = tarvo_test::LoadFashionMnist("train", n);
  std::vector<float*> table = tarvo_test::MakeChunkTable(data, 20);
  for (auto _ : state) {
    vexa::HNSW hnsw("L2", data.dim, 16, 200);
    hnsw.Build(table.data(), 20, data.n);
    benchmark::DoNotOptimize(hnsw.graph.neighbors);
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_HnswBuildFashionMnist)->Arg(20000)->Arg(60000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
