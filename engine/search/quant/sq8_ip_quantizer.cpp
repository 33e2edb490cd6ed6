#include "engine/search/quant/sq8_ip_quantizer.h"

#include "engine/search/quant/scalar_rounding.h"

namespace vexa {

void SQ8IPCodec::EncodeVector(const float* row, int d, uint8_t* code) const {
  for (int j = 0; j < d; ++j) code[j] = static_cast<uint8_t>(AddHalfAndTruncate(Ratio(row[j]) * 127.0f));
}

}  // namespace vexa
