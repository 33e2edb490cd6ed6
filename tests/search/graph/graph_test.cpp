#include "engine/search/graph/graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/captured_stdout.h"
#include "tests/support/memory_map.h"
#include "tests/support/upper_layers.h"

namespace vexa {
namespace {

std::vector<int> Row(const Graph<int>& graph, int i) {
  return std::vector<int>(graph.neighbors + static_cast<size_t>(i) * graph.K,
                          graph.neighbors + static_cast<size_t>(i + 1) * graph.K);
}

std::vector<int> Ids(const AlignedVector& list) { return std::vector<int>(list.begin(), list.end()); }

TEST(GraphAllocate, GivesEmptySlotsAndIdentityOrders) {
  Graph<int> graph;
  graph.Allocate(5, 3);
  EXPECT_EQ(graph.N, 5);
  EXPECT_EQ(graph.K, 3);
  for (int s = 0; s < 15; ++s) EXPECT_EQ(graph.neighbors[s], -1);
  EXPECT_EQ(graph.true_order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(graph.rev_order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(graph.GraphType(), 0);
  EXPECT_EQ(graph.hnsw1pgraph, nullptr);
}

TEST(GraphAllocate, WithoutSlotsStillGivesIdentityOrders) {
  Graph<int> graph;
  graph.eps = {4};
  graph.Allocate(5, 0);
  EXPECT_EQ(graph.K, 0);
  EXPECT_EQ(graph.true_order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(graph.rev_order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(graph.eps, std::vector<int>{4});  // left as it was
}

// Allocating again replaces the slots and orders the graph held (the sanitizer build's leak
// checker sees the old block if it is kept) and leaves the entry points and upper layers.
TEST(GraphAllocate, ReplacesTheSlotsAGraphHeld) {
  Graph<int> graph;
  graph.Allocate(5, 5);
  graph.neighbors[0] = 3;
  graph.eps = {4};
  graph.hnsw1pgraph = Hnsw1pGraph::Create(graph);
  graph.Allocate(2, 1);
  EXPECT_EQ(graph.N, 2);
  EXPECT_EQ(graph.K, 1);
  EXPECT_EQ(Row(graph, 0), std::vector<int>{-1});
  EXPECT_EQ(Row(graph, 1), std::vector<int>{-1});
  EXPECT_EQ(graph.true_order, (std::vector<int>{0, 1}));
  EXPECT_EQ(graph.rev_order, (std::vector<int>{0, 1}));
  EXPECT_EQ(graph.eps, std::vector<int>{4});
  EXPECT_NE(graph.hnsw1pgraph, nullptr);
}

// A refused allocation leaves a graph that held something exactly as it was.
TEST(GraphAllocate, RefusalLeavesTheGraphAsItWas) {
  Graph<int> graph;
  graph.Allocate(3, 2);
  graph.neighbors[1] = 2;
  graph.true_order = {2, 0, 1};
  const int* slots = graph.neighbors;
  EXPECT_THROW(graph.Allocate(5, -1), std::bad_alloc);
  EXPECT_THROW(graph.AllocateZeroed(5, -1), std::bad_alloc);
  EXPECT_EQ(graph.neighbors, slots);
  EXPECT_EQ(graph.N, 3);
  EXPECT_EQ(graph.K, 2);
  EXPECT_EQ(Row(graph, 0), (std::vector<int>{-1, 2}));
  EXPECT_EQ(graph.true_order, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(graph.rev_order, (std::vector<int>{0, 1, 2}));
}

// The link graph's slots start as {id 0, distance 0}, without orders.
TEST(GraphAllocateZeroed, GivesZeroSlotsAndNoOrders) {
  Graph<int64_t> graph;
  graph.AllocateZeroed(3, 2);
  EXPECT_EQ(graph.N, 3);
  EXPECT_EQ(graph.K, 2);
  for (int s = 0; s < 6; ++s) EXPECT_EQ(graph.neighbors[s], 0);
  EXPECT_TRUE(graph.true_order.empty());
  EXPECT_TRUE(graph.rev_order.empty());
}

TEST(GraphAllocate, RefusesSlotCountsNoBlockCanHold) {
  Graph<int> negative;
  EXPECT_THROW(negative.Allocate(5, -1), std::bad_alloc);
  EXPECT_EQ(negative.neighbors, nullptr);
  // 1,073,807,362 x 2,147,352,580 slots of 8 bytes are 2^64 + 64 bytes: a wrapped byte count
  // would give a 64-byte block for them.
  Graph<int64_t> wide;
  EXPECT_THROW(wide.Allocate(1073807362, 2147352580), std::bad_alloc);
  EXPECT_EQ(wide.neighbors, nullptr);
}

// INT_MAX x INT_MAX slots are some 16 EiB: the C library has no block for them.
TEST(GraphAllocate, ThrowsWhenTheSlotsCannotBeHad) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer allocator aborts on this request instead of failing it";
#else
  Graph<int> graph;
  EXPECT_THROW(graph.Allocate(INT32_MAX, INT32_MAX), std::bad_alloc);
  EXPECT_EQ(graph.neighbors, nullptr);
  EXPECT_EQ(graph.N, 0);
  EXPECT_TRUE(graph.true_order.empty());
#endif
}

// A damaged file may give any K: the count must not overflow on the way.
TEST(GraphRowLines, CountsTheLinesOfOneRowForAnyK) {
  const struct {
    int K;
    int lines;
  } cases[] = {{0, 0}, {1, 1}, {16, 1}, {17, 2}, {32, 2}, {1494440192, 93402512}, {INT32_MAX, 134217728}};
  for (const auto& c : cases) {
    vexa::Graph<int> graph;
    graph.K = c.K;
    EXPECT_EQ(graph.RowLines(), c.lines) << "K " << c.K;
  }
}

TEST(Hnsw1pGraphCreate, GivesEmptyLayersForEveryNode) {
  Graph<int> graph;
  graph.Allocate(3, 2);
  const std::unique_ptr<Hnsw1pGraph> layers = Hnsw1pGraph::Create(graph);
  EXPECT_EQ(layers->N, 3);
  EXPECT_EQ(layers->K, 0);
  EXPECT_EQ(layers->ep, -1);
  EXPECT_EQ(layers->nodeLevels, (std::vector<int>{0, 0, 0}));
  ASSERT_EQ(layers->lists.size(), 3u);
  for (const AlignedVector& list : layers->lists) {
    EXPECT_EQ(list.data(), nullptr);
    EXPECT_EQ(list.alignment, 64u);
    EXPECT_EQ(list.hugeAlignment, 2097152u);
  }
}

TEST(Hnsw1pGraphCreate, RefusesANodeCountBeyondTheTables) {
  Graph<int> graph;
  graph.N = -1;
  try {
    Hnsw1pGraph::Create(graph);
    FAIL() << "no length error";
  } catch (const std::length_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot create std::vector larger than max_size()");
  }
}

TEST(GraphCopy, IsDeepWithUpperLayersAndTheirAlignmentClasses) {
  Graph<int> source;
  source.Allocate(3, 2);
  source.neighbors[0] = 1;
  source.neighbors[2] = 2;
  source.neighbors[3] = 0;
  source.eps = {2, 0};
  source.true_order = {2, 0, 1};
  source.rev_order = {1, 2, 0};
  // Lists of 16,384 and 16,385 ids: the first stays in a 64-byte-aligned block, the second
  // takes a 2 MiB-aligned, hinted one. Node 2 has no list.
  InstallUpperLayers(&source, 1, 1, {std::vector<int>(16384, 1), std::vector<int>(16385, 0), {}});

  std::unique_ptr<Graph<int>> made;
  const std::string printed = CapturedStdout([&] { made = std::make_unique<Graph<int>>(source); });
  EXPECT_EQ(printed, "[Graph] Init Graph with another graph.\n");
  Graph<int>& copy = *made;

  EXPECT_EQ(copy.N, 3);
  EXPECT_EQ(copy.K, 2);
  EXPECT_EQ(copy.GraphType(), 1);
  ASSERT_NE(copy.neighbors, source.neighbors);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Row(copy, i), Row(source, i));
  EXPECT_EQ(copy.eps, source.eps);
  EXPECT_EQ(copy.true_order, source.true_order);
  EXPECT_EQ(copy.rev_order, source.rev_order);

  ASSERT_NE(copy.hnsw1pgraph, nullptr);
  ASSERT_NE(copy.hnsw1pgraph, source.hnsw1pgraph);
  const Hnsw1pGraph& layers = *copy.hnsw1pgraph;
  EXPECT_EQ(layers.N, 3);
  EXPECT_EQ(layers.K, 1);
  EXPECT_EQ(layers.ep, 1);
  EXPECT_EQ(layers.nodeLevels, (std::vector<int>{16384, 16385, 0}));
  const AlignedVector& small = layers.lists[0];
  const AlignedVector& huge = layers.lists[1];
  EXPECT_EQ(Ids(small), Ids(source.hnsw1pgraph->lists[0]));
  EXPECT_EQ(Ids(huge), Ids(source.hnsw1pgraph->lists[1]));
  EXPECT_EQ(small.capacity(), 16384u);
  EXPECT_EQ(huge.capacity(), 16385u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(small.data()) % 64, 0u);
  EXPECT_FALSE(HasHugePageHint(small.data()));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(huge.data()) % 2097152, 0u);
  EXPECT_TRUE(HasHugePageHint(huge.data()));
  EXPECT_EQ(layers.lists[2].data(), nullptr);

  copy.neighbors[0] = 2;
  EXPECT_EQ(source.neighbors[0], 1);
}

TEST(GraphCopy, OfAGraphWithoutSlotsOrLayers) {
  Graph<int> source;
  source.Allocate(4, 0);
  std::unique_ptr<Graph<int>> copy;
  CapturedStdout([&] { copy = std::make_unique<Graph<int>>(source); });
  EXPECT_EQ(copy->N, 4);
  EXPECT_EQ(copy->K, 0);
  EXPECT_EQ(copy->true_order, source.true_order);
  EXPECT_EQ(copy->hnsw1pgraph, nullptr);
}

// A move hands the storage over, prints nothing, and leaves the source empty; moving into a
// graph releases what it held (the leak checker of the sanitizer build sees a slip).
TEST(GraphMove, HandsOverTheStorageAndEmptiesTheSource) {
  Graph<int> source;
  source.Allocate(3, 2);
  source.neighbors[1] = 2;
  source.eps = {1};
  source.hnsw1pgraph = Hnsw1pGraph::Create(source);
  const int* slots = source.neighbors;
  Graph<int> target;
  target.Allocate(5, 5);
  const std::string printed = CapturedStdout([&] { target = std::move(source); });
  EXPECT_EQ(printed, "");
  EXPECT_EQ(target.neighbors, slots);
  EXPECT_EQ(Row(target, 0), (std::vector<int>{-1, 2}));
  EXPECT_EQ(target.N, 3);
  EXPECT_EQ(target.K, 2);
  EXPECT_EQ(target.GraphType(), 1);
  EXPECT_EQ(target.eps, std::vector<int>{1});
  EXPECT_EQ(target.true_order, (std::vector<int>{0, 1, 2}));
  ASSERT_NE(target.hnsw1pgraph, nullptr);
  EXPECT_EQ(source.neighbors, nullptr);
  EXPECT_EQ(source.N, 0);
  EXPECT_EQ(source.K, 0);
  EXPECT_EQ(source.GraphType(), 0);
  EXPECT_TRUE(source.eps.empty());
  EXPECT_TRUE(source.true_order.empty());
  EXPECT_TRUE(source.rev_order.empty());
  EXPECT_EQ(source.hnsw1pgraph, nullptr);

  Graph<int> constructed(std::move(target));
  EXPECT_EQ(constructed.neighbors, slots);
  EXPECT_EQ(target.neighbors, nullptr);
}

// A copy whose slots cannot be had throws before it prints or copies anything: one whose byte
// count wraps (checked before the C library is asked) and, outside the sanitizer build, one of
// some 16 EiB that the C library refuses.
TEST(GraphCopy, ThrowsWhenTheSlotsCannotBeHad) {
  Graph<int64_t> wide;
  wide.N = 1073807362;
  wide.K = 2147352580;
  EXPECT_EQ(CapturedStdout([&] { EXPECT_THROW(Graph<int64_t>{wide}, std::bad_alloc); }), "");
#if !defined(__SANITIZE_ADDRESS__)
  Graph<int> huge;
  huge.N = INT32_MAX;
  huge.K = INT32_MAX;
  EXPECT_EQ(CapturedStdout([&] { EXPECT_THROW(Graph<int>{huge}, std::bad_alloc); }), "");
#endif
}

// The renumbering example: true_order (2, 0, 1) and rev_order (1, 2, 0), K = 2, rows
// 0: (1, -1), 1: (2, 0), 2: (0, -1), entry point 0.
void FillRenumberingExample(Graph<int>* graph) {
  graph->Allocate(3, 2);
  const int rows[] = {1, -1, 2, 0, 0, -1};
  std::copy(std::begin(rows), std::end(rows), graph->neighbors);
  graph->eps = {0};
  graph->true_order = {2, 0, 1};
  graph->rev_order = {1, 2, 0};
}

TEST(GraphReorderInPlace, RenumbersRowsIdsAndEntryPoints) {
  Graph<int> graph;
  FillRenumberingExample(&graph);
  const std::string printed = CapturedStdout([&] { graph.ReorderInPlace(); });
  EXPECT_EQ(printed, "[Graph] In-place rebuilding graph and eps, N:3, K:2, #eps:1\n");
  EXPECT_EQ(Row(graph, 0), (std::vector<int>{1, -1}));
  EXPECT_EQ(Row(graph, 1), (std::vector<int>{2, -1}));
  EXPECT_EQ(Row(graph, 2), (std::vector<int>{0, 1}));
  EXPECT_EQ(graph.eps, std::vector<int>{1});
  EXPECT_EQ(graph.true_order, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(graph.rev_order, (std::vector<int>{1, 2, 0}));
}

TEST(GraphReorderInPlace, RowsEndAtTheirFirstEmptySlot) {
  Graph<int> graph;
  graph.Allocate(2, 3);
  const int rows[] = {1, -1, 1, 0, -1, -1};  // the 1 after the -1 of row 0 is not an id
  std::copy(std::begin(rows), std::end(rows), graph.neighbors);
  graph.true_order = {1, 0};
  graph.rev_order = {1, 0};
  CapturedStdout([&] { graph.ReorderInPlace(); });
  EXPECT_EQ(Row(graph, 0), (std::vector<int>{1, -1, -1}));
  EXPECT_EQ(Row(graph, 1), (std::vector<int>{0, -1, -1}));
}

TEST(GraphReorderInPlace, RenumbersTheUpperLayers) {
  Graph<int> graph;
  FillRenumberingExample(&graph);
  // Old numbering: node 0 on level 1, node 1 on the base layer only, node 2 on levels 1 and 2.
  InstallUpperLayers(&graph, 2, 2, {{2, -1}, {}, {0, -1, -1, -1}});
  const std::string printed = CapturedStdout([&] { graph.ReorderInPlace(); });
  EXPECT_EQ(printed,
            "[Graph] In-place rebuilding graph and eps, N:3, K:2, #eps:1\n"
            "[Graph] In-place rebuilding hnsw1pgraph, N:3, K:2, ep:2\n");
  const Hnsw1pGraph& layers = *graph.hnsw1pgraph;
  EXPECT_EQ(layers.N, 3);
  EXPECT_EQ(layers.K, 2);
  EXPECT_EQ(layers.ep, 0);
  EXPECT_EQ(layers.nodeLevels, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(Ids(layers.lists[0]), (std::vector<int>{1, -1, -1, -1}));
  EXPECT_EQ(Ids(layers.lists[1]), (std::vector<int>{0, -1}));
  EXPECT_EQ(layers.lists[2].data(), nullptr);
  EXPECT_EQ(graph.GraphType(), 1);
}

TEST(GraphReorderInPlace, KeepsAMissingUpperEntryPoint) {
  Graph<int> graph;
  FillRenumberingExample(&graph);
  InstallUpperLayers(&graph, 2, -1, {{}, {}, {}});
  CapturedStdout([&] { graph.ReorderInPlace(); });
  EXPECT_EQ(graph.hnsw1pgraph->ep, -1);
  EXPECT_EQ(graph.hnsw1pgraph->nodeLevels, (std::vector<int>{0, 0, 0}));
}

}  // namespace
}  // namespace vexa
