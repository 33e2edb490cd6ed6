#ifndef TARVO_ENGINE_BUILD_SSG_DESCENT_CONTEXT_H_
#define TARVO_ENGINE_BUILD_SSG_DESCENT_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/build/ssg/descent_node.h"
#include "engine/build/vector_table.h"
#include "engine/search/quant/distance.h"
#include "engine/search/graph/graph.h"

namespace vexa {

// What the initial-graph descents read of the SSG builder.
struct DescentInput {
  float** chunks;           // the caller's chunk table
  int consecutiveLog;       // 2^consecutiveLog vectors per chunk
  int nb;                   // number of vectors
  int dim;                  // floats per vector
  DistanceFunction distFn;  // the metric's distance
  int initK;                // ids per row of the initial graph
  int initSample;           // sample count
  int initReverseCap;       // cap of the reverse lists
  int initIters;            // NN-Descent's iterations
};

// The state that NN-Descent and RNN-Descent share for one run: the nodes, the graph that
// receives the result and the run's constants. It lives for the duration of the step.
class DescentContext {
 public:
  DescentContext(const DescentContext&) = delete;
  DescentContext& operator=(const DescentContext&) = delete;

  std::vector<DescentNode> nodes;  // one per vector; made by ConstructNodes

 protected:
  explicit DescentContext(const DescentInput& input);
  ~DescentContext() = default;

  // Seeds rng with seed x 6007 and initializes the N nodes in order 0 .. N-1 from it.
  void ConstructNodes();
  // Thread t seeds its generator with seed x 7741 + t and gives every node u of its static block
  // sampleCount random candidates other than u, arranged as a max-heap with room for poolSize.
  void SeedCandidates();
  // Releases the nodes, returns a copy of graph and prints "[SSG] Start SSG Init.".
  std::unique_ptr<Graph<int>> HandOverGraph();
  // The distance between the vectors of nodes a and b.
  float Distance(int64_t a, int64_t b) const { return vectors_.Distance(a, b); }
  // Calls store(i, Distance(a, idAt(i))) for i = 0 .. count - 1 in order, the distances computed
  // several vectors at a time.
  template <typename IdAt, typename Store>
  void Distances(int64_t a, int count, IdAt&& idAt, Store&& store) const {
    vectors_.Distances(vectors_.Row(a), count, idAt, store);
  }
  // Row u of graph.
  int* GraphRow(int64_t u) { return graph.neighbors + u * K; }

  Graph<int> graph;                // receives the result
  int64_t N;                       // number of vectors
  int K;                           // ids per row of the result
  int sampleCount;                 // random samples per node
  int reverseCap;                  // cap of the reverse lists
  int seed = 347;
  int poolSize;  // K + 50: the reserved length of every candidate list
  std::mt19937 rng;

 private:
  VectorTable vectors_;  // the caller's vectors with the metric's distance
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_DESCENT_CONTEXT_H_
