#include "engine/search/searcher/graph_searcher.h"

#include "engine/search/searcher/graph_searcher_blob.h"
#include "engine/search/searcher/graph_searcher_build.h"
#include "engine/search/searcher/graph_searcher_expand.h"
#include "engine/search/searcher/graph_searcher_search.h"

namespace vexa {

#define TARVO_INSTANTIATE_SEARCHER(Searcher, Coarse, type, metric, name, refine_param, level) \
  template class TARVO_SEARCHER_TYPE(Coarse, metric);
TARVO_QUANTIZER_KINDS(TARVO_INSTANTIATE_SEARCHER)
#undef TARVO_INSTANTIATE_SEARCHER

}  // namespace vexa
