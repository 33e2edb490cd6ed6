#include "engine/build/hnsw/hnsw.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "engine/build/parallel_failure.h"
#include "engine/build/vector_table.h"
#include "engine/search/memory/alloc_aligned.h"

namespace vexa {
namespace {

// A progress line is printed whenever this many parallel inserts are done.
constexpr int kProgressStep = 10000;
// The largest M_ whose level-0 lists (2 x M_ ids) fit the 16-bit count of a list header.
constexpr size_t kMaxM = 32767;

}  // namespace

HNSW::HNSW(const std::string& metric, int K_features, size_t M, size_t ef_construction)
    : BuilderState(metric, K_features, 20),
      distFn_(ResolveDistance(metric == "L2" ? DistanceFP32L2 : DistanceFP32IP)),
      distManyFn_(ResolveDistanceMany(metric == "L2" ? DistanceFP32L2 : DistanceFP32IP)),
      dim_(K_features),
      M_(M),
      maxM_(M),
      maxM0_(2 * M),
      ef_construction_(ef_construction),
      mult_(1 / std::log(static_cast<double>(M))),
      revSize_(std::log(static_cast<double>(M))),
      data_size_(static_cast<size_t>(static_cast<int64_t>(K_features)) * sizeof(float)),
      size_links_level0_((maxM0_ + 1) * sizeof(uint32_t)),
      offsetData_(size_links_level0_),
      offsetLevel0_(0),
      label_offset_(offsetData_ + data_size_),
      size_data_per_element_(label_offset_ + sizeof(uint64_t)),
      upperLinksSize_((maxM_ + 1) * sizeof(uint32_t)) {
  std::printf("[HNSW] init dim_:%d, M_:%zu, maxM_:%zu, maxM0_:%zu, ef_construction_:%zu, data_size_:%zu\n", dim_,
              M_, maxM_, maxM0_, ef_construction_, data_size_);
  std::printf("[HNSW] init size_links_level0_:%zu, offsetData_:%zu, label_offset_:%zu, size_data_per_element_:%zu\n",
              size_links_level0_, offsetData_, label_offset_, size_data_per_element_);
  std::printf("[HNSW] init mult_:%.6f, revSize_:%.6f\n", mult_, revSize_);
}

HNSW::~HNSW() {
  ReleaseNodes();
}

void HNSW::ReleaseNodes() {
  std::free(data_level0_memory_);
  data_level0_memory_ = nullptr;
  if (linkLists_ != nullptr) {
    for (size_t j = 0; j < insertedCount_; ++j) {
      if (nodeLevels_[j] > 0) std::free(linkLists_[j]);
    }
    std::free(linkLists_);
    linkLists_ = nullptr;
  }
  std::vector<int>().swap(nodeLevels_);
  std::vector<NodeLock>().swap(linkLocks_);
  insertedCount_ = 0;
  topLevel_ = -1;
  entryNode_ = -1;
}

InputProblem HNSW::BuildInputProblem(float** table, int log, int n) const {
  if (n < 1 || dim_ < 1 || M_ < 2 || M_ > kMaxM || ef_construction_ < 1) {
    return InputProblem{"HNSW build: needs n >= 1, dim >= 1, 2 <= M <= 32767, ef_construction >= 1", false};
  }
  const int64_t slots = static_cast<int64_t>(n) * static_cast<int64_t>(maxM0_);
  if (slots >= (int64_t{1} << 31)) {
    return InputProblem{"HNSW build: too many graph slots: N x maxM0 = " + std::to_string(slots) + " (N = " +
                            std::to_string(n) + ", maxM0 = " + std::to_string(maxM0_) + "), must be below 2^31",
                        true};
  }
  if (table == nullptr) return InputProblem{"HNSW build: the chunk table is null", false};
  // A vector of a null chunk is left to its copy, which fails the insert.
  const int64_t bad = VectorTable(table, log, dim_, distFn_).FirstNonFinite(n);
  if (bad >= 0) {
    return InputProblem{"HNSW build: vector " + std::to_string(bad) + " holds a value that is not finite", false};
  }
  return InputProblem{};
}

void HNSW::Build(float** chunks_in, int consecutiveLog_in, int n) {
  ThrowInputProblem(BuildInputProblem(chunks_in, consecutiveLog_in, n));
  std::printf("[HNSW] Start building.\n");
  // What an earlier build, failed or not, left behind.
  ReleaseNodes();
  graph = Graph<int>();
  UseChunks(chunks_in, consecutiveLog_in, n);
  const auto count = static_cast<size_t>(n);
  linkLocks_ = std::vector<NodeLock>(count);
  nodeLevels_.assign(count, 0);
  size_t bytes = 0;
  if (!__builtin_mul_overflow(count, size_data_per_element_, &bytes)) {
    data_level0_memory_ = static_cast<char*>(std::malloc(bytes));
  }
  if (data_level0_memory_ == nullptr) throw std::runtime_error("Failed to allocate memory for data_level0_memory_.\n");
  // The inserts read the elements again and again in no order: from huge pages those reads cost
  // a small share of the address translations.
  AdviseHugePages(data_level0_memory_, bytes);
  // Zeroed, so that the blocks of nodes whose insert failed are null when they are released.
  linkLists_ = static_cast<char**>(std::calloc(count, sizeof(char*)));
  if (linkLists_ == nullptr) throw std::runtime_error("Failed to allocate memory for linkLists_.\n");

  const auto start = std::chrono::system_clock::now();
  Insert(Row(0), 0);
  ParallelFailure failure;
  std::atomic<int> done{0};
#pragma omp parallel for schedule(dynamic, 1)
  for (int i = 1; i < n; ++i) {
    if (failure.failed()) continue;
    failure.Run([&] {
      Insert(Row(i), static_cast<uint64_t>(i));
      const int c = done.fetch_add(1) + 1;
      if (c % kProgressStep == 0) std::printf("[HNSW] Build processing [%d / %d]\n", c, n);
    });
  }
  failure.Rethrow();
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now() - start);
  std::printf("[HNSW] Building time :%.2lfs\n", static_cast<double>(elapsed.count()) * 1e-9);

  graph.Allocate(n, static_cast<int>(maxM0_));
  CopyLevel0();
  CopyUpperLayers();
}

int HNSW::DrawLevel() { return static_cast<int>(-std::log(levelRng_.Next()) * mult_); }

uint64_t HNSW::LabelOf(size_t insertion) const {
  uint64_t label;
  std::memcpy(&label, Element(insertion) + label_offset_, sizeof(label));
  return label;
}

}  // namespace vexa
