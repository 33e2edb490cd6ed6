#ifndef TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BASE_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BASE_H_

#include <string>
#include <utility>

#include "engine/search/searcher/searcher_base.h"

namespace vexa {

// A searcher over a proximity graph: the names it was made with and the size of its data.
class GraphSearcherBase : public SearcherBase {
 public:
  GraphSearcherBase(std::string metric, std::string quantType)
      : metric(std::move(metric)), quantType(std::move(quantType)) {}

  std::string metric;     // metric name given to the factory, written into the index blob
  std::string quantType;  // quantizer-type name given to the factory, written after the metric
  int dim = 0;            // vector dimension, set by Build or by LoadSearcherFromMem
  int nb = 0;             // number of indexed vectors, set by Build or by LoadSearcherFromMem
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BASE_H_
