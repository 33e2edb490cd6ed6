#include "engine/search/quant/sq8_l2_quantizer.h"

#include "engine/search/quant/scalar_rounding.h"

namespace vexa {

void SQ8L2Codec::Fit(const float* rows, int n, int d) {
  for (int i = 0; i < n; ++i) {
    const float* row = rows + static_cast<int64_t>(i) * d;
    for (int j = 0; j < d; ++j) {
      maxx[j] = std::fmax(maxx[j], row[j]);
      minn[j] = std::fmin(minn[j], row[j]);
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
