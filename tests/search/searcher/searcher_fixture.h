#ifndef TARVO_TESTS_SEARCH_SEARCHER_SEARCHER_FIXTURE_H_
#define TARVO_TESTS_SEARCH_SEARCHER_SEARCHER_FIXTURE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/graph/graph.h"
#include "engine/search/searcher/graph_searcher.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace testing_support {

// The metric and quantizer-type names of the eight searchers.
inline const std::vector<std::pair<std::string, std::string>> kAllSearchers = {
    {"L2", "FP32"}, {"IP", "FP32"}, {"L2", "FP16"}, {"IP", "FP16"},
    {"L2", "SQ8U"}, {"IP", "SQ8U"}, {"L2", "SQ4U"}, {"IP", "SQ4U"}};

// A graph of rows.size() nodes of K slots: row i holds rows[i], then -1s.
inline Graph<int> MakeGraph(const std::vector<std::vector<int>>& rows, int K, const std::vector<int>& eps) {
  Graph<int> graph;
  graph.Allocate(static_cast<int>(rows.size()), K);
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t s = 0; s < rows[i].size(); ++s) graph.neighbors[i * K + s] = rows[i][s];
  }
  graph.eps = eps;
  return graph;
}

// A searcher of type S over graph, built from the rows of data (caller row i = node i).
template <typename S>
std::unique_ptr<S> BuildSearcher(const Graph<int>& graph, const tarvo_test::Dataset& data, int refine_param = 0,
                                 int consecutive_log = 4) {
  auto searcher = std::make_unique<S>(graph, "L2", "FP32", refine_param);
  std::vector<float*> chunks;
  const size_t per_chunk = size_t{1} << consecutive_log;
  for (size_t c = 0; c * per_chunk < static_cast<size_t>(data.n); ++c) {
    chunks.push_back(const_cast<float*>(data.values.data()) + c * per_chunk * data.dim);
  }
  searcher->Build(chunks.data(), consecutive_log, data.n, data.dim);
  searcher->UpdatePrefetchLines();
  return searcher;
}

// One-dimensional points as a dataset.
inline tarvo_test::Dataset Line(const std::vector<float>& xs) {
  tarvo_test::Dataset data;
  data.n = static_cast<int>(xs.size());
  data.dim = 1;
  data.values = xs;
  return data;
}

// The working state of one query, as SearchQuery makes it: the query code, the context, a pool
// of `capacity` entries and an empty visited set.
template <typename S>
struct QueryState {
  QueryState(const S& searcher, const float* query, int capacity)
      : code(MakeAlignedArray<uint8_t>(searcher.quant.code_size)),
        context{&searcher.quant, code.get()},
        pool(capacity, searcher.adjLines),
        visited(static_cast<size_t>(searcher.nb)) {
    searcher.quant.EncodeQuery(query, code.get());
  }

  using Quantizer = decltype(S::quant);

  // The coarse distance of node v to the query, by the single-code kernel.
  typename S::Distance Coarse(int v) const {
    const Quantizer& quant = *context.quant;
    return QuantizerKernels<Quantizer>().One(code.get(), quant.Code(v), quant.d_align);
  }

  // Offers nodes to the pool with their coarse distances, as an entry step does.
  void Seed(const std::vector<int>& nodes) {
    for (int v : nodes) {
      pool.Insert(v, Coarse(v));
      visited.Set(v);
    }
  }

  // How many pool entries have been taken for expansion.
  int Checked() const {
    int n = 0;
    for (int i = 0; i < pool.size; ++i) n += (pool.entries[i].id & kCheckedFlag) != 0;
    return n;
  }

  // The pool's node ids, in pool order, without the checked flag.
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (int i = 0; i < pool.size; ++i) ids.push_back(pool.entries[i].id & kNodeIdMask);
    return ids;
  }

  FreePtr<uint8_t> code;
  typename S::Context context;
  typename S::Pool pool;
  VisitedBitset visited;
};

}  // namespace testing_support
}  // namespace vexa

#endif  // TARVO_TESTS_SEARCH_SEARCHER_SEARCHER_FIXTURE_H_
