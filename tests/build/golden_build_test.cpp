// One-thread builds of every graph type, with and without the reorder, and the index blobs of
// the eight searchers over one of them, pinned to the bytes that the engine produced when these
// constants were recorded. A change of the engine that alters a single byte of a graph or of a
// blob fails here; one that only moves code around does not.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/build/ssg/ssg.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "tests/support/captured_stdout.h"
#include "tests/support/exact_knn.h"
#include "tests/support/omp_threads.h"

namespace vexa {
namespace {

constexpr int kRows = 300;
constexpr int kDim = 8;
constexpr int kLog = 6;  // 64 vectors per chunk, so rows are addressed across five chunks

// 64-bit FNV-1a of the bytes.
uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (const uint8_t b : bytes) {
    hash ^= b;
    hash *= 1099511628211ull;
  }
  return hash;
}

// kRows vectors whose components are multiples of 2^-23 in [-1, 1), from a fixed linear
// congruential sequence: exact floats that depend on no library's distributions.
const tarvo_test::Dataset& Vectors() {
  static const tarvo_test::Dataset data = [] {
    tarvo_test::Dataset d;
    d.n = kRows;
    d.dim = kDim;
    uint64_t state = 20240601;
    for (int i = 0; i < kRows * kDim; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      const auto mantissa = static_cast<int32_t>(state >> 40);  // 24 bits
      d.values.push_back(static_cast<float>(mantissa - (1 << 23)) / static_cast<float>(1 << 23));
    }
    return d;
  }();
  return data;
}

// The graph's blob section, as the index blob holds it.
std::vector<uint8_t> SectionBytes(const Graph<int>& graph) {
  std::vector<uint8_t> bytes(graph.GetDataSize());
  size_t length = bytes.size();
  size_t offset = 0;
  EXPECT_EQ(graph.SaveToMem(bytes.data(), &length, &offset), 0);
  return bytes;
}

// One build: an SSG index type with its initial graph and refinement, or "HNSW".
struct GoldenGraph {
  const char* index_type;
  const char* init_builder_type;  // SSG builds only
  int graph_opt_iter;             // SSG builds only
  const char* metric;
  uint64_t plain;      // hash of the graph section as built
  uint64_t reordered;  // hash after the reorder
};

void PrintTo(const GoldenGraph& g, std::ostream* os) {
  *os << g.index_type;
  if (std::string(g.index_type) != "HNSW") *os << "_" << g.init_builder_type << "_Opt" << g.graph_opt_iter;
  *os << "_" << g.metric;
}

// The graph of one build over Vectors() with one thread, its lines swallowed.
Graph<int> BuildGraph(const GoldenGraph& g, float** table) {
  Graph<int> graph;
  CapturedStdout([&] {
    tarvo_test::OmpThreads team(1);
    if (std::string(g.index_type) == "HNSW") {
      HNSW builder(g.metric, kDim, 8, 40);
      builder.Build(table, kLog, kRows);
      graph = std::move(builder.graph);
    } else {
      SSG builder(16, 40, 60.0f, 10, g.metric, g.init_builder_type, g.index_type, kDim, g.graph_opt_iter);
      builder.Build(table, kLog, kRows);
      graph = std::move(builder.graph);
    }
  });
  return graph;
}

// Reorders graph over the vectors of table, its lines swallowed.
void Reorder(Graph<int>& graph, const char* metric, float** table) {
  GraphReorderWorker worker;
  worker.distFn = std::string(metric) == "L2" ? DistanceFP32L2 : DistanceFP32IP;
  worker.chunks = table;
  worker.metric = metric;
  worker.consecutiveLog = kLog;
  worker.dim = kDim;
  CapturedStdout([&] { worker.MagicReorder(graph); });
}

// The test name of a case.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::ostringstream os;
  PrintTo(info.param, &os);
  return os.str();
}

class GoldenGraphTest : public ::testing::TestWithParam<GoldenGraph> {};

TEST_P(GoldenGraphTest, BuildsTheRecordedBytes) {
  const GoldenGraph& g = GetParam();
  std::vector<float*> table = tarvo_test::MakeChunkTable(Vectors(), kLog);
  Graph<int> graph = BuildGraph(g, table.data());
  ASSERT_EQ(graph.N, kRows);
  const uint64_t plain = Fnv1a(SectionBytes(graph));
  EXPECT_EQ(plain, g.plain) << std::hex << "built: 0x" << plain;
  Reorder(graph, g.metric, table.data());
  const uint64_t reordered = Fnv1a(SectionBytes(graph));
  EXPECT_EQ(reordered, g.reordered) << std::hex << "reordered: 0x" << reordered;
}

