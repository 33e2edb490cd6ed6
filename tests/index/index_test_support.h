#ifndef TARVO_TESTS_INDEX_INDEX_TEST_SUPPORT_H_
#define TARVO_TESTS_INDEX_INDEX_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/index/numa_api.h"
#include "engine/index/tarvo.h"
#include "engine/index/tarvo_impl.h"
#include "tests/build/captured_lines.h"
#include "tests/support/fashion_mnist.h"
#include "tests/support/omp_threads.h"

// The tests' way to the replicas of an index and its private sizes, for the states that no
// sequence of operations leaves (a replica without a searcher beside ready ones, for example).
class TarvoTestAccess {
 public:
  // Replica i: impl for i = 0 when the index was made with NUMA mode off.
  static TarvoImpl& Replica(Tarvo& index, size_t i) { return index.impl ? *index.impl : *index.impls.at(i); }
  // How many replicas the index holds.
  static size_t ReplicaCount(const Tarvo& index) { return index.impl ? 1 : index.impls.size(); }
  static int DataNum(const Tarvo& index) { return index.tarvoDataNum; }
  static int MaxThreads(const Tarvo& index) { return index.maxThreadNum; }
};

namespace tarvo_test {

// The builder of a replica: its SSG builder, or its HNSW builder.
inline vexa::BuilderState& BuilderOf(const TarvoImpl& replica) {
  if (replica.builder) return *replica.builder;
  return *replica.hnsw;
}

// Expects a ready replica to keep nothing of its builder's graph and vectors, which its searcher
// holds in its own form, nor a chunk table.
inline void ExpectBuilderDataReleased(const TarvoImpl& replica) {
  const vexa::BuilderState& state = BuilderOf(replica);
  EXPECT_EQ(state.graph.N, 0);
  EXPECT_EQ(state.graph.neighbors, nullptr);
  EXPECT_EQ(state.graph.hnsw1pgraph, nullptr);
  EXPECT_EQ(state.chunks, nullptr);
  EXPECT_FALSE(state.ownsChunks);
  EXPECT_EQ(replica.chunks, nullptr);
}

// A machine of `nodes` NUMA nodes standing in for libnuma while it lives. It records every
// binding; the node of a CPU is the OpenMP thread number of the caller modulo the nodes, or a
// fixed node once one is set.
class FakeNuma {
 public:
  explicit FakeNuma(int nodes) : saved_(vexa::Numa()) {
    SetMachine(nodes);
    vexa::Numa() = vexa::NumaApi{Available, MaxNode, NodeOfCpu, RunOnNode};
  }
  FakeNuma(const FakeNuma&) = delete;
  FakeNuma& operator=(const FakeNuma&) = delete;
  ~FakeNuma() { vexa::Numa() = saved_; }

  // The machine from now on: `nodes` nodes, NUMA support when available; no binding recorded.
  static void SetMachine(int nodes, bool available = true) {
    nodes_ = nodes;
    available_ = available;
    fixedNode_ = kByThread;
    ClearBindings();
  }
  // Every query is answered with node from now on.
  static void FixNode(int node) { fixedNode_ = node; }
  // The nodes bound to since the last ClearBindings, -1 for all.
  static std::vector<int> Bindings() {
    std::lock_guard<std::mutex> hold(mutex_);
    return bindings_;
  }
  static void ClearBindings() {
    std::lock_guard<std::mutex> hold(mutex_);
    bindings_.clear();
  }

 private:
  static constexpr int kByThread = -2;
  static int Available() { return available_ ? 0 : -1; }
  static int MaxNode() { return nodes_ - 1; }
  static int NodeOfCpu(int) {
    const int fixed = fixedNode_;
    return fixed == kByThread ? omp_get_thread_num() % nodes_ : fixed;
  }
  static int RunOnNode(int node) {
    std::lock_guard<std::mutex> hold(mutex_);
    bindings_.push_back(node);
    return 0;
  }

  vexa::NumaApi saved_;
  static inline int nodes_ = 1;
  static inline bool available_ = true;
  static inline std::atomic<int> fixedNode_{kByThread};
  static inline std::mutex mutex_;
  static inline std::vector<int> bindings_;
};

// Every index test runs on a fake one-node machine with NUMA mode off unless it says otherwise,
// builds on one thread (fast on a busy machine, and the same graph every time) and leaves the
// NUMA globals as it found them.
class IndexTest : public testing::Test {
 protected:
  IndexTest() : savedEnabled_(NUMA_ENABLED), savedNodes_(num_numa_nodes) { NUMA_ENABLED = false; }
  ~IndexTest() override {
    NUMA_ENABLED = savedEnabled_;
    num_numa_nodes = savedNodes_;
  }

