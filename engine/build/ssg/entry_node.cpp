#include <cstdlib>
#include <random>
#include <vector>

#include "engine/build/ssg/greedy_search.h"
#include "engine/build/sample_distinct_ids.h"
#include "engine/build/ssg/ssg.h"

namespace vexa {

int SSG::FindEntryNode(const Graph<int>& initial) const {
  const VectorTable vectors = Vectors();
  std::vector<float> centroid(static_cast<size_t>(dim), 0.0f);
  for (int i = 0; i < nb; ++i) {
    const float* row = vectors.Row(i);
    for (int c = 0; c < dim; ++c) centroid[c] += row[c];
  }
  const float scale = 1.0f / static_cast<float>(nb);
  for (float& value : centroid) value *= scale;

  VisitedBitset visited(nb);
  std::vector<int> startIds(static_cast<size_t>(L));
  std::mt19937 rng(static_cast<uint32_t>(std::rand()));
  SampleDistinctIds(rng, startIds.data(), L, nb);
  for (const int id : startIds) visited.Set(id);
  CandidatePool<float> list(L, 0);
  GreedySearch(vectors, centroid.data(), initial, visited, startIds.data(), L, list, [](int, float) {});
  return list.entries[0].id & kNodeIdMask;
}

}  // namespace vexa
