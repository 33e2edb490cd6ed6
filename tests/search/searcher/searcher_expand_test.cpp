// The best-first expansion of a pool over small hand-made graphs of points on a line (distance =
// squared difference), and over random vectors for the batch grouping.

#include <gtest/gtest.h>

#include <vector>

#include "tests/search/searcher/searcher_fixture.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

using testing_support::BuildSearcher;
using testing_support::Line;
using testing_support::MakeGraph;
using State = testing_support::QueryState<FP32L2Searcher>;

TEST(ExpandPool, ExpandsUntilEveryEntryIsChecked) {
  const Graph<int> graph = MakeGraph({{1, 2}, {0, 3}, {0, 4}, {1, 5}, {2, 5}, {3, 4}}, 2, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({0, 1, 2, 3, 4, 5}));
  const float query = 4.2f;
  State state(*searcher, &query, 3);
  state.Seed({0});
  searcher->ExpandPool(&state.pool, &state.visited, &state.context);
  EXPECT_EQ(state.Ids(), (std::vector<int>{4, 5, 3}));
  EXPECT_EQ(state.pool.cursor, state.pool.size);
  EXPECT_EQ(state.Checked(), 3);
}

TEST(ExpandPool, AnUncheckedEntryPushedOutIsNeverExpanded) {
  // Expanding node 0 inserts 1, 2 and 3, each closer than the last: with room for two, node 0
  // and then node 1 (still unchecked) leave the pool, so node 1's neighbour 4 is never seen.
  const Graph<int> graph = MakeGraph({{1, 2, 3}, {4}, {}, {}, {}}, 3, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({10, 8, 5, 3, 0.5f}));
  const float query = 0.0f;
  State state(*searcher, &query, 2);
  state.Seed({0});
  searcher->ExpandPool(&state.pool, &state.visited, &state.context);
  EXPECT_EQ(state.Ids(), (std::vector<int>{3, 2}));
  EXPECT_FALSE(state.visited.Test(4));
}

TEST(ExpandPool, ADroppedCandidateStaysVisited) {
  // Node 1 is farther than both entries of the full pool: dropped when 0 names it, skipped when 2
  // names it again.
  const Graph<int> graph = MakeGraph({{1}, {}, {1, 3}, {}}, 2, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({0, 5, 1, 0.5f}));
  const float query = 0.0f;
  State state(*searcher, &query, 2);
  state.Seed({0, 2});
  searcher->ExpandPool(&state.pool, &state.visited, &state.context);
  EXPECT_EQ(state.Ids(), (std::vector<int>{0, 3}));
  EXPECT_TRUE(state.visited.Test(1));
}

TEST(ExpandPool, BothLoopsInsertBatchesOfSixteenThenFoursThenSinglesInRowOrder) {
  // Node 0 names 23 new neighbours: a batch of 16, a group of 4 and 3 single distances. The
  // forms group their float additions differently (d_align 48), and each candidate carries the
  // value of the form that its row position falls in.
  const int n = 24;
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(n, 48, 11);
  std::vector<std::vector<int>> rows(n);
  for (int v = 1; v < n; ++v) rows[0].push_back(v);
  const Graph<int> graph = MakeGraph(rows, 23, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, data);
  const float* query = data.row(0);

  State plain(*searcher, query, 32);
  plain.Seed({0});
  searcher->ExpandPool(&plain.pool, &plain.visited, &plain.context);
  State early(*searcher, query, 32);
  early.Seed({0});
  searcher->SetEarlyStoppingParams(100, 100);
  searcher->ExpandPoolEarlyStop(&early.pool, &early.visited, &early.context);

  std::vector<float> expected(n);
  const auto& quant = searcher->quant;
  searcher->ComputeDistances16(&plain.context, &rows[0][0], &expected[1]);
  QuantizerKernels<NewFP32L2Quantizer<Metric::L2>>().Four(plain.code.get(), quant.Code(17), quant.Code(18),
                                                           quant.Code(19), quant.Code(20), &expected[17], quant.d_align);
  for (int v = 21; v < n; ++v) expected[v] = plain.Coarse(v);

  ASSERT_EQ(plain.pool.size, n);
  ASSERT_EQ(early.pool.size, n);
  for (int i = 0; i < n; ++i) {
    const int id = plain.pool.entries[i].id & kNodeIdMask;
    EXPECT_EQ(early.pool.entries[i].id, plain.pool.entries[i].id);
    EXPECT_EQ(early.pool.entries[i].distance, plain.pool.entries[i].distance);
    if (id != 0) {
      EXPECT_EQ(plain.pool.entries[i].distance, expected[id]) << "node " << id;
    }
  }
}

