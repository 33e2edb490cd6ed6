#include "engine/search/quant/max_abs_scale.h"

#include <cstdint>

namespace vexa {

void MaxAbsScale::Fit(const float* rows, int n, int d) {
  const int64_t count = n > 0 && d > 0 ? int64_t{n} * d : 0;
  for (int64_t i = 0; i < count; ++i) scale = std::fmax(scale, std::fabs(rows[i]));
}

}  // namespace vexa
