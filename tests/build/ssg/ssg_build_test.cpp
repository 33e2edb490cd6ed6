#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/build/build_test_support.h"
#include "tests/build/build_type.h"
#include "tests/support/omp_threads.h"

namespace vexa {
namespace {

constexpr int kLog = 6;  // 64 vectors per chunk
constexpr int kR = 16;
constexpr int kL = 40;
constexpr int kTry = 10;

// Random vectors with their chunk table.
struct BuildData {
  BuildData(int n, int dim)
      : data(tarvo_test::RandomDataset(n, dim, 17)), chunks(tarvo_test::MakeChunkTable(data, kLog)) {}
  tarvo_test::Dataset data;
  std::vector<float*> chunks;
};

std::unique_ptr<SSG> MakeBuilder(const BuildType& type, int dim) {
  return std::make_unique<SSG>(kR, kL, 60.0f, kTry, "L2", type.init_builder_type, type.index_type, dim,
                               type.graph_opt_iter);
}

// The ids of row i of the final graph up to its first -1; the slots after it must all be -1.
std::vector<int> FinalRow(const Graph<int>& graph, int i) {
  const std::vector<int> ids = PackedRow(graph, i);
  for (int j = static_cast<int>(ids.size()); j < graph.K; ++j) {
    EXPECT_EQ(graph.neighbors[static_cast<size_t>(i) * graph.K + j], -1) << "row " << i << " is not packed";
  }
  return ids;
}

// The invariants of a finished build over N vectors; repaired when DFSExpand ran. The test data
// never fill every reached row, so a repaired graph reaches every node from every entry point.
void ExpectSoundGraph(const SSG& builder, int N, bool repaired) {
  const Graph<int>& graph = builder.graph;
  ASSERT_EQ(graph.N, N);
  ASSERT_EQ(graph.K, builder.R);
  EXPECT_EQ(graph.GraphType(), 0);
  EXPECT_EQ(graph.hnsw1pgraph, nullptr);
  ASSERT_EQ(graph.true_order.size(), static_cast<size_t>(N));
  for (int i = 0; i < N; ++i) {
    ASSERT_EQ(graph.true_order[i], i);
    ASSERT_EQ(graph.rev_order[i], i);
    const std::vector<int> row = FinalRow(graph, i);
    EXPECT_FALSE(row.empty()) << "row " << i;
    EXPECT_EQ(std::set<int>(row.begin(), row.end()).size(), row.size()) << "row " << i << " repeats an id";
    for (const int id : row) {
      ASSERT_GE(id, 0);
      ASSERT_LT(id, N);
      EXPECT_NE(id, i) << "self loop";
    }
  }
  ASSERT_EQ(graph.eps.size(), static_cast<size_t>(1 + builder.n_try));
  EXPECT_EQ(graph.eps[0], builder.ep);
  const std::set<int> extra(graph.eps.begin() + 1, graph.eps.end());
  EXPECT_EQ(extra.size(), static_cast<size_t>(builder.n_try));
  for (const int e : graph.eps) {
    ASSERT_GE(e, 0);
    ASSERT_LT(e, N);
  }
  if (repaired) {
    for (const int e : graph.eps) EXPECT_EQ(ReachableCount(graph, e), N) << "from entry point " << e;
  }
}

TEST(SSGConstruction, PrintsItsParameters) {
  std::unique_ptr<SSG> builder;
  const std::vector<std::string> lines =
      CapturedLines([&] { builder = std::make_unique<SSG>(50, 100, 60.0f, 10, "L2", "RNNDescent", "SSG", 1024, 0); });
  EXPECT_EQ(lines, std::vector<std::string>{
                       "[SSG] R:50, L:100, A:60.00, n_try:10, index_type: SSG, init_builder_type: RNNDescent"});
  EXPECT_EQ(builder->distFn, &DistanceFP32L2);
  EXPECT_EQ(SSG(50, 100, 60.0f, 10, "IP", "NNDescent", "NSG", 8, 0).distFn, &DistanceFP32IP);
  EXPECT_EQ(SSG(50, 100, 60.0f, 10, "cosine", "NNDescent", "NSG", 8, 0).distFn, nullptr);
}

TEST(SSGBuild, PrintsTheStagesOfALinkPassBuild) {
  for (const char* init : {"RNNDescent", "NNDescent", "anything"}) {
    BuildData data(300, 8);
    std::unique_ptr<SSG> builder = MakeBuilder({"SSG", init, 0}, 8);
    const std::vector<std::string> lines = CapturedLines([&] { builder->Build(data.chunks.data(), kLog, 300); });
    const char* initLine = std::string(init) == "NNDescent" ? "Init using KNN." : "Init using RNN.";
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Start buildling", initLine, "[Graph] Init Graph with another graph.",
                                        "[SSG] Start SSG Init.", "[SSG] Start Tarvo Link.", "[SSG] Start DFSExpand."}))
        << init;
  }
}

