#ifndef TARVO_ENGINE_BUILD_SSG_ANY_OCCLUDES_H_
#define TARVO_ENGINE_BUILD_SSG_ANY_OCCLUDES_H_

#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/build/ssg/link_entry.h"
#include "engine/build/vector_table.h"

namespace vexa {

// Walks the entries r of kept in order, calling occludes(r, d) with d the distance between the
// vectors of p and r, until a call returns true; gives whether one did. The distances are
// computed a few entries at a time, so those past the first occluder are computed but not used.
template <typename Occludes>
bool AnyOccludes(const VectorTable& vectors, int p, const std::vector<LinkEntry>& kept, Occludes&& occludes) {
  constexpr size_t kAtOnce = 4;
  const float* row = vectors.Row(p);
  for (size_t first = 0; first < kept.size(); first += kAtOnce) {
    const size_t count = std::min(kAtOnce, kept.size() - first);
    float distances[kAtOnce];
    vectors.Distances(
        row, static_cast<int>(count), [&](int c) { return kept[first + c].id; },
        [&distances](int c, float d) { distances[c] = d; });
    for (size_t c = 0; c < count; ++c) {
      if (occludes(kept[first + c], distances[c])) return true;
    }
  }
  return false;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_SSG_ANY_OCCLUDES_H_
