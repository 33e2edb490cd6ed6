#ifndef TARVO_BENCH_ANN_HNSWLIB_SYSTEM_H_
#define TARVO_BENCH_ANN_HNSWLIB_SYSTEM_H_

#include <memory>
#include <string>

#include "bench/ann/ann_system.h"
#include "engine/search/graph/graph.h"

namespace tarvo_bench {

// hnswlib's HierarchicalNSW with M and ef_construction in its squared-L2 space, or in its "ip"
// space (1 minus the inner product) when inner_product is set, built with the current OpenMP
// team. Its translation unit alone sees hnswlib, compiled for this processor.
class HnswlibSystem : public AnnSystem {
 public:
  HnswlibSystem(int m, int ef_construction, bool inner_product = false);
  HnswlibSystem(const HnswlibSystem&) = delete;
  HnswlibSystem& operator=(const HnswlibSystem&) = delete;
  ~HnswlibSystem() override;

  std::string name() const override;
  std::string note() const override;
  void Build(const tarvo_test::Dataset& base) override;
  void Release() override;
  void SetBreadth(int breadth) override;
  void Search(const float* query, int k, int64_t* labels) const override;

  // The built index's graph in the engine's layout and row numbers, read back through hnswlib's
  // public calls: level 0 as the base graph of degree 2 M, the levels above as upper layers of
  // degree M entered at hnswlib's entry point, so that the engine's searcher can walk it.
  vexa::Graph<int> EngineGraph() const;

 private:
  struct Index;
  int m_;
  int ef_construction_;
  bool inner_product_;
  std::unique_ptr<Index> index_;  // owned; null until built
};

}  // namespace tarvo_bench

#endif  // TARVO_BENCH_ANN_HNSWLIB_SYSTEM_H_
