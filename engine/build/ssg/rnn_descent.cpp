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

    // Each candidate meets every entry kept before it (two old ones do not meet; a kept entry
    // with the candidate's id drops it) and goes to the nearest one nearer to it than the node,
    // the first of equals. Here each kept entry meets the later candidates as it is kept, its
    // distances to all of them computed together (a distance is the same both ways round), so
    // every candidate's occluder is known when its turn comes.
    const size_t count = taken.size();
    std::vector<int>& later = lists.later;
    std::vector<float>& nearest = lists.nearest;
    std::vector<int>& occluder = lists.occluder;
    std::vector<uint8_t>& repeated = lists.repeated;
    nearest.assign(count, FLT_MAX);
    occluder.assign(count, -1);
    repeated.assign(count, 0);
    std::vector<int>& handed = lists.handed;
    kept.clear();
    handed.clear();
    for (size_t i = 0; i < count; ++i) {
      const Candidate& p = taken[i];
      if (repeated[i] != 0) continue;
      if (occluder[i] != -1) {
        handed.push_back(static_cast<int>(i));
        continue;
      }
      kept.push_back(p);
      later.clear();
      for (size_t j = i + 1; j < count; ++j) {
        const Candidate& c = taken[j];
        if (repeated[j] != 0 || (!c.isNew && !p.isNew)) continue;
        if (c.id == p.id) {
          repeated[j] = 1;
          continue;
        }
        later.push_back(static_cast<int>(j));
      }
      Distances(
          p.id, static_cast<int>(later.size()), [&](int c) { return taken[later[c]].id; },
          [&](int c, float d) {
            const int j = later[c];
            if (d < taken[j].distance && d < nearest[j]) {
              occluder[j] = p.id;
              nearest[j] = d;
            }
          });
    }
    // The occluded candidates go to their occluders after the loop, in the same order: each
    // occluder's lock and list lie at a random place in memory, and asking for all of them
    // first overlaps those misses instead of taking them one lock at a time.
    for (int i : handed) __builtin_prefetch(&nodes[occluder[i]], 1, 3);
    for (int i : handed) {
      DescentNode& target = nodes[occluder[i]];
      std::lock_guard<NodeLock> lock(target.mutex);
      target.candidates.push_back(Candidate{taken[i].id, nearest[i], true});
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
