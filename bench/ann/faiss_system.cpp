#include <faiss/IndexHNSW.h>
#include <faiss/IndexNSG.h>
#include <omp.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/ann/ann_system.h"

namespace tarvo_bench {
namespace {

// The faiss library this benchmark was linked against.
const char* FaissBuild() {
#ifdef TARVO_FAISS_NATIVE
  return "faiss 1.7.3 built here from Debian's source package (scripts/build_faiss_native.sh: its AVX2 variant, "
         "-march=native)";
#else
  return "faiss 1.7.3 (Debian libfaiss-dev, static libfaiss.a built for baseline x86-64, no AVX2 variant)";
#endif
}

enum class FaissKind { kHnswFlat, kNsgFlat, kHnswSq8 };

class FaissSystem : public AnnSystem {
 public:
  explicit FaissSystem(FaissKind kind) : kind_(kind) {}

  std::string name() const override {
    switch (kind_) {
      case FaissKind::kHnswFlat: return "faiss HNSWFlat M=32";
      case FaissKind::kNsgFlat: return "faiss NSGFlat R=32";
      case FaissKind::kHnswSq8: return "faiss HNSWSQ8 M=32";
    }
    return "faiss";
  }

  std::string note() const override { return FaissBuild(); }

  void Build(const tarvo_test::Dataset& base) override {
    switch (kind_) {
      case FaissKind::kHnswFlat: {
        auto index = std::make_unique<faiss::IndexHNSWFlat>(base.dim, 32);
        index->hnsw.efConstruction = 200;
        index_ = std::move(index);
        break;
      }
      case FaissKind::kNsgFlat:
        index_ = std::make_unique<faiss::IndexNSGFlat>(base.dim, 32);
        break;
      case FaissKind::kHnswSq8: {
        auto index = std::make_unique<faiss::IndexHNSWSQ>(base.dim, faiss::ScalarQuantizer::QT_8bit, 32);
        index->hnsw.efConstruction = 200;
        index_ = std::move(index);
        break;
      }
    }
    if (!index_->is_trained) index_->train(base.n, base.values.data());
    index_->add(base.n, base.values.data());
  }

  void Release() override { index_.reset(); }

  void SetBreadth(int breadth) override {
    if (kind_ == FaissKind::kNsgFlat) {
      static_cast<faiss::IndexNSG*>(index_.get())->nsg.search_L = breadth;
    } else {
      static_cast<faiss::IndexHNSW*>(index_.get())->hnsw.efSearch = breadth;
    }
  }

  void Search(const float* query, int k, int64_t* labels) const override {
    std::vector<float> distances(k);
    std::vector<faiss::Index::idx_t> ids(k);
    index_->search(1, query, k, distances.data(), ids.data());
    for (int j = 0; j < k; ++j) labels[j] = ids[j];
  }

  // One batch call, parallel inside faiss over an OpenMP team of `threads`: faiss's own best use.
  void SearchBatch(const tarvo_test::Dataset& queries, int k, int threads, int64_t* labels) const override {
    omp_set_num_threads(threads);
    std::vector<float> distances(static_cast<size_t>(queries.n) * k);
    std::vector<faiss::Index::idx_t> ids(static_cast<size_t>(queries.n) * k);
    index_->search(queries.n, queries.values.data(), k, distances.data(), ids.data());
    for (size_t j = 0; j < ids.size(); ++j) labels[j] = ids[j];
  }

 private:
  FaissKind kind_;
  std::unique_ptr<faiss::Index> index_;  // owned
};

}  // namespace

std::vector<std::unique_ptr<AnnSystem>> MakeFaissSystems() {
  std::vector<std::unique_ptr<AnnSystem>> systems;
  systems.push_back(std::make_unique<FaissSystem>(FaissKind::kHnswFlat));
  systems.push_back(std::make_unique<FaissSystem>(FaissKind::kNsgFlat));
  systems.push_back(std::make_unique<FaissSystem>(FaissKind::kHnswSq8));
  return systems;
}

std::string FaissBuildNote() {
  return std::string(FaissBuild()) + ", efConstruction 200 for the HNSW indexes, NSG with its default k-NN graph build";
}

}  // namespace tarvo_bench
