#ifndef TARVO_ENGINE_SEARCH_QUANT_SQ8_L2_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_SQ8_L2_QUANTIZER_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/search/quant/code_shape.h"
#include "engine/search/quant/calibration_blob.h"
#include "engine/search/quant/codec_traits.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer.h"

namespace vexa {

// Unsigned 8-bit codes for L2: component j maps (x - minn[j]) / dif, clamped to [0, 1], to 0..255.
// Each dimension has its own minimum but all share one range, the widest of the d ranges, so a
// code difference means the same distance in every dimension. Padded with zero bytes to a multiple
// of 64.
class SQ8L2Codec : public CodecTraits<Metric::L2, QuantizerType::SQ8U, int32_t, uint8_t, 64, 8> {
 public:
  static constexpr Kernels kKernels = {&KernelTable::sq8_l2, &KernelTable::sq8_l2_x4, &KernelTable::sq8_l2_x16};
  SQ8L2Codec() = default;
  // d entries of -inf in maxx and of +inf in minn. Throws std::bad_alloc.
  explicit SQ8L2Codec(const CodeShape& shape) : maxx(shape.d, -INFINITY), minn(shape.d, INFINITY) {}

  // Widens every maxx[j] and minn[j] to the components j of n rows of d floats (NaNs are
  // skipped), then sets dif to the largest maxx[j] - minn[j] (-inf for no rows).
  void Fit(const float* rows, int n, int d);
  // Writes one unsigned byte per component.
  void EncodeVector(const float* row, int d, uint8_t* code) const;

  std::vector<float> maxx;  // largest value per dimension
  std::vector<float> minn;  // smallest value per dimension
  float dif = -INFINITY;    // the widest range of any dimension
};

// One range for every dimension, then the per-dimension minima and maxima: dif, minn[d], maxx[d].
template <>
struct CalibrationBlob<Quantizer<SQ8L2Codec>> {
  using Q = Quantizer<SQ8L2Codec>;
  static constexpr bool kTracesCodes = false;
  static uint64_t Bytes(const Q& q) { return sizeof(float) * (2 * static_cast<uint64_t>(q.d) + 1); }
  static int Save(const Q& q, uint8_t* data, size_t* dataLength, size_t* offset) {
    const size_t bytes = sizeof(float) * static_cast<size_t>(q.d);
    if (SerializeValue(data, &q.dif, offset, *dataLength) != 0 ||
        SerializeArray(data, q.minn.data(), bytes, offset, *dataLength) != 0 ||
        SerializeArray(data, q.maxx.data(), bytes, offset, *dataLength) != 0) {
      return -1;
    }
    return 0;
  }
  static int Load(Q* q, const uint8_t* data, size_t* dataLength, size_t* offset) {
    const size_t bytes = sizeof(float) * static_cast<size_t>(q->d);
    if (DeserializeValue(&q->dif, data, offset, *dataLength) != 0 ||
        DeserializeArray(q->minn.data(), data, bytes, offset, *dataLength) != 0 ||
        DeserializeArray(q->maxx.data(), data, bytes, offset, *dataLength) != 0) {
      return -1;
    }
    return 0;
  }
};

template <Metric M>
using NewSQ8L2Quantizer = QuantizerFor<M, Metric::L2, Quantizer<SQ8L2Codec>>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_SQ8_L2_QUANTIZER_H_
