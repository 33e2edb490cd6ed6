#include "engine/index/tarvo_impl.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "engine/build/input_problem.h"
#include "engine/build/reorder/graph_reorder_worker.h"
#include "engine/index/builder_params.h"
#include "engine/index/print_line.h"
#include "engine/index/search_team.h"
#include "engine/search/memory/blob_io.h"
#include "engine/search/quant/distance.h"
#include "engine/search/searcher/graph_searcher_base.h"
#include "engine/search/searcher/make_graph_searcher.h"
#include "engine/search/searcher/name_tables.h"

namespace {

// The metric of the default replica.
const char* const default_metric = "L2";

constexpr char kSearcherNotBuilt[] = "[ERROR] Searcher not built; cannot search.";
constexpr char kNoSearcherReady[] = "[ERROR] no searcher ready; cannot set Ef.";

// The search-time distance of the metric name: squared L2 for "L2", inner product otherwise.
vexa::DistanceFunction DistanceOf(const std::string& metric) {
  return metric == "L2" ? vexa::DistanceFP32L2 : vexa::DistanceFP32IP;
}

}  // namespace

TarvoImpl::TarvoImpl()
    : builder(std::make_unique<vexa::SSG>(50, 100, 60.0f, 10, default_metric, "RNNDescent", "SSG", 1024, 0)),
      createdWithoutParameter(true) {}

TarvoImpl::TarvoImpl(int K_features, int R, int L, int A, int graph_opt_iter, const std::string& metric,
                     const std::string& init_builder_type, const std::string& index_type)
    : dim(K_features), metric(metric) {
  if (index_type == "HNSW") {
    const int M = R / 2;
    std::printf("K_features:%d, R:%d, L:%d\n", K_features, M, L);
    // Compared as unsigned: a negative argument becomes a huge value, which the check refuses.
    const size_t m = static_cast<size_t>(M);
    const size_t ef_construction = std::max(m, static_cast<size_t>(L));
    hnsw = std::make_unique<vexa::HNSW>(metric, K_features, m, ef_construction);
  } else {
    builder = std::make_unique<vexa::SSG>(R, L, static_cast<float>(A), n_try, metric, init_builder_type, index_type,
                                          K_features, graph_opt_iter);
  }
}

TarvoImpl::~TarvoImpl() = default;

vexa::BuilderState* TarvoImpl::State() const {
  if (builder) return builder.get();
  return hnsw.get();
}

int TarvoImpl::Add(int n, const float* x, int consecutive, int reorder, int level) {
  if (createdWithoutParameter) {
    vexa::PrintLine("[Error] Index created without parameter cannot add.");
    return -1;
  }
  if (builder ? !CheckSSGParams(builder.get()) : !CheckHNSWParams(hnsw.get())) return -1;
  if (graphBuilt) {
    vexa::PrintLine("[ERROR] Cannot add again after graph is trained.");
    return -1;
  }
  vexa::BuilderState& state = *State();
  // The builders could go up to 2^31 slots, but a graph above what index and graph files hold
  // would be built and searched and then never saved or loaded again.
  const int64_t degree = builder ? builder->R : 2 * static_cast<int64_t>(hnsw->GetM());
  const int64_t slots = static_cast<int64_t>(n) * degree;
  if (slots > static_cast<int64_t>(vexa::kMaxBlobCount)) {
    vexa::PrintLine("[ERROR] Cannot add: too many graph slots for an index file: N x K = " + std::to_string(slots) +
                    " (N = " + std::to_string(n) + ", K = " + std::to_string(degree) + "), must be at most " +
                    std::to_string(vexa::kMaxBlobCount) + ".");
    return -1;
  }

  // Chunk c starts 2^consecutive rows after chunk c - 1; the last one holds the rest.
  const int64_t count = ((int64_t{1} << consecutive) - 1 + n) >> consecutive;
  std::unique_ptr<float*[]> table(new (std::nothrow) float*[count]);
  if (!table) return -1;
  const int64_t stride = static_cast<int64_t>(state.dim) << consecutive;
  for (int64_t c = 0; c < count; ++c) table[c] = const_cast<float*>(x) + c * stride;
  // Input the builder would refuse is turned down here, with the earlier table still in place.
  const vexa::InputProblem problem = builder ? builder->BuildInputProblem(table.get(), consecutive, n)
                                             : hnsw->BuildInputProblem(table.get(), consecutive, n);
  if (problem) {
    vexa::PrintLine("[ERROR] Cannot add: " + problem.reason + ".");
    return -1;
  }
  chunks = std::move(table);

  try {
    if (builder) {
      builder->Build(chunks.get(), consecutive, n);
    } else {
      hnsw->Build(chunks.get(), consecutive, n);
    }
    state.quantLevel = level;
    if (reorder == 1) {
      vexa::GraphReorderWorker worker;
      worker.distFn = DistanceOf(metric);
      worker.chunks = state.chunks;
      worker.metric = metric;
      worker.consecutiveLog = consecutive;
      worker.dim = state.dim;
      worker.MagicReorder(state.graph);
    }
  } catch (const std::exception&) {
    return -1;
  }
  // The HNSW inserts' working storage (a second copy of every vector among it) is not read again:
  // the graph is made.
  if (hnsw) hnsw->ReleaseNodes();
  nTotal = n;
  graphBuilt = true;
  return 0;
}

