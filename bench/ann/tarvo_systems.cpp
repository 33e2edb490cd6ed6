#include "bench/ann/tarvo_systems.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/index/tarvo.h"

namespace tarvo_bench {
namespace {

constexpr int kDegree = 32;             // R; M = R / 2 for HNSW
constexpr int kHnswConstruction = 200;  // L of the HNSW build (ef_construction = max(R / 2, L))
constexpr int kSsgCandidates = 100;     // L of the SSG, NSG and TSDG builds
constexpr int kSsgAngle = 60;           // pruning angle of the SSG rule, degrees
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

// The level Add and LoadGraph take for a code kind.
int QuantLevel(const std::string& code) {
  if (code == "FP32") return 0;
  if (code == "SQ8U") return 1;
  if (code == "SQ4U") return 2;
  if (code == "FP16") return 3;
  throw std::invalid_argument("unknown code kind " + code);
}

struct GraphConfig {
  std::string type;  // "HNSW", "SSG", "NSG" or "TSDG"
  bool reorder = false;
  std::string metric;  // "L2" or "IP"

  std::string Label() const { return type + (reorder ? "+reorder" : ""); }
  bool operator<(const GraphConfig& other) const {
    return std::tie(type, reorder, metric) < std::tie(other.type, other.reorder, other.metric);
  }
};

// Graph files made once per configuration by Add and SaveGraph, shared by the systems over them.
class GraphFiles {
 public:
  explicit GraphFiles(std::string dir) : dir_(std::move(dir)) {}
  GraphFiles(const GraphFiles&) = delete;
  GraphFiles& operator=(const GraphFiles&) = delete;
  ~GraphFiles() {
    for (const auto& entry : files_) std::remove(entry.second.path.c_str());
  }

  // The graph file of config over base, made on first use; seconds holds the time of Add.
  const std::string& Get(const GraphConfig& config, const tarvo_test::Dataset& base, double* seconds) {
    auto it = files_.find(config);
    if (it == files_.end()) it = files_.emplace(config, Make(config, base)).first;
    *seconds = it->second.seconds;
    return it->second.path;
  }

 private:
  struct File {
    std::string path;
    double seconds = 0.0;
  };

  File Make(const GraphConfig& config, const tarvo_test::Dataset& base) const {
    if (std::system(("mkdir -p '" + dir_ + "'").c_str()) != 0) throw std::runtime_error("cannot create " + dir_);
    File file;
    file.path = dir_ + "/" + config.Label() + "-" + config.metric + ".graph";
    const int candidates = config.type == "HNSW" ? kHnswConstruction : kSsgCandidates;
    Tarvo index(base.dim, kDegree, candidates, kSsgAngle, /*graph_opt_iter=*/0, config.metric, "RNNDescent", config.type);
    const auto start = std::chrono::steady_clock::now();
    if (index.Add(base.n, base.values.data(), ConsecutiveLog(base.n), config.reorder ? 1 : 0, /*level=*/0) != 0) {
      throw std::runtime_error("Add failed for " + config.Label());
    }
    file.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (index.SaveGraph(file.path.c_str()) != 0) throw std::runtime_error("SaveGraph failed for " + config.Label());
    return file;
  }

  std::string dir_;
  std::map<GraphConfig, File> files_;
};

// One code kind over a saved graph, searched through the facade.
class TarvoSystem : public AnnSystem {
 public:
  TarvoSystem(std::shared_ptr<GraphFiles> files, GraphConfig graph, std::string code, bool early_stop,
              bool name_metric)
      : files_(std::move(files)),
        graph_(std::move(graph)),
        code_(std::move(code)),
        early_stop_(early_stop),
        name_metric_(name_metric) {}

  std::string name() const override {
    return "Tarvo " + graph_.Label() + " " + code_ + (name_metric_ ? " " + graph_.metric : "") +
           (early_stop_ ? " early-stop" : "");
  }

  double Prepare(const tarvo_test::Dataset& base) override {
    double seconds = 0.0;
    path_ = &files_->Get(graph_, base, &seconds);
    return seconds;
  }

  void Build(const tarvo_test::Dataset& /*base*/) override {
    index_ = std::make_unique<Tarvo>();
    if (index_->LoadGraph(path_->c_str(), QuantLevel(code_)) != 0) throw std::runtime_error("LoadGraph failed");
    if (early_stop_ && index_->SetEarlyStoppingParams(kAddingPref, kPatience) != 0) {
      throw std::runtime_error("SetEarlyStoppingParams failed");
    }
  }

  void Release() override { index_.reset(); }

  void SetBreadth(int breadth) override {
    if (index_->SetEf(breadth) != 0) throw std::runtime_error("SetEf failed");
  }

  void Search(const float* query, int k, int64_t* labels) const override {
    std::vector<float> distances(k);
    index_->Search(1, query, k, distances.data(), reinterpret_cast<long*>(labels), 1);
  }

  // The facade's own batch search: the calling thread, or its team of `threads` with the static
  // split of the rows.
  void SearchBatch(const tarvo_test::Dataset& queries, int k, int threads, int64_t* labels) const override {
    std::vector<float> distances(static_cast<size_t>(queries.n) * k);
    index_->Search(queries.n, queries.values.data(), k, distances.data(), reinterpret_cast<long*>(labels), threads);
  }

 private:
  std::shared_ptr<GraphFiles> files_;  // shared by the systems over the same files
  GraphConfig graph_;
  std::string code_;
  bool early_stop_;
  bool name_metric_;
  const std::string* path_ = nullptr;  // owned by files_
  std::unique_ptr<Tarvo> index_;       // null until built
};

}  // namespace

std::vector<std::unique_ptr<AnnSystem>> MakeTarvoSystems(const TarvoSelection& selection,
                                                         const std::string& scratch_dir) {
  static_assert(sizeof(long) == sizeof(int64_t), "the facade's labels are 64-bit");
  auto files = std::make_shared<GraphFiles>(scratch_dir);
  const bool name_metric = selection.metrics != std::vector<std::string>{"L2"};
  std::vector<std::unique_ptr<AnnSystem>> systems;
  for (const std::string& metric : selection.metrics) {
    for (const std::string& type : selection.types) {
      for (bool reorder : selection.reorders) {
        for (const std::string& code : selection.codes) {
          for (bool early_stop : selection.early_stops) {
            systems.push_back(std::make_unique<TarvoSystem>(files, GraphConfig{type, reorder, metric}, code,
                                                            early_stop, name_metric));
          }
        }
      }
    }
  }
  return systems;
}

}  // namespace tarvo_bench