// The lines of a MagicLink build whose initial graph printed initLine: one iteration line, copy
// line and Jaccard line for each of `iterations` iterations; only the last may meet the stop test.
void ExpectMagicLinkLines(const std::vector<std::string>& lines, const std::string& initLine, int graph_opt_iter,
                          int iterations) {
  ASSERT_EQ(lines.size(), 6 + 3 * static_cast<size_t>(iterations));
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
            (std::vector<std::string>{"Start buildling", initLine, "[Graph] Init Graph with another graph.",
                                      "[SSG] Start SSG Init.", "[SSG] Start MagicLink."}));
  EXPECT_EQ(lines.back(), "[SSG] Start Magic generate eps.");
  for (int i = 0; i < iterations; ++i) {
    const std::string number = std::to_string(i);
    EXPECT_EQ(lines[5 + 3 * i], "Start iteration #" + number + " of " + std::to_string(graph_opt_iter));
    EXPECT_EQ(lines[6 + 3 * i], "[Graph] Init Graph with another graph.");
    const std::string jaccard = lines[7 + 3 * i];
    const std::string prefix = "Graph iter#" + number + ", jacard:";
    ASSERT_EQ(jaccard.substr(0, prefix.size()), prefix);
    const double J = std::stod(jaccard.substr(prefix.size()));
    EXPECT_GE(J, 0.0);
    EXPECT_LE(J, 1.0);
    // The line rounds J to four places: a J that stops the iterations prints at least 0.9999,
    // one that does not at most 0.9999.
    if (i + 1 < iterations) {
      EXPECT_LE(J, 0.9999) << "iterations went on after convergence";
    } else if (iterations < graph_opt_iter) {
      EXPECT_GE(J, 0.9999) << "iterations stopped early";
    }
  }
}

struct MagicLinkLinesCase {
  const char* init_builder_type;
  const char* initLine;
  int graph_opt_iter;
  int iterations;  // that the build runs
};

TEST(SSGBuild, PrintsEveryMagicLinkIterationUpToTheStop) {
  // One thread makes the builds repeatable. On these 300 vectors the rows from RNN-Descent still
  // change in the third iteration, while the first refinement of the rows from NN-Descent (whose
  // first pass sees most of the nodes) changes no row.
  tarvo_test::OmpThreads team(1);
  for (const MagicLinkLinesCase& c : std::vector<MagicLinkLinesCase>{
           {"RNNDescent", "Init using RNN.", 1, 1}, {"RNNDescent", "Init using RNN.", 3, 3},
           {"NNDescent", "Init using KNN.", 3, 1}}) {
    BuildData data(300, 8);
    std::unique_ptr<SSG> builder = MakeBuilder({"SSG", c.init_builder_type, c.graph_opt_iter}, 8);
    ExpectMagicLinkLines(CapturedLines([&] { builder->Build(data.chunks.data(), kLog, 300); }), c.initLine,
                         c.graph_opt_iter, c.iterations);
  }
}

class SSGBuildTypeTest : public testing::TestWithParam<BuildType> {};

TEST_P(SSGBuildTypeTest, LeavesASoundGraph) {
  const int N = 500;
  BuildData data(N, 8);
  std::unique_ptr<SSG> builder = MakeBuilder(GetParam(), 8);
  builder->Build(data.chunks.data(), kLog, N);
  EXPECT_EQ(builder->nb, N);
  EXPECT_EQ(builder->consecutiveLog, kLog);
  EXPECT_EQ(builder->chunks, data.chunks.data());
  ExpectSoundGraph(*builder, N, GetParam().graph_opt_iter == 0);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, SSGBuildTypeTest, testing::ValuesIn(EveryBuildType(2)),
                         [](const testing::TestParamInfo<BuildType>& info) { return BuildTypeName(info.param); });

