#ifndef TARVO_ENGINE_SEARCH_QUANT_SQ8_IP_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_SQ8_IP_QUANTIZER_H_

#include <cstdint>

#include "engine/search/quant/calibration_blob.h"
#include "engine/search/quant/codec_traits.h"
#include "engine/search/quant/max_abs_scale.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer.h"

namespace vexa {

// Signed 8-bit codes for inner product: x / scale clamped to [-1, 1], times 127, then + 0.5 and
// truncated, so codes run from -126 to 127. Padded with zero bytes to a multiple of 64.
class SQ8IPCodec : public CodecTraits<Metric::IP, QuantizerType::SQ8U, int32_t, int8_t, 64, 8>, public MaxAbsScale {
 public:
  // No four-code kernel: four single distances stand in.
  static constexpr Kernels kKernels = {&KernelTable::sq8_ip, nullptr, &KernelTable::sq8_ip_x16};

  // Writes one signed byte per component (two's complement).
  void EncodeVector(const float* row, int d, uint8_t* code) const;
};

template <>
struct CalibrationBlob<Quantizer<SQ8IPCodec>> : ScaleCalibrationBlob {};

template <Metric M>
using NewSQ8IPQuantizer = QuantizerFor<M, Metric::IP, Quantizer<SQ8IPCodec>>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_SQ8_IP_QUANTIZER_H_
