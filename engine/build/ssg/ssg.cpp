#include "engine/build/ssg/ssg.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/build/huge_page_vectors.h"
#include "engine/build/ssg/angle_rule.h"
#include "engine/build/ssg/nn_descent.h"
#include "engine/build/parallel_for.h"
#include "engine/build/ssg/rnn_descent.h"

namespace vexa {

SSG::SSG(int R, int L, float A, int n_try, const std::string& metric, const std::string& init_builder_type,
         const std::string& index_type, int dim, int graph_opt_iter)
    : BuilderState(metric, dim, 0),
      R(R),
      L(L),
      A(A),
      n_try(n_try),
      init_builder_type(init_builder_type),
      index_type(index_type),
      graph_opt_iter(graph_opt_iter) {
  std::srand(6552);
  if (metric == "L2") {
    distFn = DistanceFP32L2;
  } else if (metric == "IP") {
    distFn = DistanceFP32IP;
  }
  std::printf("[SSG] R:%d, L:%d, A:%.2f, n_try:%d, index_type: %s, init_builder_type: %s\n", R, L,
              static_cast<double>(A), n_try, index_type.c_str(), init_builder_type.c_str());
}

InputProblem SSG::BuildInputProblem(float** table, int log, int n) const {
  const auto refuse = [](const std::string& reason) { return InputProblem{"SSG build: " + reason, false}; };
  if (R < 1) return refuse("R is too small: " + std::to_string(R) + " (at least 1)");
  if (L < 1) return refuse("L is too small: " + std::to_string(L) + " (at least 1)");
  if (n_try < 0) return refuse("n_try is too small: " + std::to_string(n_try) + " (at least 0)");
  if (dim < 1) return refuse("dim is too small: " + std::to_string(dim) + " (at least 1)");
  if (distFn == nullptr) return refuse("metric \"" + metric + "\" is unknown (L2 or IP)");
  if (log < 0 || log > 31) return refuse("consecutiveLog is out of range: " + std::to_string(log) + " (0 to 31)");
  const int least = std::max({L, 2 * initSample, n_try});
  if (n <= least) {
    return refuse("too few vectors: N = " + std::to_string(n) + ", must be above " + std::to_string(least) +
                  " (L = " + std::to_string(L) + ", 2 x initSample = " + std::to_string(2 * initSample) +
                  ", n_try = " + std::to_string(n_try) + ")");
  }
  const int64_t slots = static_cast<int64_t>(n) * R;
  if (slots >= (int64_t{1} << 31)) {
    return InputProblem{"SSG build: too many graph slots: N x R = " + std::to_string(slots) + " (N = " +
                            std::to_string(n) + ", R = " + std::to_string(R) + "), must be below 2^31",
                        true};
  }
  if (table == nullptr) return refuse("the chunk table is null");
  for (int64_t i = 0; i < n; i += int64_t{1} << log) {
    if (table[i >> log] == nullptr) return refuse("the chunk of vector " + std::to_string(i) + " is null");
  }
  const int64_t bad = VectorTable(table, log, dim, distFn).FirstNonFinite(n);
  if (bad >= 0) return refuse("vector " + std::to_string(bad) + " holds a value that is not finite");
  return InputProblem{};
}

void SSG::Build(float** table, int log, int n) {
  ThrowInputProblem(BuildInputProblem(table, log, n));
  std::printf("Start buildling\n");
  UseChunks(table, log, n);
  // The build reads a copy in huge pages and leaves chunks at the caller's table however it ends.
  HugePageVectors copy(table, log, n, dim);
  struct CallerChunks {
    ~CallerChunks() { builder->chunks = table; }
    SSG* builder;
    float** table;
  } callerChunks{this, table};
  chunks = copy.chunks();

  const std::unique_ptr<Graph<int>> initial = BuildInitialGraph();
  ep = FindEntryNode(*initial);

  graph = Graph<int>();  // what an earlier build left
  graph.Allocate(nb, R);
  graph.eps.assign(1, ep);
  Graph<LinkEntry> link;
  link.AllocateZeroed(nb, R);

  if (graph_opt_iter > 0) {
    std::printf("[SSG] Start MagicLink.\n");
    MagicLink(*initial, link);
  } else {
    std::printf("[SSG] Start Tarvo Link.\n");
    const float threshold = AngleThreshold(A);
    TarvoLink(*initial, link, threshold);
    InsertAllReverseEdges(link, threshold);
  }

  std::vector<int> degree(static_cast<size_t>(nb), 0);
  CopyLinkGraph(link, degree);
  if (graph_opt_iter == 0) {
    std::printf("[SSG] Start DFSExpand.\n");
    DFSExpand(degree);
  } else if (graph_opt_iter > 0) {
    std::printf("[SSG] Start Magic generate eps.\n");
    GenerateEps();
  }
}

std::unique_ptr<Graph<int>> SSG::BuildInitialGraph() const {
  const DescentInput input{chunks, consecutiveLog, nb, dim, distFn, initK, initSample, initReverseCap, initIters};
  if (init_builder_type == "NNDescent") return NNDescent(input).Run();
  return RNNDescent(input).Run();
}

void SSG::CopyLinkGraph(const Graph<LinkEntry>& link, std::vector<int>& degree) {
  ParallelForStatic(nb, [&](int64_t i) {
    const LinkEntry* from = link.neighbors + static_cast<size_t>(i) * R;
    int* to = graph.neighbors + static_cast<size_t>(i) * R;
    for (int j = 0; j < R; ++j) {
      if (from[j].id != -1) to[degree[i]++] = from[j].id;
    }
  });
}

}  // namespace vexa
