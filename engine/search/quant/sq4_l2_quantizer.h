#ifndef TARVO_ENGINE_SEARCH_QUANT_SQ4_L2_QUANTIZER_H_
#define TARVO_ENGINE_SEARCH_QUANT_SQ4_L2_QUANTIZER_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "engine/search/quant/calibration_blob.h"
#include "engine/search/quant/codec_traits.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer.h"

namespace vexa {

// 4-bit codes for L2, two components per byte (the even one in the low nibble), padded with zero
// bytes to a multiple of 128 components. One range [minn, maxx] serves every component; it is
// trimmed so that about 1 % of all values lie below it and 1 % above, and those clamp.
class SQ4L2Codec : public CodecTraits<Metric::L2, QuantizerType::SQ4U, int32_t, uint8_t, 128, 4> {
 public:
  static constexpr Kernels kKernels = {&KernelTable::sq4_l2, &KernelTable::sq4_l2_x4, &KernelTable::sq4_l2_x16};
  // The share of the values trimmed at each end.
  static constexpr float kDropRatio = 0.01f;

  // How many values are kept at each end when `count` values are trimmed: about 1 % of them plus
  // one, computed as trunc(fma(float(count), 0.01f, 1.0f)) with a single rounding; count >= 0.
  static uint64_t TrimCount(int64_t count);

  // Sets minn to the top-th smallest and maxx to the top-th largest of the n x d values
  // (duplicates counted), top = TrimCount(n x d), and dif = maxx - minn. Prints the parameters
  // before and the range after. Without values minn, maxx and dif stay +inf, -inf, -inf.
  void Fit(const float* rows, int n, int d);
  // ORs the nibble of every component: (x - minn) / dif clamped to [0, 1], mapped to 0..15.
  void EncodeVector(const float* row, int d, uint8_t* code) const;

  float dif = -INFINITY;   // maxx - minn
  float minn = INFINITY;   // the trimmed minimum
  float maxx = -INFINITY;  // the trimmed maximum

 private:
  // Sets minn and maxx to the top-th smallest and largest of the count > 0 values of rows (NaNs
  // left out), from the calling thread's team; leaves them when every value is a NaN.
  void Trim(const float* rows, int64_t count, uint64_t top);
};

// The trimmed range: minn, maxx, dif.
template <>
struct CalibrationBlob<Quantizer<SQ4L2Codec>> {
  using Q = Quantizer<SQ4L2Codec>;
  static constexpr bool kTracesCodes = true;
  static uint64_t Bytes(const Q&) { return 3 * sizeof(float); }
  static int Save(const Q& q, uint8_t* data, size_t* dataLength, size_t* offset) {
    if (SerializeValue(data, &q.minn, offset, *dataLength) != 0 ||
        SerializeValue(data, &q.maxx, offset, *dataLength) != 0 ||
        SerializeValue(data, &q.dif, offset, *dataLength) != 0) {
      return -1;
    }
    std::printf("[SQ4] Serialize, calibrator: offset:%zu, dataLength:%zu\n", *offset, *dataLength);
    return 0;
  }
  static int Load(Q* q, const uint8_t* data, size_t* dataLength, size_t* offset) {
    if (DeserializeValue(&q->minn, data, offset, *dataLength) != 0 ||
        DeserializeValue(&q->maxx, data, offset, *dataLength) != 0 ||
        DeserializeValue(&q->dif, data, offset, *dataLength) != 0) {
      return -1;
    }
    std::printf("[SQ4] Deserialize, calibrator: offset:%zu, dataLength:%zu\n", *offset, *dataLength);
    std::printf("[SQ4] minn:%f, maxx:%f, dif:%f\n", static_cast<double>(q->minn), static_cast<double>(q->maxx),
                static_cast<double>(q->dif));
    return 0;
  }
};

template <Metric M>
using NewSQ4L2Quantizer = QuantizerFor<M, Metric::L2, Quantizer<SQ4L2Codec>>;

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_SQ4_L2_QUANTIZER_H_
