#ifndef TARVO_BENCH_ANN_ANN_SYSTEM_H_
#define TARVO_BENCH_ANN_ANN_SYSTEM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fashion_mnist.h"

namespace tarvo_bench {

// One index configuration under measurement: built once, then searched at several breadths.
class AnnSystem {
 public:
  virtual ~AnnSystem() = default;

  // Name shown in the tables and the plot.
  virtual std::string name() const = 0;
  // How the system was built, when that matters to a reader of the figures (a peer's compiler
  // flags); empty for the engine.
  virtual std::string note() const { return ""; }
  // Work that several configurations share (an engine graph searched with several codes), done
  // before Build and outside its memory measurement. Returns its seconds, counted as build time.
  virtual double Prepare(const tarvo_test::Dataset& /*base*/) { return 0.0; }
  // Builds the searchable index over base with the current OpenMP team size.
  virtual void Build(const tarvo_test::Dataset& base) = 0;
  // Releases the index.
  virtual void Release() = 0;
  // Sets the search breadth (ef, search_L) for the searches that follow.
  virtual void SetBreadth(int breadth) = 0;
  // Writes the k nearest labels of one query; called from many threads at once.
  virtual void Search(const float* query, int k, int64_t* labels) const = 0;
  // Searches every query with `threads` threads, k labels per query. By default an OpenMP loop
  // with a static split over Search; a system with a batch search of its own overrides it.
  virtual void SearchBatch(const tarvo_test::Dataset& queries, int k, int threads, int64_t* labels) const;
};

// The peers: hnswlib M = 16 and 32 (ef_construction 200), faiss HNSWFlat M = 32, NSGFlat R = 32 and
// HNSWSQ 8-bit M = 32.
std::vector<std::unique_ptr<AnnSystem>> MakeHnswlibSystems();
std::vector<std::unique_ptr<AnnSystem>> MakeFaissSystems();

// A description of the CPU path each peer runs (for the report's header).
std::string HnswlibBuildNote();
std::string FaissBuildNote();
// hnswlib M = 16, ef_construction 200: the peer of the scale runs, and in its "ip" space when
// inner_product is set, the peer of the cosine run.
std::unique_ptr<AnnSystem> MakeHnswlibM16(bool inner_product = false);

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_ANN_SYSTEM_H_
