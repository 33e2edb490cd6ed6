#include "engine/search/quant/sq8_l2_quantizer.h"

#include <omp.h>

#include <algorithm>
#include <vector>

#include "engine/search/memory/team_blocks.h"
#include "engine/search/quant/scalar_rounding.h"

namespace vexa {

// MaxNumber and MinNumber fold alike however their operands are grouped, so the range of each
// dimension over each thread's block of rows, combined in thread order, is that of all rows.
void SQ8L2Codec::Fit(const float* rows, int n, int d) {
  const size_t dims = d > 0 ? static_cast<size_t>(d) : 0;
  std::vector<std::vector<float>> highs(static_cast<size_t>(omp_get_max_threads()), std::vector<float>(dims));
  std::vector<std::vector<float>> lows(highs);
  const int team = ForEachTeamBlock(n > 0 ? n : 0, [&](int t, int64_t begin, int64_t end) {
    float* high = highs[t].data();
    float* low = lows[t].data();
    std::fill(high, high + dims, -INFINITY);
    std::fill(low, low + dims, INFINITY);
    for (int64_t i = begin; i < end; ++i) {
      const float* row = rows + i * d;
      for (size_t j = 0; j < dims; ++j) {
        high[j] = MaxNumber(high[j], row[j]);
        low[j] = MinNumber(low[j], row[j]);
      }
    }
  });
  for (int t = 0; t < team; ++t) {
    for (size_t j = 0; j < dims; ++j) {
      maxx[j] = MaxNumber(maxx[j], highs[t][j]);
      minn[j] = MinNumber(minn[j], lows[t][j]);
    }
  }
  dif = -INFINITY;
  for (int j = 0; j < d; ++j) dif = std::fmax(dif, maxx[j] - minn[j]);
}

void SQ8L2Codec::EncodeVector(const float* row, int d, uint8_t* code) const {
  for (int j = 0; j < d; ++j) {
    const float t = Clamp((row[j] - minn[j]) / dif, 0.0f, 1.0f);
    code[j] = static_cast<uint8_t>(AddHalfAndTruncate(t * 255.0f));
  }
}

}  // namespace vexa
