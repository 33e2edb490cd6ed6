#include "engine/search/searcher/graph_searcher.h"

#include "engine/search/searcher/graph_searcher_blob.h"
#include "engine/search/searcher/graph_searcher_build.h"
#include "engine/search/searcher/graph_searcher_expand.h"
#include "engine/search/searcher/graph_searcher_search.h"

namespace vexa {

// The eight searchers; the refine quantizer is always the FP32 quantizer of the same metric.
template class GraphSearcher<NewFP32L2Quantizer<Metric::L2>, NewFP32L2Quantizer<Metric::L2>>;
template class GraphSearcher<NewFP32IPQuantizer<Metric::IP>, NewFP32IPQuantizer<Metric::IP>>;
template class GraphSearcher<NewFP16L2Quantizer<Metric::L2>, NewFP32L2Quantizer<Metric::L2>>;
template class GraphSearcher<NewFP16IPQuantizer<Metric::IP>, NewFP32IPQuantizer<Metric::IP>>;
template class GraphSearcher<NewSQ8L2Quantizer<Metric::L2>, NewFP32L2Quantizer<Metric::L2>>;
template class GraphSearcher<NewSQ8IPQuantizer<Metric::IP>, NewFP32IPQuantizer<Metric::IP>>;
template class GraphSearcher<NewSQ4L2Quantizer<Metric::L2>, NewFP32L2Quantizer<Metric::L2>>;
template class GraphSearcher<NewSQ4IPQuantizer<Metric::IP>, NewFP32IPQuantizer<Metric::IP>>;

}  // namespace vexa
