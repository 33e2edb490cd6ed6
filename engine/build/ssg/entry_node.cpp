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
  std::vector<Candidate> searchList(static_cast<size_t>(L) + 1);
  std::vector<int> startIds(static_cast<size_t>(L));
  std::mt19937 rng(static_cast<uint32_t>(std::rand()));
  SampleDistinctIds(rng, startIds.data(), L, nb);
  for (int k = 0; k < L; ++k) {
    searchList[k].id = startIds[k];
    visited.Set(startIds[k]);
  }
  GreedySearch(vectors, centroid.data(), initial, visited, searchList.data(), L, [](int, float) {});
  return searchList[0].id;
}

}  // namespace vexa
