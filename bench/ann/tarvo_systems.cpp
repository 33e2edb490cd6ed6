#include "bench/ann/tarvo_systems.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/build/hnsw/hnsw.h"
#include "engine/build/ssg/ssg.h"
#include "engine/search/quant/distance.h"
#include "engine/search/graph/graph.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/support/exact_knn.h"

namespace tarvo_bench {
namespace {

constexpr int kDegree = 32;             // R; M = R / 2 for HNSW
constexpr int kHnswConstruction = 200;  // L of the HNSW build (ef_construction)
constexpr int kSsgCandidates = 100;     // L of the SSG, NSG and TSDG builds
constexpr float kSsgAngle = 60.0f;      // pruning angle of the SSG rule, degrees
constexpr int kSsgEntryPoints = 10;     // n_try
// Early stopping: stop after kPatience expansions in a row that put nothing among the first
// kAddingPref candidates.
constexpr int kAddingPref = 10;
constexpr int kPatience = 20;

// The chunk shift a caller with one contiguous array passes: a single chunk that holds every row.
int ConsecutiveLog(int n) {
  int log = 1;
  while ((int64_t{1} << log) < n) ++log;
  return log;
}

// A graph configuration: which builder, and whether the graph is reordered after it.
struct GraphConfig {
  std::string type;  // "HNSW", "SSG", "NSG" or "TSDG"
  bool reorder = false;

  std::string Label() const { return type + (reorder ? "+reorder" : ""); }
  bool operator<(const GraphConfig& other) const {
    return std::make_pair(type, reorder) < std::make_pair(other.type, other.reorder);
  }
};

// Graphs built once per configuration and shared by every searcher over them.
class GraphCache {
 public:
  // The graph of config over base, built on first use; seconds holds its build time.
  const vexa::Graph<int>& Get(const GraphConfig& config, const tarvo_test::Dataset& base, double* seconds) {
    auto it = graphs_.find(config);
    if (it == graphs_.end()) it = graphs_.emplace(config, Build(config, base)).first;
    *seconds = it->second.seconds;
    return *it->second.graph;
  }

 private:
  struct Entry {
    std::unique_ptr<vexa::Graph<int>> graph;
    double seconds = 0.0;
  };

  static Entry Build(const GraphConfig& config, const tarvo_test::Dataset& base) {
    const int consecutive_log = ConsecutiveLog(base.n);
    std::vector<float*> chunks = tarvo_test::MakeChunkTable(base, consecutive_log);
    const auto start = std::chrono::steady_clock::now();
    Entry entry;
    if (config.type == "HNSW") {
      vexa::HNSW builder("L2", base.dim, kDegree / 2, kHnswConstruction);
      builder.Build(chunks.data(), consecutive_log, base.n);
      entry.graph = std::make_unique<vexa::Graph<int>>(builder.graph);
    } else {
      vexa::SSG builder(kDegree, kSsgCandidates, kSsgAngle, kSsgEntryPoints, "L2", "RNNDescent", config.type,
                        base.dim, /*graph_opt_iter=*/0);
      builder.Build(chunks.data(), consecutive_log, base.n);
      entry.graph = std::make_unique<vexa::Graph<int>>(builder.graph);
    }
    if (config.reorder) {
      vexa::GraphReorderWorker worker;
      worker.distFn = vexa::DistanceFP32L2;
      worker.chunks = chunks.data();
      worker.metric = "L2";
      worker.consecutiveLog = consecutive_log;
      worker.dim = base.dim;
      worker.MagicReorder(*entry.graph);
    }
    entry.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return entry;
  }

  std::map<GraphConfig, Entry> graphs_;
};

// One searcher configuration over a cached graph.
class TarvoSystem : public AnnSystem {
 public:
  TarvoSystem(GraphCache* cache, GraphConfig graph, std::string quant_type, bool early_stop)
      : cache_(cache), graph_(std::move(graph)), quant_type_(std::move(quant_type)), early_stop_(early_stop) {}

  std::string name() const override {
    return "Tarvo " + graph_.Label() + " " + quant_type_ + (early_stop_ ? " early-stop" : "");
  }

  double Prepare(const tarvo_test::Dataset& base) override {
    double seconds = 0.0;
    graph_ptr_ = &cache_->Get(graph_, base, &seconds);
    return seconds;
  }

  void Build(const tarvo_test::Dataset& base) override {
    const int consecutive_log = ConsecutiveLog(base.n);
    std::vector<float*> chunks = tarvo_test::MakeChunkTable(base, consecutive_log);
    searcher_ = vexa::MakeGraphSearcher(*graph_ptr_, "L2", quant_type_);
    searcher_->Build(chunks.data(), consecutive_log, base.n, base.dim);
    searcher_->SetPo(1);
    searcher_->UpdatePrefetchLines();
    searcher_->SetEarlyStoppingParams(kAddingPref, early_stop_ ? kPatience : -1);
  }

  void Release() override { searcher_.reset(); }

  void SetBreadth(int breadth) override { searcher_->SetEf(breadth); }

  void Search(const float* query, int k, int64_t* labels) const override {
    searcher_->SearchQuery(query, k, labels, nullptr);
  }

 private:
  GraphCache* cache_;                                 // not owned; outlives the system
  GraphConfig graph_;
  std::string quant_type_;
  bool early_stop_;
  const vexa::Graph<int>* graph_ptr_ = nullptr;       // owned by cache_
  std::unique_ptr<vexa::SearcherBase> searcher_;      // owned
};

}  // namespace

std::vector<std::unique_ptr<AnnSystem>> MakeTarvoSystems(bool quick) {
  static GraphCache cache;
  const std::vector<std::string> types = quick ? std::vector<std::string>{"HNSW", "SSG"}
                                                : std::vector<std::string>{"HNSW", "SSG", "NSG", "TSDG"};
  const std::vector<bool> reorders = quick ? std::vector<bool>{true} : std::vector<bool>{false, true};
  const std::vector<std::string> quants = quick ? std::vector<std::string>{"FP32", "SQ8U"}
                                                : std::vector<std::string>{"FP32", "FP16", "SQ8U", "SQ4U"};
  std::vector<std::unique_ptr<AnnSystem>> systems;
  for (const std::string& type : types) {
    for (bool reorder : reorders) {
      for (const std::string& quant : quants) {
        for (bool early_stop : {false, true}) {
          systems.push_back(
              std::make_unique<TarvoSystem>(&cache, GraphConfig{type, reorder}, quant, early_stop));
        }
      }
    }
  }
  return systems;
}

}  // namespace tarvo_bench
