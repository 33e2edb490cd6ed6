#include <algorithm>
#include <random>

#include "engine/build/ssg/greedy_search.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {
namespace {

// Makes list[0 .. L-1] the start ids of a search from row start and marks them: the valid ids of
// the row's first min(L, K) slots, then distinct unmarked draws of a generator seeded with 4660,
// so that every search from the same row over a clear bitset starts alike. Needs L <= N.
void ChooseStartIds(const Graph<int>& graph, VisitedBitset& visited, int start, int L, Candidate* list) {
  const int N = graph.N;
  const int* row = graph.neighbors + static_cast<size_t>(start) * graph.K;
  int count = 0;
  for (int j = 0; j < std::min(L, graph.K); ++j) {
    const int id = row[j];
    if (id < 0 || id >= N) continue;
    list[count++].id = id;
    visited.Set(id);
  }
  std::mt19937 rng(4660);
  while (count < L) {
    const int id = static_cast<int>(rng() % static_cast<uint32_t>(N));
    if (visited.Test(id)) continue;
    list[count++].id = id;
    visited.Set(id);
  }
}

}  // namespace

void SSG::CollectCandidates(const float* query, const Graph<int>& initial, VisitedBitset& visited, int start, int L,
                            std::vector<Candidate>& searchList, std::vector<LinkEntry>& pool) const {
  searchList.resize(static_cast<size_t>(L) + 1);
  ChooseStartIds(initial, visited, start, L, searchList.data());
  GreedySearch(Vectors(), query, initial, visited, searchList.data(), L, [&pool](int id, float d) {
    pool.push_back(LinkEntry{id, d});
  });
}

void SSG::CollectCandidateIds(const float* query, const Graph<int>& initial, VisitedBitset& visited, int start, int L,
                              std::vector<Candidate>& searchList, std::vector<int>& ids) const {
  searchList.resize(static_cast<size_t>(L) + 1);
  ChooseStartIds(initial, visited, start, L, searchList.data());
  GreedySearch(Vectors(), query, initial, visited, searchList.data(), L, [&ids](int id, float) { ids.push_back(id); });
}

}  // namespace vexa
