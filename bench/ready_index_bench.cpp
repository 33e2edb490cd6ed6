// What a ready index keeps in memory, and how the time of one query grows with the index, beside
// hnswlib (M 16, ef_construction 200; this file is compiled for this processor, as a user who
// builds hnswlib from source gets it). The engine's index is an HNSW graph (R 32, so M 16, and
// L 200) made through the facade; both are built with 8 threads.
//
// BM_ReadyIndexMemory/data/level: the resident memory that an index gains from its construction
// to the end of one 8-thread search of the queries (so the per-thread working memory of the
// searches counts), first for hnswlib's index, then for a Tarvo index after Add and BuildSearcher;
// counters hnswlib_MiB, tarvo_MiB and their ratio, and the seconds of each build. data 0 is Fashion-MNIST's 60,000 training
// images, data 1 is 1,000,000 vectors of the scale runs' clustered mixture (dimension 128); level
// 0 is FP32 codes, 1 SQ8U. Run each case in a process of its own (--benchmark_filter): what the
// threads of one case keep for their searches is not counted again by the next.
//
// BM_QueryAtScale/rows/ef/k: single-thread time of 1,000 queries of the engine's FP32 index over
// the first `rows` clustered vectors of dimension 128, read from an index file that the first run
// builds and saves under build/bench-cache (run from the source folder), so that runs of two
// versions search the same index; counter labels_hash tells whether their answers are equal. The
// cases of ef 1 and k 1 walk a pool of one entry: what they take is mostly the fixed cost of a
// query.
#include <benchmark/benchmark.h>
#include <hnswlib/hnswlib.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/index/tarvo.h"
#include "tests/support/clustered_gaussian.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

