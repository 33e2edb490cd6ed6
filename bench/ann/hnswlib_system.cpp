// Compiled with -march=native -ffp-contract=fast: hnswlib is header-only and picks its widest
// distance path at compile time, as a user who builds it from source for this machine gets it.
#include "bench/ann/hnswlib_system.h"

#include <hnswlib/hnswlib.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo_bench {

namespace {

std::unique_ptr<hnswlib::SpaceInterface<float>> MakeSpace(int dim, bool inner_product) {
  if (inner_product) return std::make_unique<hnswlib::InnerProductSpace>(dim);
  return std::make_unique<hnswlib::L2Space>(dim);
}

}  // namespace

struct HnswlibSystem::Index {
  Index(int dim, int n, int m, int ef_construction, bool inner_product)
      : space(MakeSpace(dim, inner_product)), hnsw(space.get(), n, m, ef_construction) {}

  std::unique_ptr<hnswlib::SpaceInterface<float>> space;  // outlives hnsw
  hnswlib::HierarchicalNSW<float> hnsw;
};

HnswlibSystem::HnswlibSystem(int m, int ef_construction, bool inner_product)
    : m_(m), ef_construction_(ef_construction), inner_product_(inner_product) {}

HnswlibSystem::~HnswlibSystem() = default;

std::string HnswlibSystem::name() const { return "hnswlib M=" + std::to_string(m_) + (inner_product_ ? " ip" : ""); }

std::string HnswlibSystem::note() const { return "hnswlib 0.6.2 compiled with -march=native"; }

void HnswlibSystem::Build(const tarvo_test::Dataset& base) {
  index_ = std::make_unique<Index>(base.dim, base.n, m_, ef_construction_, inner_product_);
  hnswlib::HierarchicalNSW<float>& hnsw = index_->hnsw;
  hnsw.addPoint(base.row(0), 0);
#pragma omp parallel for schedule(dynamic, 1)
  for (int i = 1; i < base.n; ++i) hnsw.addPoint(base.row(i), static_cast<hnswlib::labeltype>(i));
}

void HnswlibSystem::Release() { index_.reset(); }

void HnswlibSystem::SetBreadth(int breadth) { index_->hnsw.setEf(breadth); }

void HnswlibSystem::Search(const float* query, int k, int64_t* labels) const {
  auto result = index_->hnsw.searchKnn(query, k);
  for (int j = static_cast<int>(result.size()) - 1; j >= 0; --j) {
    labels[j] = static_cast<int64_t>(result.top().second);
    result.pop();
  }
}

vexa::Graph<int> HnswlibSystem::EngineGraph() const {
  hnswlib::HierarchicalNSW<float>& hnsw = index_->hnsw;
  const int n = static_cast<int>(hnsw.cur_element_count);
  auto row_of = [&](hnswlib::tableint internal) { return static_cast<int>(hnsw.getExternalLabel(internal)); };
  vexa::Graph<int> graph;
  graph.Allocate(n, 2 * m_);
  std::unique_ptr<vexa::Hnsw1pGraph> layers = vexa::Hnsw1pGraph::Create(graph);
  layers->K = m_;
  layers->ep = row_of(hnsw.enterpoint_node_);
  for (int j = 0; j < n; ++j) {
    const int row = row_of(static_cast<hnswlib::tableint>(j));
    const std::vector<hnswlib::tableint> level0 = hnsw.getConnectionsWithLock(static_cast<hnswlib::tableint>(j), 0);
    for (size_t k = 0; k < level0.size(); ++k) {
      graph.neighbors[static_cast<size_t>(row) * graph.K + k] = row_of(level0[k]);
    }
    const int levels = hnsw.element_levels_[j];
    layers->nodeLevels[row] = levels;
    if (levels < 1) continue;
    layers->lists[row].Assign(static_cast<size_t>(levels) * m_, -1);
    for (int l = 1; l <= levels; ++l) {
      const std::vector<hnswlib::tableint> links = hnsw.getConnectionsWithLock(static_cast<hnswlib::tableint>(j), l);
      int* slots = layers->lists[row].data() + static_cast<size_t>(l - 1) * m_;
      for (size_t k = 0; k < links.size(); ++k) slots[k] = row_of(links[k]);
    }
  }
  graph.hnsw1pgraph = std::move(layers);
  return graph;
}

std::vector<std::unique_ptr<AnnSystem>> MakeHnswlibSystems() {
  std::vector<std::unique_ptr<AnnSystem>> systems;
  systems.push_back(MakeHnswlibM16());
  systems.push_back(std::make_unique<HnswlibSystem>(32, 200));
  return systems;
}

std::unique_ptr<AnnSystem> MakeHnswlibM16(bool inner_product) {
  return std::make_unique<HnswlibSystem>(16, 200, inner_product);
}

std::string HnswlibBuildNote() {
#if defined(__AVX512F__)
  return "hnswlib 0.6.2 (Debian libhnswlib-dev), compiled with -march=native: AVX-512 distance path";
#elif defined(__AVX__)
  return "hnswlib 0.6.2 (Debian libhnswlib-dev), compiled with -march=native: AVX distance path";
#else
  return "hnswlib 0.6.2 (Debian libhnswlib-dev), compiled with -march=native: SSE distance path";
#endif
}

}  // namespace tarvo_bench
