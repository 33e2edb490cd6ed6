#ifndef TARVO_ENGINE_SEARCH_QUANT_SQ4_IP_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_SQ4_IP_QUANTIZER_H_

#include <cstdint>

#include "engine/search/quant/calibration_blob.h"
#include "engine/search/quant/codec_traits.h"
#include "engine/search/quant/max_abs_scale.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer.h"

namespace vexa {

// 4-bit codes for inner product, two components per byte (the even one in the low nibble),
// padded with zero bytes to a multiple of 128 components. Data nibbles are unsigned, 0 to 15
// (t = x / scale clamped to [-1, 1] maps to trunc(8t + 7)). Query nibbles are read by the kernel
// as values from -8 to 8, so that zero stays zero: an even component stores v with v - 7 the
// value, an odd one stores the value as a signed nibble.
class SQ4IPCodec : public CodecTraits<Metric::IP, QuantizerType::SQ4U, int32_t, uint8_t, 128, 4>,
                   public MaxAbsScale {
 public:
  static constexpr Kernels kKernels = {&KernelTable::sq4_ip, &KernelTable::sq4_ip_x4, &KernelTable::sq4_ip_x16};

  // ORs the unsigned data nibble of every component into the code.
  void EncodeVector(const float* row, int d, uint8_t* code) const;
  // ORs the query nibbles: with s = 8t, trunc(s + 7) limited to 0..15 at an even component
  // (rounding a fractional s down), trunc(s) limited to -8..7 at an odd one (toward zero).
  void EncodeQueryVector(const float* query, int d, uint8_t* code) const;
};

template <>
struct CalibrationBlob<Quantizer<SQ4IPCodec>> : ScaleCalibrationBlob {};

template <Metric M>
using NewSQ4IPQuantizer = QuantizerFor<M, Metric::IP, Quantizer<SQ4IPCodec>>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_SQ4_IP_QUANTIZER_H_