// Builds with one OpenMP thread and restores the team size afterwards.
class SSGDeterminismTest : public testing::TestWithParam<BuildType> {
 protected:
  void SetUp() override {
    threads_ = omp_get_max_threads();
    omp_set_num_threads(1);
  }
  void TearDown() override { omp_set_num_threads(threads_); }

 private:
  int threads_ = 1;
};

bool SameGraph(const Graph<int>& a, const Graph<int>& b) {
  if (a.N != b.N || a.K != b.K || a.eps != b.eps) return false;
  return std::equal(a.neighbors, a.neighbors + static_cast<size_t>(a.N) * a.K, b.neighbors);
}

TEST_P(SSGDeterminismTest, ANewBuilderRepeatsTheFirstBuild) {
  const int N = 400;
  BuildData data(N, 8);
  std::unique_ptr<SSG> first = MakeBuilder(GetParam(), 8);
  first->Build(data.chunks.data(), kLog, N);
  std::unique_ptr<SSG> second = MakeBuilder(GetParam(), 8);
  second->Build(data.chunks.data(), kLog, N);
  EXPECT_EQ(first->ep, second->ep);
  EXPECT_TRUE(SameGraph(first->graph, second->graph));
}

TEST_P(SSGDeterminismTest, BuildersMadeTogetherDrawDifferentEntryPoints) {
  const int N = 400;
  BuildData data(N, 8);
  std::unique_ptr<SSG> first = MakeBuilder(GetParam(), 8);
  std::unique_ptr<SSG> second = MakeBuilder(GetParam(), 8);
  first->Build(data.chunks.data(), kLog, N);
  second->Build(data.chunks.data(), kLog, N);
  EXPECT_NE(std::vector<int>(first->graph.eps.begin() + 1, first->graph.eps.end()),
            std::vector<int>(second->graph.eps.begin() + 1, second->graph.eps.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Types, SSGDeterminismTest,
    testing::ValuesIn(std::vector<BuildType>{
        {"SSG", "RNNDescent", 0}, {"NSG", "NNDescent", 0}, {"TSDG", "RNNDescent", 2}, {"SSG", "NNDescent", 3}}),
    [](const testing::TestParamInfo<BuildType>& info) { return BuildTypeName(info.param); });

struct RefusalCase {
  const char* name;
  int n;
  int R;
  int L;
  int n_try;
  int dim;
  const char* metric;
  int consecutiveLog;
  bool nullTable;
  bool nan;
  bool lengthError;     // std::length_error rather than std::invalid_argument
  const char* message;  // a part of the text
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class SSGRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(SSGRefusalTest, RefusesBeforeAnyWork) {
  const RefusalCase& c = GetParam();
  BuildData data(64, 4);
  if (c.nan) data.data.values[5 * 4 + 2] = std::numeric_limits<float>::quiet_NaN();
  SSG builder(c.R, c.L, 60.0f, c.n_try, c.metric, "RNNDescent", "SSG", c.dim, 0);
  float** table = c.nullTable ? nullptr : data.chunks.data();
  std::string message;
  const std::vector<std::string> lines = CapturedLines([&] {
    try {
      builder.Build(table, c.consecutiveLog, c.n);
    } catch (const std::length_error& e) {
      EXPECT_TRUE(c.lengthError);
      message = e.what();
    } catch (const std::invalid_argument& e) {
      EXPECT_FALSE(c.lengthError);
      message = e.what();
    }
  });
  EXPECT_NE(message.find(c.message), std::string::npos) << message;
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(builder.nb, 0);
  EXPECT_EQ(builder.chunks, nullptr);
  EXPECT_EQ(builder.graph.neighbors, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SSGRefusalTest,
    testing::Values(
        RefusalCase{"FewerVectorsThanDescentSamples", 20, 16, 10, 10, 4, "L2", kLog, false, false, false,
                    "too few vectors: N = 20, must be above 20"},
        RefusalCase{"NoMoreVectorsThanL", 40, 16, 40, 10, 4, "L2", kLog, false, false, false,
                    "too few vectors: N = 40, must be above 40"},
        RefusalCase{"NoMoreVectorsThanEntryPoints", 30, 16, 10, 30, 4, "L2", kLog, false, false, false,
                    "must be above 30"},
        RefusalCase{"TooManySlots", 1 << 26, 32, 40, 10, 4, "L2", kLog, false, false, true,
                    "too many graph slots: N x R = 2147483648"},
        RefusalCase{"NoDegree", 64, 0, 10, 10, 4, "L2", kLog, false, false, false, "R is too small: 0"},
        RefusalCase{"NoSearchList", 64, 16, 0, 10, 4, "L2", kLog, false, false, false, "L is too small: 0"},
        RefusalCase{"NegativeEntryPoints", 64, 16, 10, -1, 4, "L2", kLog, false, false, false,
                    "n_try is too small: -1"},
        RefusalCase{"NoDimension", 64, 16, 10, 10, 0, "L2", kLog, false, false, false, "dim is too small: 0"},
        RefusalCase{"UnknownMetric", 64, 16, 10, 10, 4, "cosine", kLog, false, false, false,
                    "metric \"cosine\" is unknown"},
        RefusalCase{"ChunkShiftOutOfRange", 64, 16, 10, 10, 4, "L2", 32, false, false, false,
                    "consecutiveLog is out of range: 32"},
        RefusalCase{"NoChunkTable", 64, 16, 10, 10, 4, "L2", kLog, true, false, false, "the chunk table is null"},
        RefusalCase{"NotANumber", 64, 16, 10, 10, 4, "L2", kLog, false, true, false,
                    "vector 5 holds a value that is not finite"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// A distance function that fails from a chosen call on, counting its calls.
std::atomic<long> distanceCalls{0};
std::atomic<long> failingCall{LONG_MAX};
float FailingDistance(const float* a, const float* b, int d) {
  if (distanceCalls.fetch_add(1) >= failingCall.load()) throw std::runtime_error("distance failed");
  return DistanceFP32L2(a, b, d);
}

class SSGFailureTest : public testing::TestWithParam<BuildType> {};

TEST_P(SSGFailureTest, FailureInsideAParallelLoopLeavesBuild) {
  const int N = 300;
  BuildData data(N, 8);
  std::unique_ptr<SSG> counting = MakeBuilder(GetParam(), 8);
  counting->distFn = FailingDistance;
  distanceCalls = 0;
  failingCall = LONG_MAX;
  counting->Build(data.chunks.data(), kLog, N);
  const long total = distanceCalls.load();

  for (const double fraction : {0.0, 0.3, 0.6, 0.9}) {
    std::unique_ptr<SSG> builder = MakeBuilder(GetParam(), 8);
    builder->distFn = FailingDistance;
    distanceCalls = 0;
    failingCall = static_cast<long>(fraction * total);
    EXPECT_THROW(builder->Build(data.chunks.data(), kLog, N), std::runtime_error) << fraction;
    EXPECT_EQ(builder->chunks, data.chunks.data()) << "the build left its own copy of the vectors behind";

    // The index may build again after a failed build.
    builder->distFn = DistanceFP32L2;
    builder->Build(data.chunks.data(), kLog, N);
    ExpectSoundGraph(*builder, N, GetParam().graph_opt_iter == 0);
    EXPECT_EQ(builder->chunks, data.chunks.data());
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, SSGFailureTest,
                         testing::ValuesIn(std::vector<BuildType>{{"SSG", "RNNDescent", 0}, {"TSDG", "NNDescent", 2}}),
                         [](const testing::TestParamInfo<BuildType>& info) { return BuildTypeName(info.param); });

TEST(SSGDestruction, ReleasesOwnedChunks) {
  auto builder = std::make_unique<SSG>(kR, kL, 60.0f, kTry, "L2", "RNNDescent", "SSG", 4, 0);
  builder->consecutiveLog = 2;
  builder->nb = 9;  // three chunks, the last one missing
  builder->chunks = new float* [3] { new float[16], new float[16], nullptr };
  builder->ownsChunks = true;
  builder.reset();  // the leak checker of the sanitizer build sees what is left
}

}  // namespace
}  // namespace vexa
