#ifndef TARVO_ENGINE_SEARCH_QUANT_FP32_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_FP32_QUANTIZER_H_

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/search/quant/calibration_blob.h"
#include "engine/search/quant/codec_traits.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer.h"

namespace vexa {

// Exact codes: each code is the vector's floats, padded with +0.0 to a multiple of 16.
template <Metric M>
class FP32Codec : public CodecTraits<M, QuantizerType::FP32, float, float, 16, 32> {
 public:
  static constexpr KernelEntries<float, float> kKernels = {
      M == Metric::L2 ? &KernelTable::fp32_l2 : &KernelTable::fp32_ip,
      M == Metric::L2 ? &KernelTable::fp32_l2_x4 : &KernelTable::fp32_ip_x4,
      M == Metric::L2 ? &KernelTable::fp32_l2_x16 : &KernelTable::fp32_ip_x16};

  // Exact codes need no statistics; says so.
  void Fit(const float*, int, int) {
    std::printf("FP32Quantizer are exact quantizer, not exact works needed for train.\n");
  }
  // Copies the d floats.
  void EncodeVector(const float* row, int d, uint8_t* code) const {
    std::memcpy(code, row, static_cast<size_t>(d) * sizeof(float));
  }
};

// Exact codes keep no calibration.
template <Metric M>
struct CalibrationBlob<Quantizer<FP32Codec<M>>> : NoCalibrationBlob {};

template <Metric M>
using NewFP32L2Quantizer = QuantizerFor<M, Metric::L2, Quantizer<FP32Codec<M>>>;
template <Metric M>
using NewFP32IPQuantizer = QuantizerFor<M, Metric::IP, Quantizer<FP32Codec<M>>>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_FP32_QUANTIZER_H_