 private:
  FakeNuma numa_{1};
  OmpThreads buildThreads_{1};
  bool savedEnabled_;
  int savedNodes_;
};

// The vectors that the small indexes are built from: 300 rows of 16 floats.
inline const Dataset& SmallData() {
  static const Dataset data = RandomDataset(300, 16, 1);
  return data;
}

// The queries of the tests: 20 rows of 16 floats.
inline const Dataset& Queries() {
  static const Dataset queries = RandomDataset(20, 16, 2);
  return queries;
}

// The parameters of a small index.
struct IndexParams {
  std::string index_type = "SSG";
  std::string metric = "L2";
  int R = 16;
  int L = 32;
  int A = 60;
  int graph_opt_iter = 0;
  std::string init_builder_type = "RNNDescent";
  int dim = 16;
};

// A new index of params, made quietly.
inline std::unique_ptr<Tarvo> MakeIndex(const IndexParams& params) {
  std::unique_ptr<Tarvo> index;
  vexa::CapturedLines([&] {
    index = std::make_unique<Tarvo>(params.dim, params.R, params.L, params.A, params.graph_opt_iter, params.metric,
                                    params.init_builder_type, params.index_type);
  });
  return index;
}

// A new index made without parameters, quietly: what Load, Deserialize and LoadGraph fill.
inline std::unique_ptr<Tarvo> MakeEmptyIndex() {
  std::unique_ptr<Tarvo> index;
  vexa::CapturedLines([&] { index = std::make_unique<Tarvo>(); });
  return index;
}

// A small index of params after Add of SmallData() at level (eight rows per chunk).
inline std::unique_ptr<Tarvo> MakeGraphIndex(const IndexParams& params, int level = 0, int reorder = 0) {
  std::unique_ptr<Tarvo> index = MakeIndex(params);
  int result = -1;
  vexa::CapturedLines([&] { result = index->Add(SmallData().n, SmallData().values.data(), 3, reorder, level); });
  EXPECT_EQ(result, 0);
  return index;
}

// The same index with its searcher built.
inline std::unique_ptr<Tarvo> MakeReadyIndex(const IndexParams& params, int level = 0, int reorder = 0) {
  std::unique_ptr<Tarvo> index = MakeGraphIndex(params, level, reorder);
  int result = -1;
  vexa::CapturedLines([&] { result = index->BuildSearcher(); });
  EXPECT_EQ(result, 0);
  return index;
}

// The blob of index; empty when Serialize fails.
inline std::vector<unsigned char> BlobOf(const Tarvo& index) {
  unsigned char* data = nullptr;
  unsigned long length = 0;
  int result = -1;
  vexa::CapturedLines([&] { result = index.Serialize(data, length); });
  if (result != 0) return {};
  std::vector<unsigned char> blob(data, data + length);
  delete[] data;
  return blob;
}

// Runs body and gives the lines it printed that begin with "[E" or "[W": the facade's refusals.
template <typename Body>
std::vector<std::string> Refusals(Body&& body) {
  std::vector<std::string> refusals;
  for (const std::string& line : vexa::CapturedLines(body)) {
    if (line.rfind("[E", 0) == 0 || line.rfind("[W", 0) == 0) refusals.push_back(line);
  }
  return refusals;
}

// The labels and distances of a batch of queries.
struct Answers {
  Answers(int n, int k) : labels(static_cast<size_t>(n) * k, -7), distances(static_cast<size_t>(n) * k, -7.0f) {}
  bool operator==(const Answers& other) const { return labels == other.labels && distances == other.distances; }

  std::vector<long> labels;
  std::vector<float> distances;
};

// The k nearest answers of index to queries with num_thread threads; the search must succeed.
inline Answers SearchAll(Tarvo& index, const Dataset& queries, int k, int num_thread = 1) {
  Answers answers(queries.n, k);
  int result = -1;
  vexa::CapturedLines([&] {
    result = index.Search(queries.n, queries.values.data(), k, answers.distances.data(), answers.labels.data(),
                          num_thread);
  });
  EXPECT_EQ(result, 0);
  return answers;
}

}  // namespace tarvo_test

#endif  // TARVO_TESTS_INDEX_INDEX_TEST_SUPPORT_H_
