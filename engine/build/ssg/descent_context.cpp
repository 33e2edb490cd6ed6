#include "engine/build/ssg/descent_context.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>

#include "engine/build/parallel_for.h"
#include "engine/build/sample_distinct_ids.h"

namespace vexa {

DescentContext::DescentContext(const DescentInput& input)
    : N(input.nb),
      K(input.initK),
      sampleCount(input.initSample),
      reverseCap(input.initReverseCap),
      poolSize(input.initK + 50),
      vectors_(input.chunks, input.consecutiveLog, input.dim, input.distFn) {}

void DescentContext::ConstructNodes() {
  rng.seed(static_cast<uint32_t>(seed * 6007));
  nodes = std::vector<DescentNode>(static_cast<size_t>(N));
  for (int64_t i = 0; i < N; ++i) nodes[i].Init(sampleCount, rng, static_cast<int>(N));
}

void DescentContext::SeedCandidates() {
  std::vector<std::mt19937> generators;
  std::vector<std::vector<int>> drawn(omp_get_max_threads(), std::vector<int>(sampleCount));
  for (int t = 0; t < omp_get_max_threads(); ++t) generators.emplace_back(static_cast<uint32_t>(seed * 7741 + t));
  ParallelForStatic(N, [&](int64_t u) {
    const int t = omp_get_thread_num();
    std::vector<int>& ids = drawn[t];
    SampleDistinctIds(generators[t], ids.data(), sampleCount, static_cast<int>(N));
    std::vector<Candidate>& list = nodes[u].candidates;
    list.reserve(poolSize);
    for (const int v : ids) {
      if (v != u) list.push_back(Candidate{v, Distance(u, v), true});
    }
    std::make_heap(list.begin(), list.end());
  });
}

std::unique_ptr<Graph<int>> DescentContext::HandOverGraph() {
  nodes = std::vector<DescentNode>();
  auto result = std::make_unique<Graph<int>>(graph);
  std::printf("[SSG] Start SSG Init.\n");
  return result;
}

}  // namespace vexa
