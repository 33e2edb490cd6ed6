// Tells whether a recall gap between the engine's HNSW and hnswlib comes from the graph or from
// the search: both graphs are built over the same clustered Gaussian data, and each is searched
// by its own searcher, by the other system's (hnswlib's graph converted into the engine's layout)
// and by the plain reference search of the test support. Also prints what shapes the graphs: the
// level histogram, the base layer's degrees and in-degrees, and how much of it the entry reaches.
//
// --shuffles S builds the engine S more times over the rows in shuffled orders: the level draws,
// which go to nodes in insertion order, then fall to other vectors, so the rows show how much the
// upper layers' draw alone moves recall.
//
// Usage: hnsw_cross_search [--n N] [--dim D] [--threads T] [--builds B] [--shuffles S] [--efs 16,32,...] [--cache DIR]
// Report on standard error; standard output carries the engine's own lines.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/ann/ground_truth.h"
#include "bench/ann/hnswlib_system.h"
#include "bench/ann/tool_main.h"
#include "engine/build/hnsw/hnsw.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/support/clustered_gaussian.h"
#include "tests/support/exact_knn.h"
#include "tests/support/reference_search.h"

namespace tarvo_bench {
namespace {

constexpr int kM = 16;
constexpr int kConstruction = 200;
constexpr int kK = 10;
constexpr int kQueries = 1000;

struct Options {
  int n = 1000000;
  int dim = 128;
  int threads = 8;
  int builds = 1;  // builds of each system; a second one shows how much thread timing moves recall
  int shuffles = 0;  // engine builds over the rows in shuffled orders
  std::vector<int> efs = {16, 32, 48, 64, 128};
  std::string cache_dir = "build/bench-cache";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  ForEachOptionValue(argc, argv, [&](const std::string& arg, const std::string& value) {
    if (arg == "--n") {
      options.n = std::stoi(value);
    } else if (arg == "--dim") {
      options.dim = std::stoi(value);
    } else if (arg == "--threads") {
      options.threads = std::stoi(value);
    } else if (arg == "--builds") {
      options.builds = std::stoi(value);
    } else if (arg == "--shuffles") {
      options.shuffles = std::stoi(value);
    } else if (arg == "--cache") {
      options.cache_dir = value;
    } else if (arg == "--efs") {
      options.efs.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) options.efs.push_back(std::stoi(item));
    } else {
      throw std::invalid_argument("unknown option " + arg);
    }
  });
  return options;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Prints the level histogram, the base layer's degree and in-degree figures and the share of
// nodes that a walk over the base layer reaches from the upper layers' entry.
void PrintShape(const char* name, const vexa::Graph<int>& graph) {
  const vexa::Hnsw1pGraph& layers = *graph.hnsw1pgraph;
  std::vector<int> per_level;
  for (int level : layers.nodeLevels) {
    if (level >= static_cast<int>(per_level.size())) per_level.resize(level + 1, 0);
    ++per_level[level];
  }
  size_t edges = 0;
  int full = 0;
  std::vector<int> in_degree(graph.N, 0);
  for (int i = 0; i < graph.N; ++i) {
    int count = 0;
    for (const int* row = graph.neighbors + static_cast<size_t>(i) * graph.K; count < graph.K && row[count] != -1;
         ++count) {
      ++in_degree[row[count]];
    }
    edges += count;
    if (count == graph.K) ++full;
  }
  const int unreached_in = static_cast<int>(std::count(in_degree.begin(), in_degree.end(), 0));
  std::vector<char> seen(graph.N, 0);
  std::vector<int> stack = {layers.ep};
  seen[layers.ep] = 1;
  int reached = 1;
  while (!stack.empty()) {
    const int u = stack.back();
    stack.pop_back();
    const int* row = graph.neighbors + static_cast<size_t>(u) * graph.K;
    for (int j = 0; j < graph.K && row[j] != -1; ++j) {
      if (!seen[row[j]]) {
        seen[row[j]] = 1;
        ++reached;
        stack.push_back(row[j]);
      }
    }
  }
  std::fprintf(stderr, "%-8s entry row %d at level %d; nodes per level:", name, layers.ep, layers.nodeLevels[layers.ep]);
  for (size_t l = 0; l < per_level.size(); ++l) std::fprintf(stderr, " %zu:%d", l, per_level[l]);
  std::fprintf(stderr, "\n%-8s base layer: mean out-degree %.3f, full rows %.2f %%, in-degree 0: %d, reached from entry: %d of %d\n",
               name, static_cast<double>(edges) / graph.N, 100.0 * full / graph.N, unreached_in, reached, graph.N);
}

// Prints how many nodes have the same level in both graphs and the same base-layer neighbours (as
// sets). With one build thread both insert in row order and draw the same levels, so the graphs
// part only where distances computed in another order break a tie the other way.
void PrintAgreement(const vexa::Graph<int>& a, const vexa::Graph<int>& b) {
  int same_level = 0;
  int same_row = 0;
  for (int i = 0; i < a.N; ++i) {
    same_level += a.hnsw1pgraph->nodeLevels[i] == b.hnsw1pgraph->nodeLevels[i];
    std::vector<int> ra(a.neighbors + static_cast<size_t>(i) * a.K, a.neighbors + static_cast<size_t>(i + 1) * a.K);
    std::vector<int> rb(b.neighbors + static_cast<size_t>(i) * b.K, b.neighbors + static_cast<size_t>(i + 1) * b.K);
    std::sort(ra.begin(), ra.end());
    std::sort(rb.begin(), rb.end());
    same_row += ra == rb;
  }
  std::fprintf(stderr, "same level: %.2f %% of nodes; same base-layer neighbours: %.2f %%\n", 100.0 * same_level / a.N,
               100.0 * same_row / a.N);
}

// The engine's FP32 searcher over graph and base.
std::unique_ptr<vexa::SearcherBase> EngineSearcher(const vexa::Graph<int>& graph, const tarvo_test::Dataset& base,
                                                   std::vector<float*>& chunks, int consecutive_log) {
  std::unique_ptr<vexa::SearcherBase> searcher = vexa::MakeGraphSearcher(graph, "L2", "FP32");
  searcher->Build(chunks.data(), consecutive_log, base.n, base.dim);
  searcher->SetPo(1);
  searcher->UpdatePrefetchLines();
  return searcher;
}

int Run(const Options& options) {
  omp_set_num_threads(options.threads);
  const tarvo_test::GaussianMixture mixture{options.dim, 1000, 1.0f, 1};
  const tarvo_test::Dataset base = tarvo_test::ClusteredGaussian(mixture, options.n, 2);
  const tarvo_test::Dataset queries = tarvo_test::ClusteredGaussian(mixture, kQueries, 3);
  const std::vector<int> truth = CachedGroundTruth(base, queries, kK, options.cache_dir,
                                                   "gauss" + std::to_string(options.dim) + "c1000s1");
  int consecutive_log = 1;
  while ((int64_t{1} << consecutive_log) < base.n) ++consecutive_log;
  std::vector<float*> chunks = tarvo_test::MakeChunkTable(base, consecutive_log);

  auto start = std::chrono::steady_clock::now();
  HnswlibSystem peer(kM, kConstruction);
  peer.Build(base);
  const double peer_seconds = Seconds(start);
  const vexa::Graph<int> peer_graph = peer.EngineGraph();

  start = std::chrono::steady_clock::now();
  std::unique_ptr<vexa::HNSW> builder = std::make_unique<vexa::HNSW>("L2", base.dim, kM, kConstruction);
  builder->Build(chunks.data(), consecutive_log, base.n);
  const double engine_seconds = Seconds(start);
  const vexa::Graph<int> engine_graph(builder->graph);
  builder.reset();

  std::fprintf(stderr, "%d x %d clustered Gaussian (1000 centres, spread 1, unit noise), %d queries, %d build threads\n",
               base.n, base.dim, queries.n, options.threads);
  std::fprintf(stderr, "build seconds: hnswlib %.1f, engine %.1f (ratio %.2f)\n", peer_seconds, engine_seconds,
               engine_seconds / peer_seconds);
  PrintShape("hnswlib", peer_graph);
  PrintShape("engine", engine_graph);
  PrintAgreement(peer_graph, engine_graph);

  std::unique_ptr<vexa::SearcherBase> on_peer = EngineSearcher(peer_graph, base, chunks, consecutive_log);
  std::unique_ptr<vexa::SearcherBase> on_engine = EngineSearcher(engine_graph, base, chunks, consecutive_log);
  std::vector<int64_t> labels(static_cast<size_t>(queries.n) * kK);
  auto recall = [&](auto&& search) {
    std::fill(labels.begin(), labels.end(), -1);
#pragma omp parallel for schedule(dynamic, 8)
    for (int q = 0; q < queries.n; ++q) search(queries.row(q), labels.data() + static_cast<size_t>(q) * kK);
    return tarvo_test::RecallAtK(labels.data(), kK, truth, kK, queries.n, kK);
  };
  // recall@kK of the engine's searcher over graph at each ef.
  auto engine_recalls = [&](const vexa::Graph<int>& graph) {
    std::unique_ptr<vexa::SearcherBase> searcher = EngineSearcher(graph, base, chunks, consecutive_log);
    std::vector<double> recalls;
    for (int ef : options.efs) {
      searcher->SetEf(ef);
      recalls.push_back(recall([&](const float* q, int64_t* out) { searcher->SearchQuery(q, kK, out, nullptr); }));
    }
    return recalls;
  };
  auto print_row = [&](const std::string& name, const std::vector<double>& recalls) {
    std::fprintf(stderr, "| %s |", name.c_str());
    for (double r : recalls) std::fprintf(stderr, " %.4f |", r);
    std::fprintf(stderr, "\n");
  };

  std::fprintf(stderr, "\nrecall@%d  (graph / searcher)\n", kK);
  std::fprintf(stderr, "|  ef | hnswlib / hnswlib | hnswlib / engine | hnswlib / reference | engine / engine | engine / reference |\n");
  std::fprintf(stderr, "|---:|---:|---:|---:|---:|---:|\n");
  for (int ef : options.efs) {
    peer.SetBreadth(ef);
    on_peer->SetEf(ef);
    on_engine->SetEf(ef);
    const double own = recall([&](const float* q, int64_t* out) { peer.Search(q, kK, out); });
    const double peer_engine = recall([&](const float* q, int64_t* out) { on_peer->SearchQuery(q, kK, out, nullptr); });
    const double peer_reference =
        recall([&](const float* q, int64_t* out) { tarvo_test::ReferenceSearch(peer_graph, base, q, kK, ef, out); });
    const double engine_engine =
        recall([&](const float* q, int64_t* out) { on_engine->SearchQuery(q, kK, out, nullptr); });
    const double engine_reference =
        recall([&](const float* q, int64_t* out) { tarvo_test::ReferenceSearch(engine_graph, base, q, kK, ef, out); });
    std::fprintf(stderr, "| %3d | %.4f | %.4f | %.4f | %.4f | %.4f |\n", ef, own, peer_engine, peer_reference,
                 engine_engine, engine_reference);
  }
  on_peer.reset();
  on_engine.reset();

  // Which part of a graph carries the difference: each base layer under the other's upper layers.
  std::fprintf(stderr, "\nrecall@%d of the engine's searcher by base layer / upper layers, and of further builds\n| graph |", kK);
  for (int ef : options.efs) std::fprintf(stderr, " ef %d |", ef);
  std::fprintf(stderr, "\n|---|");
  for (size_t e = 0; e < options.efs.size(); ++e) std::fprintf(stderr, "---:|");
  std::fprintf(stderr, "\n");
  vexa::Graph<int> engine_base_peer_upper(engine_graph);
  engine_base_peer_upper.hnsw1pgraph = std::make_unique<vexa::Hnsw1pGraph>(*peer_graph.hnsw1pgraph);
  print_row("engine base, hnswlib upper layers", engine_recalls(engine_base_peer_upper));
  vexa::Graph<int> peer_base_engine_upper(peer_graph);
  peer_base_engine_upper.hnsw1pgraph = std::make_unique<vexa::Hnsw1pGraph>(*engine_graph.hnsw1pgraph);
  print_row("hnswlib base, engine upper layers", engine_recalls(peer_base_engine_upper));

  // Thread timing alone: the same builds again.
  for (int b = 2; b <= options.builds; ++b) {
    peer.Release();
    HnswlibSystem again(kM, kConstruction);
    again.Build(base);
    const vexa::Graph<int> again_graph = again.EngineGraph();
    again.Release();
    print_row("hnswlib build " + std::to_string(b), engine_recalls(again_graph));
    PrintAgreement(peer_graph, again_graph);
    builder = std::make_unique<vexa::HNSW>("L2", base.dim, kM, kConstruction);
    builder->Build(chunks.data(), consecutive_log, base.n);
    const vexa::Graph<int> rebuilt(builder->graph);
    builder.reset();
    print_row("engine build " + std::to_string(b), engine_recalls(rebuilt));
    PrintAgreement(engine_graph, rebuilt);
  }

  // The same engine build over the rows in another order; answers are mapped back to base's rows.
  for (int s = 1; s <= options.shuffles; ++s) {
    std::vector<int> order(base.n);
    std::iota(order.begin(), order.end(), 0);
    std::mt19937 rng(s);
    std::shuffle(order.begin(), order.end(), rng);
    tarvo_test::Dataset shuffled = base;
    for (int i = 0; i < base.n; ++i) {
      std::copy(base.row(order[i]), base.row(order[i]) + base.dim,
                shuffled.values.begin() + static_cast<size_t>(i) * base.dim);
    }
    std::vector<float*> shuffled_chunks = tarvo_test::MakeChunkTable(shuffled, consecutive_log);
    builder = std::make_unique<vexa::HNSW>("L2", base.dim, kM, kConstruction);
    builder->Build(shuffled_chunks.data(), consecutive_log, base.n);
    const vexa::Graph<int> graph(builder->graph);
    builder.reset();
    std::unique_ptr<vexa::SearcherBase> searcher = EngineSearcher(graph, shuffled, shuffled_chunks, consecutive_log);
    std::vector<double> recalls;
    for (int ef : options.efs) {
      searcher->SetEf(ef);
      recalls.push_back(recall([&](const float* q, int64_t* out) {
        searcher->SearchQuery(q, kK, out, nullptr);
        for (int j = 0; j < kK; ++j) out[j] = out[j] < 0 ? -1 : order[out[j]];
      }));
    }
    print_row("engine, rows shuffled (seed " + std::to_string(s) + ")", recalls);
  }
  return 0;
}

}  // namespace
}  // namespace tarvo_bench

int main(int argc, char** argv) {
  return tarvo_bench::ToolMain("hnsw_cross_search", [&] { return tarvo_bench::Run(tarvo_bench::ParseOptions(argc, argv)); });
}
