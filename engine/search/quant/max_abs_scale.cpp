#include "engine/search/quant/max_abs_scale.h"

#include <omp.h>

#include <cstdint>
#include <vector>

#include "engine/search/memory/team_blocks.h"

namespace vexa {

// A magnitude is never -0, so fmax (a NaN operand gives the other) of magnitudes does not depend on
// their order or grouping: the largest magnitude of each thread's block, combined in thread order,
// is the one a single pass over every value finds.
void MaxAbsScale::Fit(const float* rows, int n, int d) {
  const int64_t count = n > 0 && d > 0 ? int64_t{n} * d : 0;
  std::vector<float> parts(static_cast<size_t>(omp_get_max_threads()), -INFINITY);
  const int team = ForEachTeamBlock(count, [&](int t, int64_t begin, int64_t end) {
    float part = -INFINITY;
    for (int64_t i = begin; i < end; ++i) part = std::fmax(part, std::fabs(rows[i]));
    parts[t] = part;
  });
  for (int t = 0; t < team; ++t) scale = std::fmax(scale, parts[t]);
}

}  // namespace vexa
