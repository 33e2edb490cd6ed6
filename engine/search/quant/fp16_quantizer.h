#ifndef TARVO_ENGINE_SEARCH_QUANT_FP16_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_FP16_QUANTIZER_H_

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/search/quant/calibration_blob.h"
#include "engine/search/quant/code_shape.h"
#include "engine/search/quant/codec_traits.h"
#include "engine/search/memory/half.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer.h"

namespace vexa {

// Half-precision codes: each component rounded to the nearest binary16 value (ties to even,
// +-inf beyond the range), padded with zero bits to a multiple of 32 components.
template <Metric M>
class FP16Codec : public CodecTraits<M, QuantizerType::FP16, float, Half, 32, 16> {
 public:
  static constexpr KernelEntries<float, Half> kKernels = {
      M == Metric::L2 ? &KernelTable::fp16_l2 : &KernelTable::fp16_ip,
      M == Metric::L2 ? &KernelTable::fp16_l2_x4 : &KernelTable::fp16_ip_x4,
      M == Metric::L2 ? &KernelTable::fp16_l2_x16 : &KernelTable::fp16_ip_x16};

  FP16Codec() = default;
  // The L2 quantizer reports its shape.
  explicit FP16Codec(const CodeShape& shape) {
    if (M == Metric::L2) {
      std::printf("[FP16 L2 Quant] d:%d, d_align:%d, code_size:%ld, data_size: %d\n", shape.d, shape.d_align,
                  static_cast<long>(shape.code_size), static_cast<int>(sizeof(Half)));
    }
  }

  // Rounded codes need no statistics; says so.
  void Fit(const float*, int, int) {
    if (M == Metric::L2) {
      std::printf("FP16L2 Quantizer are exact quantizer, not exact works needed for train.\n");
    } else {
      std::printf("FP16IP Quantizer are exact quantizer, not exact works needed for train.\n");
    }
  }
  // Writes the d components as binary16.
  void EncodeVector(const float* row, int d, uint8_t* code) const {
    for (int j = 0; j < d; ++j) {
      const Half h = FloatToHalf(row[j]);
      std::memcpy(code + j * sizeof(Half), &h, sizeof(Half));
    }
  }
};

// Rounded codes keep no calibration.
template <Metric M>
struct CalibrationBlob<Quantizer<FP16Codec<M>>> : NoCalibrationBlob {};

template <Metric M>
using NewFP16L2Quantizer = QuantizerFor<M, Metric::L2, Quantizer<FP16Codec<M>>>;
template <Metric M>
using NewFP16IPQuantizer = QuantizerFor<M, Metric::IP, Quantizer<FP16Codec<M>>>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_FP16_QUANTIZER_H_
