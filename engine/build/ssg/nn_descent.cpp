#include "engine/build/ssg/nn_descent.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "engine/build/parallel_for.h"

namespace vexa {

std::unique_ptr<Graph<int>> NNDescent::Run() {
  std::printf("Init using KNN.\n");
  ConstructNodes();
  SeedCandidates();
  for (int iteration = 1; iteration <= iters; ++iteration) {
    CompareSampledPairs();
    ReleaseSampleLists();
    TrimCandidates();
    CollectSamples();
    MergeReverseSamples();
  }
  trimmedLargest_ = std::vector<float>();
  graph.Allocate(static_cast<int>(N), K);
  ExtractGraph();
  return HandOverGraph();
}

void NNDescent::CompareSampledPairs() {
  std::vector<std::vector<int>> partnerLists(omp_get_max_threads());
  ParallelForDynamic(N, 100, [&](int64_t u) {
    std::vector<int>& partners = partnerLists[omp_get_thread_num()];
    // The sample lists change only in CollectSamples and MergeReverseSamples, not during this step.
    const std::vector<int>& newIds = nodes[u].newIds;
    const std::vector<int>& oldIds = nodes[u].oldIds;
    for (const int a : newIds) {
      partners.clear();
      for (const int b : newIds) {
        if (b > a) partners.push_back(b);
      }
      for (const int b : oldIds) {
        if (b != a) partners.push_back(b);
      }
      Distances(
          a, static_cast<int>(partners.size()), [&partners](int i) { return partners[i]; },
          [&](int i, float d) {
            OfferCandidate(a, partners[i], d);
            OfferCandidate(partners[i], a, d);
          });
    }
  });
}

void NNDescent::OfferCandidate(int v, int w, float d) {
  DescentNode& node = nodes[v];
  std::lock_guard<NodeLock> lock(node.mutex);
  // Lists are never empty: seeding gives every node at least sampleCount - 1 > 0 entries and an
  // offer only replaces entries.
  OfferToList(node.candidates, poolSize, w, d);
}

void NNDescent::OfferToList(std::vector<Candidate>& list, int poolSize, int w, float d) {
  if (d > list.front().distance) return;
  for (const Candidate& c : list) {
    if (c.id == w) return;
  }
  if (list.size() < static_cast<size_t>(poolSize)) {
    list.push_back(Candidate{w, d, true});
  } else {
    std::pop_heap(list.begin(), list.end());
    list.back() = Candidate{w, d, true};
  }
  std::push_heap(list.begin(), list.end());
}

void NNDescent::ReleaseSampleLists() {
  // The lists keep their storage for the next iteration's samples.
  ParallelForStatic(N, [&](int64_t u) {
    nodes[u].newIds.clear();
    nodes[u].oldIds.clear();
  });
}

void NNDescent::TrimCandidates() {
  trimmedLargest_.resize(static_cast<size_t>(N));
  ParallelForStatic(N, [&](int64_t u) {
    DescentNode& node = nodes[u];
    std::vector<Candidate>& list = node.candidates;
    std::sort(list.begin(), list.end());
    if (list.size() > static_cast<size_t>(poolSize)) list.resize(poolSize);
    list.reserve(poolSize);
    const int limit = std::min(static_cast<int>(list.size()), node.sampleEnd + sampleCount);
    int walked = 0;
    if (limit > 0 && sampleCount > 0) {
      int fresh = 0;
      while (walked < limit) {
        if (list[walked++].isNew) ++fresh;
        if (fresh == sampleCount) break;
      }
    }
    node.sampleEnd = walked;
    trimmedLargest_[u] = list.back().distance;
  });
}

void NNDescent::CollectSamples() {
  std::vector<std::mt19937> generators;
  for (int t = 0; t < omp_get_max_threads(); ++t) generators.emplace_back(static_cast<uint32_t>(seed * 5081 + t));
  ParallelForStatic(N, [&](int64_t u) {
    std::mt19937& generator = generators[omp_get_thread_num()];
    DescentNode& node = nodes[u];
    for (int i = 0; i < node.sampleEnd; ++i) {
      Candidate& c = node.candidates[i];
      const bool isNew = c.isNew;
      (isNew ? node.newIds : node.oldIds).push_back(c.id);
      c.isNew = false;
      if (!(c.distance > trimmedLargest_[c.id])) continue;
      DescentNode& sampled = nodes[c.id];
      std::lock_guard<NodeLock> lock(sampled.mutex);
      std::vector<int>& reverse = isNew ? sampled.reverseNewIds : sampled.reverseOldIds;
      if (reverse.size() < static_cast<size_t>(reverseCap)) {
        reverse.push_back(static_cast<int>(u));
      } else {
        reverse[generator() % static_cast<uint32_t>(reverseCap)] = static_cast<int>(u);
      }
    }
    std::make_heap(node.candidates.begin(), node.candidates.end());
  });
}

void NNDescent::MergeReverseSamples() {
  ParallelForStatic(N, [&](int64_t u) {
    DescentNode& node = nodes[u];
    node.newIds.insert(node.newIds.end(), node.reverseNewIds.begin(), node.reverseNewIds.end());
    node.oldIds.insert(node.oldIds.end(), node.reverseOldIds.begin(), node.reverseOldIds.end());
    if (node.oldIds.size() > static_cast<size_t>(2) * reverseCap)
      node.oldIds.resize(static_cast<size_t>(2) * reverseCap);
    node.reverseNewIds.clear();
    node.reverseOldIds.clear();
  });
}

void NNDescent::ExtractGraph() {
  for (int64_t u = 0; u < N; ++u) {
    std::vector<Candidate>& list = nodes[u].candidates;
    std::sort(list.begin(), list.end());
    const size_t count = std::min(list.size(), static_cast<size_t>(K));
    int* row = GraphRow(u);
    for (size_t j = 0; j < count; ++j) row[j] = list[j].id;
  }
}

}  // namespace vexa