INSTANTIATE_TEST_SUITE_P(EveryGraphType, GoldenGraphTest,
                         ::testing::Values(
                             GoldenGraph{"SSG", "RNNDescent", 0, "L2", 0x60bfa3024c6fb479, 0x2c7ba5a5d787100b},
                             GoldenGraph{"SSG", "RNNDescent", 2, "L2", 0xd4cbc502c473d574, 0xdadea07a6ffe8c87},
                             GoldenGraph{"SSG", "NNDescent", 0, "L2", 0xb7b24f734497060b, 0x12793dcb643f712f},
                             GoldenGraph{"SSG", "NNDescent", 2, "L2", 0xdd4da8fc6ceb6b18, 0x196dc939bce54d28},
                             GoldenGraph{"NSG", "RNNDescent", 0, "L2", 0x8a924318b0794b3d, 0xf39ae95e752a1f7a},
                             GoldenGraph{"NSG", "RNNDescent", 2, "L2", 0xdf2d5070603de78e, 0x478e7dd8be311fd9},
                             GoldenGraph{"NSG", "NNDescent", 0, "L2", 0x4c85f0d79f34b526, 0xc4f193dc86b0e09c},
                             GoldenGraph{"NSG", "NNDescent", 2, "L2", 0x4a5f74f67d34a2a9, 0xc8d72d181b4b8b9f},
                             GoldenGraph{"TSDG", "RNNDescent", 0, "L2", 0x46b18569f7464533, 0x750632d0678a3bca},
                             GoldenGraph{"TSDG", "RNNDescent", 2, "L2", 0xfb223d61629498ac, 0xb36a2e13a2b669f2},
                             GoldenGraph{"TSDG", "NNDescent", 0, "L2", 0xa58810bd97057cf, 0xa0d0d331e80ecb0e},
                             GoldenGraph{"TSDG", "NNDescent", 2, "L2", 0x4e26ac043e3ebf04, 0x21092e02d4f61b6b},
                             GoldenGraph{"SSG", "RNNDescent", 0, "IP", 0x544ed23a8ca6d7f0, 0x58ac151267d0745c},
                             GoldenGraph{"HNSW", "", 0, "L2", 0x3459047747e9a76e, 0xacc9939b3090d6e4},
                             GoldenGraph{"HNSW", "", 0, "IP", 0x31a68e5af1ea1040, 0x671299860a7d747e}),
                         CaseName<GoldenGraph>);

// The index blob of one searcher over the reordered HNSW graph (upper layers and a permutation).
struct GoldenBlob {
  const char* metric;
  const char* quantType;
  uint64_t blob;
};

void PrintTo(const GoldenBlob& b, std::ostream* os) { *os << b.quantType << "_" << b.metric; }

class GoldenBlobTest : public ::testing::TestWithParam<GoldenBlob> {};

TEST_P(GoldenBlobTest, WritesTheRecordedBytes) {
  const GoldenBlob& b = GetParam();
  std::vector<float*> table = tarvo_test::MakeChunkTable(Vectors(), kLog);
  Graph<int> graph = BuildGraph({"HNSW", "", 0, "L2", 0, 0}, table.data());
  Reorder(graph, "L2", table.data());
  std::vector<uint8_t> bytes;
  CapturedStdout([&] {
    std::unique_ptr<SearcherBase> searcher = MakeGraphSearcher(graph, b.metric, b.quantType);
    searcher->Build(table.data(), kLog, kRows, kDim);
    bytes.assign(searcher->GetDataSize(), 0);
    size_t length = bytes.size();
    size_t offset = 0;
    ASSERT_EQ(searcher->SaveSearcherToMem(bytes.data(), &length, &offset), 0);
  });
  EXPECT_EQ(Fnv1a(bytes), b.blob) << std::hex << "0x" << Fnv1a(bytes);
}

INSTANTIATE_TEST_SUITE_P(EverySearcher, GoldenBlobTest,
                         ::testing::Values(GoldenBlob{"L2", "FP32", 0x6338a9c039db80d1},
                                           GoldenBlob{"IP", "FP32", 0xffb0ce2fb3fd77d6},
                                           GoldenBlob{"L2", "FP16", 0xf874cd8b27d09b5e},
                                           GoldenBlob{"IP", "FP16", 0x24e8292b5b374b29},
                                           GoldenBlob{"L2", "SQ8U", 0x4e70cd063e11e88b},
                                           GoldenBlob{"IP", "SQ8U", 0x9d26a183e80b0c28},
                                           GoldenBlob{"L2", "SQ4U", 0x631a41ea5accb300},
                                           GoldenBlob{"IP", "SQ4U", 0x49fded1eaebfb9c8}),
                         CaseName<GoldenBlob>);

}  // namespace
}  // namespace vexa
