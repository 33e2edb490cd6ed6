#ifndef TARVO_ENGINE_BUILD_SSG_FIRST_OCCLUDER_H_
#define TARVO_ENGINE_BUILD_SSG_FIRST_OCCLUDER_H_

#include <algorithm>

#include "engine/build/ssg/link_entry.h"
#include "engine/build/vector_table.h"

namespace vexa {

// Tries the entries entryAt(0), entryAt(1), ... entryAt(count - 1) in that order, calling
// occludes(r, d) with d the distance between the vectors of p and r, until a call returns true;
// gives the position of that entry, or -1 when none occludes p. The first entry's distance is
// computed alone (a caller that tries its likeliest occluder first often needs no other), the
// rest four at a time, so some past the occluder are computed but not used.
template <typename EntryAt, typename Occludes>
int FirstOccluder(const VectorTable& vectors, int p, int count, EntryAt&& entryAt, Occludes&& occludes) {
  constexpr int kAtOnce = 4;
  const float* row = vectors.Row(p);
  for (int first = 0; first < count; first += first == 0 ? 1 : kAtOnce) {
    const int n = std::min(first == 0 ? 1 : kAtOnce, count - first);
    float distances[kAtOnce];
    vectors.Distances(
        row, n, [&](int c) { return entryAt(first + c).id; }, [&distances](int c, float d) { distances[c] = d; });
    for (int c = 0; c < n; ++c) {
      if (occludes(entryAt(first + c), distances[c])) return first + c;
    }
  }
  return -1;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_FIRST_OCCLUDER_H_
