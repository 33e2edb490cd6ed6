// Compiled with -march=native -ffp-contract=fast: hnswlib is header-only and picks its widest
// distance path at compile time, as a user who builds it from source for this machine gets it.
#include <hnswlib/hnswlib.h>

#include <memory>
#include <mutex>
#include <string>

#include "bench/ann/ann_system.h"

namespace tarvo_bench {
namespace {

class HnswlibSystem : public AnnSystem {
 public:
  HnswlibSystem(int m, int ef_construction) : m_(m), ef_construction_(ef_construction) {}

  std::string name() const override { return "hnswlib M=" + std::to_string(m_); }

  void Build(const tarvo_test::Dataset& base) override {
    space_ = std::make_unique<hnswlib::L2Space>(base.dim);
    index_ = std::make_unique<hnswlib::HierarchicalNSW<float>>(space_.get(), base.n, m_, ef_construction_);
    index_->addPoint(base.row(0), 0);
#pragma omp parallel for schedule(dynamic, 1)
    for (int i = 1; i < base.n; ++i) index_->addPoint(base.row(i), static_cast<hnswlib::labeltype>(i));
  }

  void Release() override {
    index_.reset();
    space_.reset();
  }

  void SetBreadth(int breadth) override { index_->setEf(breadth); }

  void Search(const float* query, int k, int64_t* labels) const override {
    auto result = index_->searchKnn(query, k);
    for (int j = static_cast<int>(result.size()) - 1; j >= 0; --j) {
      labels[j] = static_cast<int64_t>(result.top().second);
      result.pop();
    }
  }

 private:
  int m_;
  int ef_construction_;
  std::unique_ptr<hnswlib::L2Space> space_;                   // owned; outlives index_
  std::unique_ptr<hnswlib::HierarchicalNSW<float>> index_;    // owned
};

}  // namespace

std::vector<std::unique_ptr<AnnSystem>> MakeHnswlibSystems() {
  std::vector<std::unique_ptr<AnnSystem>> systems;
  systems.push_back(std::make_unique<HnswlibSystem>(16, 200));
  systems.push_back(std::make_unique<HnswlibSystem>(32, 200));
  return systems;
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
