#include "engine/search/searcher/make_graph_searcher.h"

#include <cstdio>

#include "engine/search/searcher/graph_searcher.h"
#include "engine/search/searcher/name_tables.h"

namespace vexa {
namespace {

// The value of name in table, or the zero value when the name is absent; never inserts.
template <typename Table>
typename Table::mapped_type ValueOr0(const Table& table, const std::string& name) {
  const auto found = table.find(name);
  return found == table.end() ? typename Table::mapped_type{} : found->second;
}

// The L2 or the IP member of one quantizer family.
template <typename L2Searcher, typename IPSearcher>
std::unique_ptr<SearcherBase> MakeMember(bool inner_product, const char* family, const Graph<int>& graph,
                                         const std::string& metric, const std::string& quantType,
                                         int refine_param) {
  std::printf("We are using New%sQuantizer %s.\n", family, inner_product ? "IP" : "L2");
  if (inner_product) return std::make_unique<IPSearcher>(graph, metric, quantType, refine_param);
  return std::make_unique<L2Searcher>(graph, metric, quantType, refine_param);
}

}  // namespace

std::unique_ptr<SearcherBase> MakeGraphSearcher(const Graph<int>& graph, const std::string& metric,
                                                const std::string& quantType) {
  const bool inner_product = ValueOr0(metric_by_name, metric) == Metric::IP;
  const int refine_param = ValueOr0(refine_param_by_name, quantType);
  switch (ValueOr0(quant_type_by_name, quantType)) {
    case QuantizerType::SQ8U:
      return MakeMember<SQ8L2Searcher, SQ8IPSearcher>(inner_product, "SQ8", graph, metric, quantType, refine_param);
    case QuantizerType::SQ4U:
      return MakeMember<SQ4L2Searcher, SQ4IPSearcher>(inner_product, "SQ4", graph, metric, quantType, refine_param);
    case QuantizerType::FP16:
      return MakeMember<FP16L2Searcher, FP16IPSearcher>(inner_product, "FP16", graph, metric, quantType,
                                                        refine_param);
    case QuantizerType::FP32:
      break;
  }
  return MakeMember<FP32L2Searcher, FP32IPSearcher>(inner_product, "FP32", graph, metric, quantType, refine_param);
}

}  // namespace vexa
