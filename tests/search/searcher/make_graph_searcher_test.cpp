#include "engine/search/searcher/make_graph_searcher.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/search/searcher/graph_searcher.h"
#include "engine/search/searcher/name_tables.h"
#include "tests/search/searcher/searcher_fixture.h"

namespace vexa {
namespace {

using testing_support::MakeGraph;

// The searcher the factory makes for two names, with what it printed.
struct Made {
  std::unique_ptr<SearcherBase> searcher;
  std::string output;
};

Made Make(const Graph<int>& graph, const std::string& metric, const std::string& quant_type) {
  ::testing::internal::CaptureStdout();
  auto searcher = MakeGraphSearcher(graph, metric, quant_type);
  return {std::move(searcher), ::testing::internal::GetCapturedStdout()};
}

// The refine_param of s when s is a searcher of type S, otherwise -1.
template <typename S>
int RefineParamAs(const SearcherBase* s) {
  const auto* searcher = dynamic_cast<const S*>(s);
  return searcher != nullptr ? searcher->refine_param : -1;
}

constexpr char kCopyLine[] = "[Graph] Init Graph with another graph.\n";

TEST(MakeGraphSearcher, MakesEachOfTheEightWithItsLineAndTwoGraphCopies) {
  const Graph<int> graph = MakeGraph({{1}, {0}}, 32, {0});
  struct Case {
    const char* metric;
    const char* quant_type;
    const char* line;
    int refine_param;
    int (*refine_param_as_member)(const SearcherBase*);
  };
  const Case cases[] = {
      {"L2", "FP32", "We are using NewFP32Quantizer L2.\n", 0, &RefineParamAs<FP32L2Searcher>},
      {"IP", "FP32", "We are using NewFP32Quantizer IP.\n", 0, &RefineParamAs<FP32IPSearcher>},
      {"L2", "FP16", "We are using NewFP16Quantizer L2.\n", 0, &RefineParamAs<FP16L2Searcher>},
      {"IP", "FP16", "We are using NewFP16Quantizer IP.\n", 0, &RefineParamAs<FP16IPSearcher>},
      {"L2", "SQ8U", "We are using NewSQ8Quantizer L2.\n", 2, &RefineParamAs<SQ8L2Searcher>},
      {"IP", "SQ8U", "We are using NewSQ8Quantizer IP.\n", 2, &RefineParamAs<SQ8IPSearcher>},
      {"L2", "SQ4U", "We are using NewSQ4Quantizer L2.\n", 10, &RefineParamAs<SQ4L2Searcher>},
      {"IP", "SQ4U", "We are using NewSQ4Quantizer IP.\n", 10, &RefineParamAs<SQ4IPSearcher>},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.metric) + " " + c.quant_type);
    const Made made = Make(graph, c.metric, c.quant_type);
    EXPECT_EQ(made.output, std::string(c.line) + kCopyLine + kCopyLine);
    EXPECT_EQ(c.refine_param_as_member(made.searcher.get()), c.refine_param);
    const auto* base = static_cast<const GraphSearcherBase*>(made.searcher.get());
    EXPECT_EQ(base->metric, c.metric);
    EXPECT_EQ(base->quantType, c.quant_type);
    EXPECT_EQ(base->dim, 0);
    EXPECT_EQ(base->nb, 0);
    EXPECT_EQ(made.searcher->GetEf(), 32);
  }
}

TEST(MakeGraphSearcher, SetsTheFieldsOfANewSearcher) {
  const Graph<int> graph = MakeGraph({{1}, {0}}, 33, {0});
  const Made made = Make(graph, "IP", "SQ4U");
  const auto& s = dynamic_cast<const SQ4IPSearcher&>(*made.searcher);
  EXPECT_EQ(s.refine_param, 10);
  EXPECT_EQ(s.ef, 32);
  EXPECT_EQ(s.consecutiveLog, 20);
  EXPECT_EQ(s.po, 1);
  EXPECT_EQ(s.codeLines, 1);
  EXPECT_EQ(s.adjLines, 3);
  EXPECT_EQ(s.adding_pref, -1);
  EXPECT_EQ(s.patience, -1);
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.chunks, nullptr);
  EXPECT_EQ(s.quant.codes, nullptr);
  EXPECT_EQ(s.refine_quant.codes, nullptr);
  EXPECT_EQ(s.graph.N, 2);
  EXPECT_EQ(s.graph.K, 33);
  EXPECT_NE(s.graph.neighbors, graph.neighbors);
  EXPECT_EQ(s.graph.neighbors[0], 1);
}

TEST(MakeGraphSearcher, AdjacencyLinesFollowTheDegree) {
  for (const auto& [K, lines] : std::vector<std::pair<int, int>>{{32, 2}, {33, 3}, {16, 1}, {0, 0}}) {
    const Made made = Make(MakeGraph({{}, {}}, K, {0}), "L2", "FP32");
    EXPECT_EQ(dynamic_cast<const FP32L2Searcher&>(*made.searcher).adjLines, lines) << "K " << K;
  }
}

TEST(MakeGraphSearcher, UnknownNamesFallBackAndStayInTheSearcher) {
  const Graph<int> graph = MakeGraph({{1}, {0}}, 1, {0});
  for (const char* metric : {"ip", "cosine", "IP "}) {
    const Made made = Make(graph, metric, "FP16");
    EXPECT_EQ(made.output.substr(0, made.output.find('\n')), "We are using NewFP16Quantizer L2.");
    EXPECT_NE(dynamic_cast<const FP16L2Searcher*>(made.searcher.get()), nullptr);
    EXPECT_EQ(static_cast<const GraphSearcherBase&>(*made.searcher).metric, metric);
  }
  const Made made = Make(graph, "IP", "int8");
  EXPECT_EQ(made.output.substr(0, made.output.find('\n')), "We are using NewFP32Quantizer IP.");
  const auto& s = dynamic_cast<const FP32IPSearcher&>(*made.searcher);
  EXPECT_EQ(s.refine_param, 0);
  EXPECT_EQ(s.quantType, "int8");
  EXPECT_EQ(metric_by_name.size(), 2u);
  EXPECT_EQ(quant_type_by_name.size(), 4u);
  EXPECT_EQ(refine_param_by_name.size(), 4u);
}

TEST(GraphSearcher, SettersStoreWithoutChecking) {
  const Made made = Make(MakeGraph({{1}, {0}}, 1, {0}), "L2", "FP32");
  auto& s = dynamic_cast<FP32L2Searcher&>(*made.searcher);
  s.SetEf(0);
  EXPECT_EQ(s.GetEf(), 0);
  s.SetEarlyStoppingParams(-5, -5);
  EXPECT_EQ(s.adding_pref, -5);
  EXPECT_EQ(s.patience, -5);
  s.SetPo(7);
  EXPECT_EQ(s.po, 7);
}

}  // namespace
}  // namespace vexa
