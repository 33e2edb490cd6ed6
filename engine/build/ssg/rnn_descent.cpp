#include "engine/build/ssg/rnn_descent.h"

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <mutex>

#include "engine/build/parallel_for.h"

namespace vexa {
namespace {

// Sorts list by ascending distance and drops every entry whose id equals the one before it.
void SortDroppingRepeats(std::vector<Candidate>& list) {
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end(), [](const Candidate& a, const Candidate& b) { return a.id == b.id; }),
             list.end());
}

}  // namespace

std::unique_ptr<Graph<int>> RNNDescent::Run() {
  std::printf("Init using RNN.\n");
  ConstructNodes();
  SeedCandidates();
  for (int round = 0; round < outerRounds; ++round) {
    for (int i = 0; i < innerRounds; ++i) PruneAndRedistribute();
    if (round == outerRounds - 1) break;
    reverseLists = std::vector<std::vector<Candidate>>(static_cast<size_t>(N));
    GatherReverse();
    MergeReverse();
    ScatterReverse();
    TrimCandidates();
    reverseLists = std::vector<std::vector<Candidate>>();
  }
  pruneLists_ = std::vector<PruneLists>();
  graph.Allocate(static_cast<int>(N), K);
  ExtractGraph();
  return HandOverGraph();
}

void RNNDescent::PruneAndRedistribute() {
  if (pruneLists_.size() < static_cast<size_t>(omp_get_max_threads())) pruneLists_.resize(omp_get_max_threads());
  ParallelForDynamic(N, 256, [&](int64_t u) {
    PruneLists& lists = pruneLists_[omp_get_thread_num()];
    std::vector<Candidate>& taken = lists.taken;
    std::vector<Candidate>& kept = lists.kept;
    DescentNode& node = nodes[u];
    // The node keeps the thread's empty list (and its storage) in place of its own.
    taken.clear();
    {
      std::lock_guard<NodeLock> lock(node.mutex);
      taken.swap(node.candidates);
    }
    if (taken.empty()) return;
    SortDroppingRepeats(taken);

    kept.clear();
    for (const Candidate& p : taken) {
      if (kept.empty()) {
        kept.push_back(p);
        continue;
      }
      // Two old entries are not compared; a kept entry with p's id drops p, whatever the
      // distances to the entries before it.
      std::vector<int>& compared = lists.compared;
      compared.clear();
      bool repeated = false;
      for (const Candidate& r : kept) {
        if (!p.isNew && !r.isNew) continue;
        if (p.id == r.id) {
          repeated = true;
          break;
        }
        compared.push_back(r.id);
      }
      if (repeated) continue;
      float best = FLT_MAX;
      int occluder = -1;
      Distances(
          p.id, static_cast<int>(compared.size()), [&compared](int i) { return compared[i]; },
          [&](int i, float d) {
            if (d < p.distance && d < best) {
              occluder = compared[i];
              best = d;
            }
          });
      if (occluder != -1) {
        DescentNode& target = nodes[occluder];
        std::lock_guard<NodeLock> lock(target.mutex);
        target.candidates.push_back(Candidate{p.id, best, true});
      } else {
        kept.push_back(p);
      }
    }
    for (Candidate& c : kept) c.isNew = false;
    std::lock_guard<NodeLock> lock(node.mutex);
    node.candidates.insert(node.candidates.end(), kept.begin(), kept.end());
  });
}

void RNNDescent::GatherReverse() {
  ParallelForStatic(N, [&](int64_t u) {
    // Candidate lists do not change during this step; only the reverse lists do, under the lock
    // of the node they belong to.
    for (const Candidate& c : nodes[u].candidates) {
      std::lock_guard<NodeLock> lock(nodes[c.id].mutex);
      reverseLists[c.id].push_back(Candidate{static_cast<int>(u), c.distance, c.isNew});
    }
  });
}

void RNNDescent::MergeReverse() {
  ParallelForStatic(N, [&](int64_t u) {
    std::vector<Candidate>& own = nodes[u].candidates;
    std::vector<Candidate>& merged = reverseLists[u];
    for (Candidate& c : own) c.isNew = true;
    merged.insert(merged.end(), own.begin(), own.end());
    own.clear();
    SortDroppingRepeats(merged);
    if (merged.size() > static_cast<size_t>(reverseCap)) merged.resize(reverseCap);
  });
}

void RNNDescent::ScatterReverse() {
  ParallelForStatic(N, [&](int64_t u) {
    for (const Candidate& e : reverseLists[u]) {
      DescentNode& target = nodes[e.id];
      std::lock_guard<NodeLock> lock(target.mutex);
      target.candidates.push_back(Candidate{static_cast<int>(u), e.distance, e.isNew});
    }
  });
}

void RNNDescent::TrimCandidates() {
  ParallelForStatic(N, [&](int64_t u) {
    std::vector<Candidate>& list = nodes[u].candidates;
    std::sort(list.begin(), list.end());
    if (list.size() > static_cast<size_t>(reverseCap)) list.resize(reverseCap);
  });
}

void RNNDescent::ExtractGraph() {
  ParallelForStatic(N, [&](int64_t u) {
    std::vector<Candidate>& list = nodes[u].candidates;
    SortDroppingRepeats(list);
    const size_t count = std::min(list.size(), static_cast<size_t>(K));
    int* row = GraphRow(u);
    for (size_t j = 0; j < count; ++j) row[j] = list[j].id;
  });
}

}  // namespace vexa
