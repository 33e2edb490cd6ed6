#ifndef TARVO_ENGINE_SEARCH_QUANT_CALIBRATION_BLOB_H_
#define TARVO_ENGINE_SEARCH_QUANT_CALIBRATION_BLOB_H_

#include <cstddef>
#include <cstdint>

#include "engine/search/memory/blob_io.h"

namespace vexa {

// How a quantizer's calibration is laid out in the index blob, after its codes: Bytes, Save and
// Load (0 or -1, with the message of the bounded I/O that failed). kTracesCodes makes the
// searcher print its progress lines around the codes (the SQ4 L2 quantizer does). Each
// quantizer's file specializes it beside the quantizer.
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

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_CALIBRATION_BLOB_H_
