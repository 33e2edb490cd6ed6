#ifndef TARVO_ENGINE_SEARCH_SEARCHER_MAKE_GRAPH_SEARCHER_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_MAKE_GRAPH_SEARCHER_H_

#include <memory>
#include <string>

#include "engine/search/graph/graph.h"
#include "engine/search/searcher/searcher_base.h"

namespace vexa {

// A new searcher over a copy of graph for the metric and quantizer-type names, printing which
// one. Names are looked up exactly; an unknown metric gives L2 and an unknown quantizer type the
// FP32 quantizer without re-ranking. The searcher keeps both names as given.
std::unique_ptr<SearcherBase> MakeGraphSearcher(const Graph<int>& graph, const std::string& metric,
                                                const std::string& quantType);

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_MAKE_GRAPH_SEARCHER_H_