// A chain 0 - 1 - ... - 9 on a line with the query at its far end: each expansion places the
// next node at position 0.
class EarlyStopTest : public ::testing::Test {
 protected:
  EarlyStopTest() {
    std::vector<std::vector<int>> rows(10);
    std::vector<float> xs(10);
    for (int i = 0; i < 10; ++i) {
      xs[i] = static_cast<float>(i);
      if (i + 1 < 10) rows[i].push_back(i + 1);
    }
    searcher_ = BuildSearcher<FP32L2Searcher>(MakeGraph(rows, 1, {}), Line(xs));
  }

  // The number of expansions that one early-stopping walk from node 0 makes.
  int Expansions(int adding_pref, int patience) {
    const float query = 9.0f;
    State state(*searcher_, &query, 10);
    state.Seed({0});
    searcher_->SetEarlyStoppingParams(adding_pref, patience);
    searcher_->ExpandPoolEarlyStop(&state.pool, &state.visited, &state.context);
    return state.Checked();
  }

  std::unique_ptr<FP32L2Searcher> searcher_;
};

TEST_F(EarlyStopTest, PatienceBoundsTheRunOfUnproductiveExpansions) {
  EXPECT_EQ(Expansions(1, 0), 0);    // patience 0 expands nothing
  EXPECT_EQ(Expansions(0, 3), 3);    // adding_pref 0: every expansion is unproductive
  EXPECT_EQ(Expansions(-4, 5), 5);
  EXPECT_EQ(Expansions(1, 3), 10);   // each insertion lands at 0 < 1: productive until the end
  EXPECT_EQ(Expansions(1, 1), 10);   // the last expansion finds nothing, and nothing is left
}

TEST(ExpandPoolEarlyStop, AnExpansionThatAddsNothingIsUnproductive) {
  // Seeded with 0, 1 and 2 (query at 0): node 0's row is empty and node 1 names only visited
  // nodes, so two unproductive expansions come first; node 2 names node 3 twice, which is
  // offered once and lands at position 0.
  const Graph<int> graph = MakeGraph({{}, {0, 2}, {3, 3}, {}}, 2, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({1, 2, 3, 0.5f}));
  const float query = 0.0f;
  for (const auto& [patience, expansions] : std::vector<std::pair<int, int>>{{2, 2}, {3, 4}}) {
    State state(*searcher, &query, 8);
    state.Seed({0, 1, 2});
    searcher->SetEarlyStoppingParams(8, patience);
    searcher->ExpandPoolEarlyStop(&state.pool, &state.visited, &state.context);
    EXPECT_EQ(state.Checked(), expansions) << "patience " << patience;
    EXPECT_EQ(state.Ids(), patience == 2 ? (std::vector<int>{0, 1, 2}) : (std::vector<int>{3, 0, 1, 2}));
  }
}

TEST(ExpandPoolEarlyStop, ADroppedCandidateIsProductiveOnlyWhenAddingPrefExceedsTheCapacity) {
  // Both entries of the full pool name a node farther than the last entry: dropped, position 2.
  const Graph<int> graph = MakeGraph({{2}, {3}, {}, {}}, 1, {});
  const auto searcher = BuildSearcher<FP32L2Searcher>(graph, Line({1, 2, 50, 60}));
  const float query = 0.0f;
  for (const auto& [adding_pref, expansions] : std::vector<std::pair<int, int>>{{2, 1}, {3, 2}}) {
    State state(*searcher, &query, 2);
    state.Seed({0, 1});
    searcher->SetEarlyStoppingParams(adding_pref, 1);
    searcher->ExpandPoolEarlyStop(&state.pool, &state.visited, &state.context);
    EXPECT_EQ(state.Checked(), expansions) << "adding_pref " << adding_pref;
    EXPECT_EQ(state.Ids(), (std::vector<int>{0, 1}));
  }
}

}  // namespace
}  // namespace vexa
