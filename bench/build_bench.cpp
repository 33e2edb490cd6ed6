// Build time of the SSG builder on Fashion-MNIST: the scaling of one "SSG" build of the 60,000
// training vectors over 1, 2, 4 and 8 OpenMP threads, and a 20,000-vector build of every graph
// type, initial-graph method and refinement setting at 8 threads. Each case builds once.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/build/ssg/ssg.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace {

constexpr int kLog = 12;
constexpr int kR = 32;
constexpr int kL = 100;

// The first n training vectors with their chunk table, read once.
struct TrainVectors {
  explicit TrainVectors(int n)
      : data(tarvo_test::LoadFashionMnist("train", n)), chunks(tarvo_test::MakeChunkTable(data, kLog)) {}
  tarvo_test::Dataset data;
  std::vector<float*> chunks;
};

const TrainVectors& Train(int n) {
  if (n == 20000) {
    static const TrainVectors head(20000);
    return head;
  }
  static const TrainVectors all(60000);
  return all;
}

void BuildOnce(benchmark::State& state, int n, int threads, const char* index_type, const char* init, int opt) {
  const TrainVectors& train = Train(n);
  const int before = omp_get_max_threads();
  omp_set_num_threads(threads);
  for (auto _ : state) {
    vexa::SSG builder(kR, kL, 60.0f, 10, "L2", init, index_type, train.data.dim, opt);
    const auto start = std::chrono::steady_clock::now();
    builder.Build(const_cast<float**>(train.chunks.data()), kLog, train.data.n);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  omp_set_num_threads(before);
  state.counters["vectors"] = n;
  state.counters["threads"] = threads;
}

void BM_SSGBuildThreads(benchmark::State& state) {
  BuildOnce(state, 60000, static_cast<int>(state.range(0)), "SSG", "RNNDescent", 0);
}
BENCHMARK(BM_SSGBuildThreads)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void RegisterTypeBuilds() {
  for (const char* type : {"SSG", "NSG", "TSDG"}) {
    for (const char* init : {"RNNDescent", "NNDescent"}) {
      for (const int opt : {0, 3}) {
        const std::string name = std::string("BM_Build20k/") + type + "/" + init + "/opt:" + std::to_string(opt);
        benchmark::RegisterBenchmark(name.c_str(),
                                     [=](benchmark::State& state) { BuildOnce(state, 20000, 8, type, init, opt); })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterTypeBuilds();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
