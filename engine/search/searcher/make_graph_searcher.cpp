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

}  // namespace

std::unique_ptr<SearcherBase> MakeGraphSearcher(const Graph<int>& graph, const std::string& metric,
                                                const std::string& quantType) {
  const Metric m = ValueOr0(metric_by_name, metric) == Metric::IP ? Metric::IP : Metric::L2;
  const QuantizerType t = ValueOr0(quant_type_by_name, quantType);
  const int refine_param = ValueOr0(refine_param_by_name, quantType);
  // Every type has both metrics, so one kind matches.
#define TARVO_MAKE_SEARCHER(Searcher, Coarse, type, metric_name, name, kind_refine_param, level) \
  if (t == QuantizerType::type && m == Metric::metric_name) {                                    \
    std::printf("We are using New%sQuantizer %s.\n", name, #metric_name);                        \
    return std::make_unique<Searcher>(graph, metric, quantType, refine_param);                   \
  }
  TARVO_QUANTIZER_KINDS(TARVO_MAKE_SEARCHER)
#undef TARVO_MAKE_SEARCHER
  return nullptr;
}

}  // namespace vexa
