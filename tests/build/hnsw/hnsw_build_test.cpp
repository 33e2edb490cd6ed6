#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/build/hnsw/hnsw.h"
#include "tests/build/captured_lines.h"
#include "tests/build/hnsw/hnsw_test_util.h"

namespace vexa {
namespace {

using tarvo_test::Dataset;
using tarvo_test::RandomDataset;

// Checks the converted graph of an n-node build with the given M: degree 2 M, rows of valid
// distinct ids ended by -1, identity orders, and upper layers whose every id lives on its level.
void ExpectValidGraph(const Graph<int>& graph, int n, int M) {
  ASSERT_EQ(graph.N, n);
  ASSERT_EQ(graph.K, 2 * M);
  EXPECT_EQ(graph.GraphType(), 1);
  EXPECT_TRUE(graph.eps.empty());
  std::vector<int> identity(n);
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(graph.true_order, identity);
  EXPECT_EQ(graph.rev_order, identity);
  for (int i = 0; i < n; ++i) {
    const int* row = graph.neighbors + static_cast<size_t>(i) * graph.K;
    int s = 0;
    std::set<int> ids;
    for (; s < graph.K && row[s] != -1; ++s) {
      ASSERT_GE(row[s], 0) << "row " << i;
      ASSERT_LT(row[s], n) << "row " << i;
      EXPECT_NE(row[s], i) << "row " << i;
      ids.insert(row[s]);
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(s)) << "row " << i << " repeats an id";
    if (n > 1) {
      EXPECT_GT(s, 0) << "row " << i << " is empty";
    }
    for (; s < graph.K; ++s) EXPECT_EQ(row[s], -1) << "row " << i;
  }

  ASSERT_TRUE(graph.hnsw1pgraph);
  const Hnsw1pGraph& upper = *graph.hnsw1pgraph;
  ASSERT_EQ(upper.N, n);
  ASSERT_EQ(upper.K, M);
  ASSERT_GE(upper.ep, 0);
  ASSERT_LT(upper.ep, n);
  EXPECT_EQ(upper.nodeLevels[upper.ep], *std::max_element(upper.nodeLevels.begin(), upper.nodeLevels.end()));
  for (int i = 0; i < n; ++i) {
    const int levels = upper.nodeLevels[i];
    ASSERT_EQ(upper.lists[i].size(), static_cast<size_t>(levels) * M) << "node " << i;
    for (int l = 1; l <= levels; ++l) {
      const int* slots = upper.lists[i].data() + static_cast<size_t>(l - 1) * M;
      int s = 0;
      for (; s < M && slots[s] != -1; ++s) {
        ASSERT_GE(slots[s], 0);
        ASSERT_LT(slots[s], n);
        EXPECT_GE(upper.nodeLevels[slots[s]], l) << "node " << i << " links " << slots[s] << " at level " << l;
      }
      for (; s < M; ++s) EXPECT_EQ(slots[s], -1);
    }
  }
}

bool SameGraph(const Graph<int>& a, const Graph<int>& b) {
  if (a.N != b.N || a.K != b.K) return false;
  const size_t slots = static_cast<size_t>(a.N) * a.K;
  if (std::memcmp(a.neighbors, b.neighbors, slots * sizeof(int)) != 0) return false;
  const Hnsw1pGraph& x = *a.hnsw1pgraph;
  const Hnsw1pGraph& y = *b.hnsw1pgraph;
  if (x.ep != y.ep || x.K != y.K || x.nodeLevels != y.nodeLevels) return false;
  for (int i = 0; i < a.N; ++i) {
    if (!std::equal(x.lists[i].begin(), x.lists[i].end(), y.lists[i].begin(), y.lists[i].end())) return false;
  }
  return true;
}

TEST(HnswBuild, OneThreadInsertsInRowOrderAndRepeatsItself) {
  const Dataset data = RandomDataset(600, 8, 1);
  std::vector<float*> table_a;
  std::vector<float*> table_b;
  auto a = BuildHnsw(data, table_a, 6, 40, 1);
  auto b = BuildHnsw(data, table_b, 6, 40, 1);
  for (int j = 0; j < data.n; ++j) ASSERT_EQ(a->LabelOf(j), static_cast<uint64_t>(j));
  ExpectValidGraph(a->graph, data.n, 6);
  EXPECT_TRUE(SameGraph(a->graph, b->graph));

  // Node r takes the r-th level draw, and the entry point is the first node of the top level.
  const std::vector<int>& levels = a->graph.hnsw1pgraph->nodeLevels;
  EXPECT_EQ(levels, ExpectedLevels(6, data.n));
  const int top = *std::max_element(levels.begin(), levels.end());
  EXPECT_EQ(a->graph.hnsw1pgraph->ep, std::find(levels.begin(), levels.end(), top) - levels.begin());
}

// Releasing the inserts' storage leaves the graph and the chunk table as they are, and the
// builder can build again (with the level draws that follow the first build's).
TEST(HnswBuild, ReleasedNodesLeaveTheGraphAndAReusableBuilder) {
  const Dataset data = RandomDataset(300, 8, 4);
  std::vector<float*> table;
  auto hnsw = BuildHnsw(data, table, 6, 40, 1);
  const Graph<int> built(hnsw->graph);
  hnsw->ReleaseNodes();
  EXPECT_TRUE(SameGraph(hnsw->graph, built));
  EXPECT_EQ(hnsw->chunks, table.data());
  EXPECT_EQ(hnsw->nb, data.n);
  CapturePrinted([&] {
    OmpThreads team(1);
    hnsw->Build(table.data(), 20, data.n);
  });
  ExpectValidGraph(hnsw->graph, data.n, 6);
}

TEST(HnswBuild, ParallelBuildGivesAValidGraphInRowNumbers) {
  const Dataset data = RandomDataset(2000, 8, 2);
  std::vector<float*> table;
  auto hnsw = BuildHnsw(data, table, 5, 30, 4);
  std::vector<uint64_t> labels;
  for (int j = 0; j < data.n; ++j) labels.push_back(hnsw->LabelOf(j));
  std::sort(labels.begin(), labels.end());
  for (int j = 0; j < data.n; ++j) ASSERT_EQ(labels[j], static_cast<uint64_t>(j));
  ExpectValidGraph(hnsw->graph, data.n, 5);

  // Rows are in row numbers: nearly every row links its exact nearest neighbour.
  const std::vector<int> nearest = tarvo_test::ExactKnnGraph(data, 1, false);
  const Graph<int>& graph = hnsw->graph;
  int linked = 0;
  for (int r = 0; r < data.n; ++r) {
    const int* row = graph.neighbors + static_cast<size_t>(r) * graph.K;
    linked += std::find(row, row + graph.K, nearest[r]) != row + graph.K;
  }
  EXPECT_GE(linked, data.n * 95 / 100);
}

TEST(HnswBuild, FirstNodeIsTheEntryNodeAtItsOwnLevel) {
  const Dataset data = RandomDataset(1, 4, 3);
  std::vector<float*> table;
  auto hnsw = BuildHnsw(data, table, 16, 100, 2);
  ExpectValidGraph(hnsw->graph, 1, 16);
  EXPECT_EQ(hnsw->graph.hnsw1pgraph->ep, 0);
  EXPECT_EQ(hnsw->graph.hnsw1pgraph->nodeLevels[0], ExpectedLevels(16, 1)[0]);
}

TEST(HnswBuild, PrintsProgressPerTenThousandParallelInserts) {
  for (const int n : {10000, 10001}) {
    const Dataset data = RandomDataset(n, 2, 4);
    const std::vector<float*> table = tarvo_test::MakeChunkTable(data, 20);
    HNSW hnsw("L2", 2, 5, 11);
    const std::vector<std::string> lines =
        CapturedLines([&] { hnsw.Build(const_cast<float**>(table.data()), 20, n); });
    ASSERT_GE(lines.size(), 2u) << n;
    EXPECT_EQ(lines.front(), "[HNSW] Start building.");
    // The timing line ends in seconds with two decimals.
    const std::string timing = "[HNSW] Building time :";
    ASSERT_EQ(lines.back().rfind(timing, 0), 0u) << lines.back();
    const std::string seconds = lines.back().substr(timing.size());
    char formatted[32];
    std::snprintf(formatted, sizeof(formatted), "%.2fs", std::strtod(seconds.c_str(), nullptr));
    EXPECT_EQ(seconds, formatted);
    const std::vector<std::string> progress(lines.begin() + 1, lines.end() - 1);
    if (n == 10000) {
      EXPECT_TRUE(progress.empty());
    } else {
      EXPECT_EQ(progress, std::vector<std::string>{"[HNSW] Build processing [10000 / 10001]"});
    }
  }
}

// A vector that cannot be copied fails its insert inside the parallel loop; the build throws
// that failure, and the builder releases what it made, the failed node included, when it is
// built again or destroyed.
TEST(HnswBuild, FailedParallelInsertIsRethrown) {
  const Dataset data = RandomDataset(64, 4, 5);
  const std::vector<int> levels = ExpectedLevels(5, data.n);
  // With one thread, the first node after vector 0 with upper lists.
  const int upper_node = static_cast<int>(std::find_if(levels.begin() + 1, levels.end(), [](int l) { return l > 0; }) -
                                          levels.begin());
  ASSERT_LT(upper_node, data.n);
  for (const int threads : {1, 4}) {
    // One vector per chunk, so that a missing chunk is a null vector.
    std::vector<float*> table;
    for (int i = 0; i < data.n; ++i) table.push_back(const_cast<float*>(data.row(i)));
    table[upper_node] = nullptr;
    table[data.n - 1] = nullptr;
    HNSW hnsw("L2", data.dim, 5, 20);
    OmpThreads team(threads);
    std::string text;
    CapturePrinted([&] {
      try {
        hnsw.Build(table.data(), 0, data.n);
      } catch (const std::runtime_error& e) {
        text = e.what();
      }
    });
    EXPECT_EQ(text, "Memcpy failed, error = 150.\n") << threads << " threads";

    table[upper_node] = const_cast<float*>(data.row(upper_node));
    table[data.n - 1] = const_cast<float*>(data.row(data.n - 1));
    CapturePrinted([&] { hnsw.Build(table.data(), 0, data.n); });
    ExpectValidGraph(hnsw.graph, data.n, 5);
  }
}

TEST(HnswBuild, RefusesParametersItCannotBuildWith) {
  struct Case {
    int dim;
    size_t M, ef;
    int n;
  };
  const Case cases[] = {{4, 16, 100, 0}, {0, 16, 100, 10}, {4, 1, 100, 10}, {4, 32768, 100, 10}, {4, 16, 0, 10}};
  const Dataset data = RandomDataset(10, 4, 6);
  std::vector<float*> table = tarvo_test::MakeChunkTable(data, 20);
  for (const Case& c : cases) {
    bool refused = false;
    CapturePrinted([&] {
      HNSW hnsw("L2", c.dim, c.M, c.ef);
      try {
        hnsw.Build(table.data(), 20, c.n);
      } catch (const std::invalid_argument&) {
        refused = true;
      }
    });
    EXPECT_TRUE(refused) << "dim " << c.dim << ", M " << c.M << ", ef " << c.ef << ", n " << c.n;
  }
}

// Input that a build cannot use is refused before anything is touched, with the reason; the
// slot count is tested before any vector is read.
TEST(HnswBuild, RefusesInputItCannotBuildFrom) {
  Dataset data = RandomDataset(10, 4, 7);
  data.values[5 * 4 + 1] = std::numeric_limits<float>::infinity();
  std::vector<float*> table = tarvo_test::MakeChunkTable(data, 1);
  struct Case {
    float** table;
    int n;
    size_t M;
    bool lengthError;
    const char* reason;
  };
  const Case cases[] = {
      {table.data(), data.n, 5, false, "HNSW build: vector 5 holds a value that is not finite"},
      {nullptr, data.n, 5, false, "HNSW build: the chunk table is null"},
      {table.data(), 1 << 26, 16, true,
       "HNSW build: too many graph slots: N x maxM0 = 2147483648 (N = 67108864, maxM0 = 32), must be below 2^31"},
  };
  for (const Case& c : cases) {
    CapturePrinted([&] {
      HNSW hnsw("L2", data.dim, c.M, 20);
      EXPECT_EQ(hnsw.BuildInputProblem(c.table, 1, c.n).reason, c.reason);
      std::string text;
      bool lengthError = false;
      try {
        hnsw.Build(c.table, 1, c.n);
      } catch (const std::length_error& e) {
        lengthError = true;
        text = e.what();
      } catch (const std::invalid_argument& e) {
        text = e.what();
      }
      EXPECT_EQ(text, c.reason);
      EXPECT_EQ(lengthError, c.lengthError) << c.reason;
      EXPECT_EQ(hnsw.nb, 0);
      EXPECT_EQ(hnsw.chunks, nullptr);
    });
  }
  HNSW hnsw("L2", data.dim, 5, 20);
  data.values[5 * 4 + 1] = 0.5f;
  EXPECT_FALSE(hnsw.BuildInputProblem(table.data(), 1, data.n));
}

// A builder that owns its chunk table releases the table and every chunk in it with what the
// build made, and one that was never built (as after a graph-file load) skips missing chunks.
// The sanitizer build's leak checker sees anything left.
TEST(HnswDestruction, ReleasesTheBuildAndOwnedChunks) {
  const Dataset data = RandomDataset(9, 4, 10);
  constexpr int kLog = 2;  // four rows per chunk: three chunks, the last with one row
  for (const bool build : {true, false}) {
    float** chunks = new float*[3];
    for (int c = 0; c < 3; ++c) {
      chunks[c] = new float[4 * data.dim];
      const int rows = std::min(4, data.n - 4 * c);
      std::copy(data.row(4 * c), data.row(4 * c) + rows * data.dim, chunks[c]);
    }
    auto hnsw = std::make_unique<HNSW>("L2", data.dim, 5, 20);
    if (build) {
      CapturePrinted([&] { hnsw->Build(chunks, kLog, data.n); });
      ExpectValidGraph(hnsw->graph, data.n, 5);
    } else {
      delete[] chunks[2];
      chunks[2] = nullptr;
      hnsw->chunks = chunks;
      hnsw->consecutiveLog = kLog;
      hnsw->nb = data.n;
    }
    hnsw->ownsChunks = true;
    hnsw.reset();
  }
}

}  // namespace
}  // namespace vexa
