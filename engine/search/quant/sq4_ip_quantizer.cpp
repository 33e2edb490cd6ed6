#include "engine/search/quant/sq4_ip_quantizer.h"

#include <algorithm>

#include "engine/search/quant/scalar_rounding.h"

namespace vexa {

void SQ4IPCodec::EncodeVector(const float* row, int d, uint8_t* code) const {
  for (int j = 0; j < d; ++j) {
    // 8t is exact, so 8t + 7 is rounded once; t = -1 gives -1, limited to 0.
    const float u = 8.0f * Ratio(row[j]) + 7.0f;
    SetNibble(code, j, std::max(static_cast<int>(u), 0));
  }
}

void SQ4IPCodec::EncodeQueryVector(const float* query, int d, uint8_t* code) const {
  for (int j = 0; j < d; ++j) {
    const float s = Ratio(query[j]) * 8.0f;
    const int value = (j & 1) == 0 ? std::clamp(static_cast<int>(s + 7.0f), 0, 15)
                                   : std::clamp(static_cast<int>(s), -8, 7);
    SetNibble(code, j, value);
  }
}

}  // namespace vexa