int TarvoImpl::BuildSearcher() {
  if (!graphBuilt) {
    vexa::PrintLine("[ERROR] no graph is trained; cannot build searcher.");
    return -1;
  }
  if (searcherBuilt) {
    vexa::PrintLine("[ERROR] searcher has been built.");
    return -1;
  }
  const vexa::BuilderState* state = State();
  if (state == nullptr) return -1;
  if (state->quantLevel < 0 || state->quantLevel > 3) {
    vexa::PrintLine("[ERROR] Building Searcher: Level not found.");
    return -1;
  }
  {
    const vexa::Graph<int> copy(state->graph);
    searcher = vexa::MakeGraphSearcher(copy, state->metric, vexa::quant_level_names[state->quantLevel]);
  }
  searcher->Build(state->chunks, state->consecutiveLog, state->nb, state->dim);
  searcher->SetPo(po);
  searcher->UpdatePrefetchLines();
  searcherBuilt = true;
  ReleaseBuilderData();
  return 0;
}

void TarvoImpl::ReleaseBuilderData() {
  vexa::BuilderState* state = State();
  state->graph = vexa::Graph<int>();
  state->UseChunks(nullptr, state->consecutiveLog, state->nb);
  chunks.reset();
}

void TarvoImpl::SearchRow(int64_t i, const float* x, int k, float* distances, long* labels) const {
  searcher->SearchQuery(x + i * dim, k, labels + i * k, distances + i * k);
}

int TarvoImpl::Search(int n, const float* x, int k, float* distances, long* labels) const {
  if (!searcherBuilt) {
    vexa::PrintLine(kSearcherNotBuilt);
    return -1;
  }
  for (int64_t i = 0; i < n; ++i) SearchRow(i, x, k, distances, labels);
  return 0;
}

int TarvoImpl::SearchOne(int64_t i, const float* x, int k, float* distances, long* labels) const {
  if (!searcherBuilt) {
    vexa::PrintLine(kSearcherNotBuilt);
    return -1;
  }
  SearchRow(i, x, k, distances, labels);
  return 0;
}

int TarvoImpl::SearchParallel(int n, const float* x, int k, float* distances, long* labels, int num_thread) const {
  if (!searcherBuilt) {
    vexa::PrintLine(kSearcherNotBuilt);
    return -1;
  }
  return vexa::SearchTeam(n, num_thread, false, [&](int64_t i) { SearchRow(i, x, k, distances, labels); });
}

int TarvoImpl::SetEf(int ef) {
  if (!searcherBuilt) {
    vexa::PrintLine(kNoSearcherReady);
    return -1;
  }
  searcher->SetEf(ef);
  return 0;
}

int TarvoImpl::SetEarlyStoppingParams(int adding_pref, int patience) {
  if (!searcherBuilt) {
    vexa::PrintLine(kNoSearcherReady);
    return -1;
  }
  searcher->SetEarlyStoppingParams(adding_pref, patience);
  return 0;
}

void TarvoImpl::TakeSearcherSizes() {
  // The factory makes graph searchers only.
  const auto& made = static_cast<const vexa::GraphSearcherBase&>(*searcher);
  nTotal = made.nb;
  dim = made.dim;
}
