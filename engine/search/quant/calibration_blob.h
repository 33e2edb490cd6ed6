#ifndef TARVO_ENGINE_SEARCH_QUANT_CALIBRATION_BLOB_H_
#define TARVO_ENGINE_SEARCH_QUANT_CALIBRATION_BLOB_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "engine/search/memory/blob_io.h"
#include "engine/search/quant/fp16_quantizer.h"
#include "engine/search/quant/fp32_quantizer.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"

namespace vexa {

// How a quantizer's calibration is laid out in the index blob, after its codes: Bytes, Save and
// Load (0 or -1, with the message of the bounded I/O that failed). kTracesCodes makes the
// searcher print its progress lines around the codes (the SQ4 L2 quantizer does).
template <typename Q>
struct CalibrationBlob;

// The float quantizers keep no calibration.
struct NoCalibrationBlob {
  static constexpr bool kTracesCodes = false;
  template <typename Q>
  static uint64_t Bytes(const Q&) {
    return 0;
  }
  template <typename Q>
  static int Save(const Q&, uint8_t*, size_t*, size_t*) {
    return 0;
  }
  template <typename Q>
  static int Load(Q*, const uint8_t*, size_t*, size_t*) {
    return 0;
  }
};

// The inner-product code quantizers keep their scale.
struct ScaleCalibrationBlob {
  static constexpr bool kTracesCodes = false;
  template <typename Q>
  static uint64_t Bytes(const Q&) {
    return sizeof(float);
  }
  template <typename Q>
  static int Save(const Q& q, uint8_t* data, size_t* dataLength, size_t* offset) {
    return SerializeValue(data, &q.scale, offset, *dataLength);
  }
  template <typename Q>
  static int Load(Q* q, const uint8_t* data, size_t* dataLength, size_t* offset) {
    return DeserializeValue(&q->scale, data, offset, *dataLength);
  }
};

template <>
struct CalibrationBlob<NewFP32L2Quantizer<Metric::L2>> : NoCalibrationBlob {};
template <>
struct CalibrationBlob<NewFP32IPQuantizer<Metric::IP>> : NoCalibrationBlob {};
template <>
struct CalibrationBlob<NewFP16L2Quantizer<Metric::L2>> : NoCalibrationBlob {};
template <>
struct CalibrationBlob<NewFP16IPQuantizer<Metric::IP>> : NoCalibrationBlob {};
template <>
struct CalibrationBlob<NewSQ8IPQuantizer<Metric::IP>> : ScaleCalibrationBlob {};
template <>
struct CalibrationBlob<NewSQ4IPQuantizer<Metric::IP>> : ScaleCalibrationBlob {};

// The trimmed range: minn, maxx, dif.
template <>
struct CalibrationBlob<NewSQ4L2Quantizer<Metric::L2>> {
  using Q = NewSQ4L2Quantizer<Metric::L2>;
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

// One range for every dimension, then the per-dimension minima and maxima: dif, minn[d], maxx[d].
template <>
struct CalibrationBlob<NewSQ8L2Quantizer<Metric::L2>> {
  using Q = NewSQ8L2Quantizer<Metric::L2>;
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

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_CALIBRATION_BLOB_H_
