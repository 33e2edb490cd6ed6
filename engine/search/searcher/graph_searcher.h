#ifndef TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "engine/search/memory/alloc_aligned.h"
#include "engine/search/memory/visited_bitset.h"
#include "engine/search/searcher/candidate_pool.h"
#include "engine/search/searcher/distance_context.h"
#include "engine/search/quant/fp32_quantizer.h"
#include "engine/search/graph/graph.h"
#include "engine/search/searcher/graph_searcher_base.h"
#include "engine/search/searcher/query_scratch.h"
#include "engine/search/quant/quantizer_kernels.h"
#include "engine/search/searcher/quantizer_kinds.h"

namespace vexa {

// A searcher over its own copy of a proximity graph, with the vectors encoded by the coarse
// quantizer Q and, when it re-ranks, kept as exact 32-bit floats by the refine quantizer RQ (the
// FP32 quantizer of the same metric). Queries walk the graph best-first on Q's codes.
//
// What a search relies on, and never checks per query (the graph readers refuse blobs and files
// that break it; the builders produce nothing else):
//   - graph.N == nb == quant.n, and when the searcher re-ranks also refine_quant.n == nb;
//   - every id of a base row before its first -1, every entry point, every upper-layer id other
//     than -1 and the upper layers' ep lie in [0, N);
//   - a node named in a level-l upper row, and ep, hold at least l levels (their lists hold
//     nodeLevels x K ids), and the upper layers' N equals the graph's N;
//   - for Build, rev_order is a permutation of 0 .. nb - 1 (each caller row is placed by it).
// With nb == 0 a search finds nothing and writes nothing; before Build or a load nb is 0.
//
// A query works in its thread's QueryScratch and VisitedBitset, so that once a thread's buffers
// have grown to a searcher's sizes its queries allocate nothing and touch only what they visit;
// any number of threads search one searcher at once.
template <typename Q, typename RQ>
class GraphSearcher final : public GraphSearcherBase {
  static_assert(std::is_same_v<RQ, Quantizer<FP32Codec<Q::kMetric>>>,
                "the refine quantizer is the FP32 quantizer of the coarse quantizer's metric");

 public:
  // The coarse distance: float for the FP32 and FP16 quantizers, int32 in code units for SQ8 and SQ4.
  using Distance = typename QuantizerKernels<Q>::Distance;
  using Pool = CandidatePool<Distance>;
  using Context = DistanceContext<Q>;
  using Scratch = QueryScratch<Distance>;

  // A searcher over a copy of graph, with empty quantizers. refine_param > 0 makes it re-rank.
  GraphSearcher(Graph<int> graph, std::string metric, std::string quantType, int refine_param)
      : GraphSearcherBase(std::move(metric), std::move(quantType)),
        graph(graph),
        adjLines(graph.RowLines()),
        refine_param(refine_param) {}

  void Build(float** chunks, int consecutiveLog, int nb, int dim) override;
  void SearchQuery(const float* query, int k, int64_t* labels, float* distances) const override;
  void SetEf(int value) override { ef = value; }
  int GetEf() const override { return ef; }
  void SetEarlyStoppingParams(int adding_pref_value, int patience_value) override {
    adding_pref = adding_pref_value;
    patience = patience_value;
  }
  void SetPo(int value) override { po = value; }
  void UpdatePrefetchLines() override { codeLines = static_cast<int>(quant.code_size / 64); }
  size_t GetDataSize() const override;
  int LoadSearcherFromMem(const uint8_t* data, size_t* dataLength, size_t* offset) override;
  int SaveSearcherToMem(uint8_t* data, size_t* dataLength, size_t* offset) const override;

  // The steps of a query, in the order SearchQuery runs them.

  // A query walks its pool with a visited set beside it, emptied at the query's start (nb ids):
  // a node is marked when it is offered to the pool, whether the pool keeps it or not.

  // Enters a graph with upper layers: greedy descent from their ep to level 1, then offers the
  // node reached (with its distance) to the empty pool.
  void DescendUpperLayers(Pool* pool, VisitedBitset* visited, const Context* context) const;
  // Enters a graph without upper layers: a greedy walk of at most 99 expansions from the closest
  // entry point, then offers the last row expanded and the best node found.
  void WalkEntryPoints(Pool* pool, VisitedBitset* visited, const Context* context) const;
  // Expands the nearest unchecked entry until every entry of the pool is checked.
  void ExpandPool(Pool* pool, VisitedBitset* visited, const Context* context) const;
  // Like ExpandPool, but also stops after `patience` expansions in a row that placed no
  // candidate before position adding_pref.
  void ExpandPoolEarlyStop(Pool* pool, VisitedBitset* visited, const Context* context) const;
  // Re-ranks the pool with exact float distances and writes the k best, nearest first.
  void RefineResults(const float* query, const Pool& pool, int k, int64_t* labels, float* distances) const;
  // Distances of the 16 nodes ids[0..16) to the context's query.
  void ComputeDistances16(const Context* context, const int32_t ids[16], Distance out[16]) const {
    const Q& q = *context->quant;
    kernels_.Sixteen(context->queryCode, q.codes, q.code_size, ids, out, q.d_align);
  }

