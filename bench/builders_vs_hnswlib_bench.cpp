// Build time of every graph type on Fashion-MNIST's 60,000 training vectors, the searcher's Build
// over the graph included, beside hnswlib's build with M 16 and ef_construction 200 in the same
// run: HNSW with M 16 and ef_construction 200, and SSG, NSG and TSDG with R 32, L 100, A 60 and
// RNN-Descent. Each case builds once per repetition, at 1, 2, 4 and 8 OpenMP threads; run with
// --benchmark_repetitions and --benchmark_enable_random_interleaving for medians of cases that
// shared the machine alike. An engine case builds its graph and then one searcher over it, of the
// 32-bit float quantizer (level 0) at every team size and of the 4-bit one (level 2) at 8 threads;
// its time is the sum of the two parts, the counters graph_s and searcher_s.
#include <benchmark/benchmark.h>
#include <hnswlib/hnswlib.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "engine/build/ssg/ssg.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

namespace {

constexpr int kRows = 60000;
constexpr int kLog = 20;  // one chunk, as a caller with one contiguous array passes
constexpr size_t kM = 16;
constexpr size_t kEfConstruction = 200;
constexpr int kR = 32;
constexpr int kL = 100;
constexpr float kA = 60.0f;
constexpr int kThreads[] = {1, 2, 4, 8};

const tarvo_test::Dataset& Train() {
  static const tarvo_test::Dataset data = tarvo_test::LoadFashionMnist("train", kRows);
  return data;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The graph of one engine build of `type` ("HNSW", "SSG", "NSG" or "TSDG") over table.
std::unique_ptr<vexa::Graph<int>> BuildGraph(const std::string& type, float** table, const tarvo_test::Dataset& data) {
  if (type == "HNSW") {
    vexa::HNSW builder("L2", data.dim, kM, kEfConstruction);
    builder.Build(table, kLog, data.n);
    return std::make_unique<vexa::Graph<int>>(builder.graph);
  }
  vexa::SSG builder(kR, kL, kA, 10, "L2", "RNNDescent", type, data.dim, 0);
  builder.Build(table, kLog, data.n);
  return std::make_unique<vexa::Graph<int>>(builder.graph);
}

// One engine build of `type` and a searcher of quant_type over its graph, as an index builds them
// for add and build searcher.
void BuildEngine(benchmark::State& state, const std::string& type, const std::string& quant_type, int threads) {
  const tarvo_test::Dataset& data = Train();
  std::vector<float*> table = tarvo_test::MakeChunkTable(data, kLog);
  tarvo_test::OmpThreads team(threads);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<vexa::Graph<int>> graph = BuildGraph(type, table.data(), data);
    const double graph_seconds = SecondsSince(start);
    std::unique_ptr<vexa::SearcherBase> searcher(vexa::MakeGraphSearcher(*graph, "L2", quant_type));
    searcher->Build(table.data(), kLog, data.n, data.dim);
    const double seconds = SecondsSince(start);
    state.SetIterationTime(seconds);
    state.counters["graph_s"] = graph_seconds;
    state.counters["searcher_s"] = seconds - graph_seconds;
  }
}

// hnswlib inserts row 0 first and the rest in a dynamic loop of the same team, as the engine does.
void BuildHnswlib(benchmark::State& state, int threads) {
  const tarvo_test::Dataset& data = Train();
  tarvo_test::OmpThreads team(threads);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    hnswlib::L2Space space(data.dim);
    hnswlib::HierarchicalNSW<float> index(&space, data.n, kM, kEfConstruction);
    index.addPoint(data.row(0), 0);
#pragma omp parallel for schedule(dynamic, 1)
    for (int i = 1; i < data.n; ++i) index.addPoint(data.row(i), static_cast<hnswlib::labeltype>(i));
    state.SetIterationTime(SecondsSince(start));
    benchmark::DoNotOptimize(&index);
  }
}

void Register() {
  for (const int threads : kThreads) {
    const std::string suffix = "/threads:" + std::to_string(threads);
    benchmark::RegisterBenchmark(("hnswlib_M16" + suffix).c_str(),
                                 [=](benchmark::State& state) { BuildHnswlib(state, threads); })
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    for (const char* type : {"HNSW", "SSG", "NSG", "TSDG"}) {
      for (const char* quant : {"FP32", "SQ4U"}) {
        if (std::string(quant) != "FP32" && threads != 8) continue;  // the other level at 8 threads only
        benchmark::RegisterBenchmark((std::string(type) + "+" + quant + suffix).c_str(),
                                     [=](benchmark::State& state) { BuildEngine(state, type, quant, threads); })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