namespace {

constexpr int kDegree = 32;         // the engine's R; M = R / 2 = 16 for both
constexpr int kConstruction = 200;  // the engine's L, hnswlib's ef_construction
constexpr int kThreads = 8;
constexpr int kQueries = 1000;
constexpr int kK = 10;
constexpr int kScaleRows = 1000000;
// The clustered data of the benchmarks' scale runs: 1,000 centres in 128 dimensions.
const tarvo_test::GaussianMixture kMixture{128, 1000, 1.0f, 1};
constexpr uint64_t kBaseSeed = 2;
constexpr uint64_t kQuerySeed = 3;
constexpr double kMiB = 1048576.0;

// Resident bytes of the process once malloc has handed back what it can.
size_t ResidentBytes() {
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The chunk shift that puts all n rows of one array into a single chunk.
int ConsecutiveLog(int n) {
  int log = 1;
  while ((int64_t{1} << log) < n) ++log;
  return log;
}

// The first rows base vectors of the clustered data (a prefix of the full set), or its queries.
tarvo_test::Dataset ScaleBase(int rows) { return tarvo_test::ClusteredGaussian(kMixture, rows, kBaseSeed); }
tarvo_test::Dataset ScaleQueries() { return tarvo_test::ClusteredGaussian(kMixture, kQueries, kQuerySeed); }

// A ready engine index over base at the quantization level. Throws when a step is refused.
std::unique_ptr<Tarvo> BuildTarvo(const tarvo_test::Dataset& base, int level) {
  NUMA_ENABLED = false;
  auto index = std::make_unique<Tarvo>(base.dim, kDegree, kConstruction, 60, 0, "L2", "RNNDescent", "HNSW");
  if (index->Add(base.n, base.values.data(), ConsecutiveLog(base.n), 0, level) != 0 || index->BuildSearcher() != 0) {
    throw std::runtime_error("the engine's index was not built");
  }
  return index;
}

// Searches every query for its k nearest with threads threads; returns the labels, row after row.
std::vector<long> SearchTarvo(Tarvo& index, const tarvo_test::Dataset& queries, int k, int threads) {
  std::vector<long> labels(static_cast<size_t>(queries.n) * k, -1);
  std::vector<float> distances(labels.size());
  if (index.Search(queries.n, queries.values.data(), k, distances.data(), labels.data(), threads) != 0) {
    throw std::runtime_error("the engine's search was refused");
  }
  return labels;
}

// hnswlib's index over base, built as the engine's: row 0 first, the rest in a dynamic loop.
struct HnswlibIndex {
  explicit HnswlibIndex(const tarvo_test::Dataset& base) : space(base.dim), index(&space, base.n, 16, kConstruction) {
    index.addPoint(base.row(0), 0);
#pragma omp parallel for schedule(dynamic, 1)
    for (int i = 1; i < base.n; ++i) index.addPoint(base.row(i), static_cast<hnswlib::labeltype>(i));
  }

  void SearchAll(const tarvo_test::Dataset& queries) {
#pragma omp parallel for schedule(dynamic, 1)
    for (int q = 0; q < queries.n; ++q) benchmark::DoNotOptimize(index.searchKnn(queries.row(q), kK));
  }

  hnswlib::L2Space space;
  hnswlib::HierarchicalNSW<float> index;
};

void BM_ReadyIndexMemory(benchmark::State& state) {
  const bool scale = state.range(0) == 1;
  const int level = static_cast<int>(state.range(1));
  const tarvo_test::Dataset base = scale ? ScaleBase(kScaleRows) : tarvo_test::LoadFashionMnist("train");
  const tarvo_test::Dataset queries = scale ? ScaleQueries() : tarvo_test::LoadFashionMnist("t10k", kQueries);
  tarvo_test::OmpThreads team(kThreads);
  double hnswlib_bytes = 0.0;
  double tarvo_bytes = 0.0;
  double hnswlib_seconds = 0.0;
  double tarvo_seconds = 0.0;
  for (auto _ : state) {
    size_t before = ResidentBytes();
    {
      const auto start = std::chrono::steady_clock::now();
      HnswlibIndex peer(base);
      hnswlib_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      peer.SearchAll(queries);
      hnswlib_bytes = static_cast<double>(ResidentBytes() - before);
    }
    before = ResidentBytes();
    {
      const auto start = std::chrono::steady_clock::now();
      std::unique_ptr<Tarvo> index = BuildTarvo(base, level);
      tarvo_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      benchmark::DoNotOptimize(SearchTarvo(*index, queries, kK, kThreads));
      tarvo_bytes = static_cast<double>(ResidentBytes() - before);
    }
  }
  state.counters["hnswlib_MiB"] = hnswlib_bytes / kMiB;
  state.counters["tarvo_MiB"] = tarvo_bytes / kMiB;
  state.counters["ratio"] = tarvo_bytes / hnswlib_bytes;
  state.counters["hnswlib_build_s"] = hnswlib_seconds;
  state.counters["tarvo_build_s"] = tarvo_seconds;
}

// The engine's FP32 index over the first rows clustered vectors, read from its cache file.
Tarvo& ScaleIndex(int rows) {
  static std::map<int, std::unique_ptr<Tarvo>> indexes;
  std::unique_ptr<Tarvo>& index = indexes[rows];
  if (index) return *index;
  const std::string dir = "build/bench-cache";
  const std::string path = dir + "/ready_index_" + std::to_string(rows) + ".tarvo";
  if (!std::filesystem::exists(path)) {
    std::filesystem::create_directories(dir);
    tarvo_test::OmpThreads team(kThreads);
    if (BuildTarvo(ScaleBase(rows), 0)->Save(path.c_str()) != 0) throw std::runtime_error("cannot save " + path);
  }
  NUMA_ENABLED = false;
  index = std::make_unique<Tarvo>();
  if (index->Load(path.c_str()) != 0) throw std::runtime_error("cannot load " + path);
  return *index;
}

void BM_QueryAtScale(benchmark::State& state) {
  Tarvo& index = ScaleIndex(static_cast<int>(state.range(0)));
  const tarvo_test::Dataset queries = ScaleQueries();
  index.SetEf(static_cast<int>(state.range(1)));
  const int k = static_cast<int>(state.range(2));
  std::vector<long> labels;
  for (auto _ : state) labels = SearchTarvo(index, queries, k, 1);
  state.SetItemsProcessed(state.iterations() * queries.n);
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the labels
  for (long label : labels) hash = (hash ^ static_cast<uint64_t>(label)) * 1099511628211ull;
  state.counters["labels_hash"] = static_cast<double>(hash >> 12);  // exact in a double
}

}  // namespace

BENCHMARK(BM_ReadyIndexMemory)
    ->ArgNames({"data", "level"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

BENCHMARK(BM_QueryAtScale)
    ->ArgNames({"rows", "ef", "k"})
    ->Args({10000, 64, 10})
    ->Args({1000000, 64, 10})
    ->Args({10000, 16, 10})
    ->Args({1000000, 16, 10})
    ->Args({10000, 1, 1})
    ->Args({1000000, 1, 1})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