  Graph<int> graph;         // the searcher's own graph
  Q quant;                  // the coarse quantizer and its codes, in internal node order
  RQ refine_quant;          // exact float copies for the re-rank; empty unless refine_param > 0
  int ef = 32;              // a query's pool holds max(ef, k) candidates
  int consecutiveLog = 20;  // chunk shift of the private copy that Build makes
  int po = 1;               // stored last in the index blob; nothing else reads it
  int codeLines = 1;        // cache lines prefetched per code
  int adjLines;             // cache lines prefetched per adjacency row
  int refine_param;         // > 0: re-rank; != 0: the index blob holds refine codes
  FreePtr<float> data;      // Build's private copy of the vectors in graph order; null after Build
  std::unique_ptr<float*[]> chunks;  // the chunk table over data; null after Build
  int adding_pref = -1;     // early stopping: productive insertions land before this position
  int patience = -1;        // early stopping: unproductive expansions allowed; < 0 = off

 private:
  // Largest number of candidates ExpandPool collects before computing their distances.
  static constexpr int kExpandBuffer = 256;
  // The entry walk expands at most this many nodes.
  static constexpr int kMaxWalkExpansions = 99;

  // Calibrates a fresh quantizer over count consecutive rows of width floats and encodes each
  // row into its codes. Throws std::bad_alloc when the codes cannot be allocated.
  template <typename Quantizer>
  static void CalibrateAndEncode(Quantizer* quantizer, const float* rows, int count, int width);
  // Offers {id, distance} from the entry step: inserted, and marked whether the pool kept it or not.
  static void Offer(Pool* pool, VisitedBitset* visited, int id, Distance distance) {
    pool->Insert(id, distance);
    visited->Set(id);
  }
  // The coarse distance of node id to the context's query.
  Distance CoarseDistance(const Context* context, int id) const {
    return kernels_.One(context->queryCode, quant.Code(id), quant.d_align);
  }
  // Distances of ids[0..count) to the query: sixteen at a time, then four, then one.
  void ComputeDistances(const Context* context, const int32_t* ids, int count, Distance* out) const;
  // Takes the next unchecked entry, collects its unvisited neighbours (marking them visited)
  // and inserts them; kBuffer candidates are buffered before their distances are computed.
  // Returns whether an insertion landed before position adding_pref.
  template <int kBuffer>
  bool ExpandNext(Pool* pool, VisitedBitset* visited, const Context* context) const;
  // Computes the distances of the count buffered candidates and inserts them in order; returns
  // whether one of them landed before position adding_pref.
  bool InsertCandidates(Pool* pool, const Context* context, const int32_t* ids, int count, Distance* out) const;
  // Writes the first min(k, size) pool entries with their coarse distances.
  void WriteCoarseResults(const Pool& pool, int k, int64_t* labels, float* distances) const;

  // Reads the n x code_size bytes of a freshly set up quantizer's codes at *offset; 0 or -1.
  template <typename Quantizer>
  static int ReadCodes(Quantizer* quantizer, const uint8_t* data, size_t* offset, size_t length);
  // Bytes of the coarse codes and their calibration in the index blob.
  uint64_t QuantBytes() const;
  // Bytes of the refine codes in the index blob (0 unless refine_param != 0).
  uint64_t RefineBytes() const;

  // The kernels of this processor, resolved once for every distance the searcher computes.
  const QuantizerKernels<Q> kernels_;
  const QuantizerKernels<RQ> refineKernels_;
};

// The searcher of every kind, each instantiated once, in graph_searcher.cpp; no other
// instantiation exists.
#define TARVO_DECLARE_SEARCHER(Searcher, Coarse, type, metric, name, refine_param, level)        \
  static_assert(Coarse<Metric::metric>::kType == QuantizerType::type, #Coarse " serves " #type); \
  using Searcher = TARVO_SEARCHER_TYPE(Coarse, metric);                                          \
  extern template class TARVO_SEARCHER_TYPE(Coarse, metric);
TARVO_QUANTIZER_KINDS(TARVO_DECLARE_SEARCHER)
#undef TARVO_DECLARE_SEARCHER

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_H_
