#ifndef TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_KERNELS_H_
#define TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_KERNELS_H_

#include <cstdint>

#include "engine/search/quant/distance.h"
#include "engine/search/quant/fp16_quantizer.h"
#include "engine/search/quant/fp32_quantizer.h"
#include "engine/search/memory/metric.h"
#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"

namespace vexa {

// The distance kernels of one quantizer over code addresses given as bytes: One (one code), Four
// (four codes, reading the query once) and Sixteen (sixteen ids of the code array), each giving
// the quantizer's DistanceType. Every length argument is the quantizer's d_align.
template <typename Q>
struct QuantizerKernels;

// Binds the three kernels of quantizer Q, which read codes of Q's CodeType.
template <typename Q, typename Q::DistanceType (*kOne)(const typename Q::CodeType*, const typename Q::CodeType*, int),
          void (*kFour)(const typename Q::CodeType*, const typename Q::CodeType*, const typename Q::CodeType*,
                        const typename Q::CodeType*, const typename Q::CodeType*, typename Q::DistanceType*, int),
          void (*kSixteen)(const typename Q::CodeType*, const uint8_t*, uint64_t, const int32_t*,
                           typename Q::DistanceType*, int)>
struct KernelSet {
  using Distance = typename Q::DistanceType;
  using Code = typename Q::CodeType;

  static Distance One(const uint8_t* query, const uint8_t* code, int d) { return kOne(As(query), As(code), d); }
  static void Four(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                   const uint8_t* c3, Distance out[4], int d) {
    kFour(As(query), As(c0), As(c1), As(c2), As(c3), out, d);
  }
  static void Sixteen(const uint8_t* query, const uint8_t* codes, uint64_t code_size, const int32_t ids[16],
                      Distance out[16], int d) {
    kSixteen(As(query), codes, code_size, ids, out, d);
  }

 private:
  static const Code* As(const uint8_t* bytes) { return reinterpret_cast<const Code*>(bytes); }
};

// Four single-code distances, for a quantizer without a four-code kernel.
template <typename Code, typename Distance, Distance (*kOne)(const Code*, const Code*, int)>
void FourSingleDistances(const Code* query, const Code* c0, const Code* c1, const Code* c2, const Code* c3,
                         Distance out[4], int d) {
  out[0] = kOne(query, c0, d);
  out[1] = kOne(query, c1, d);
  out[2] = kOne(query, c2, d);
  out[3] = kOne(query, c3, d);
}

template <>
struct QuantizerKernels<NewFP32L2Quantizer<Metric::L2>>
    : KernelSet<NewFP32L2Quantizer<Metric::L2>, DistanceFP32L2, DistanceFP32L2x4, DistanceFP32L2x16> {};
template <>
struct QuantizerKernels<NewFP32IPQuantizer<Metric::IP>>
    : KernelSet<NewFP32IPQuantizer<Metric::IP>, DistanceFP32IP, DistanceFP32IPx4, DistanceFP32IPx16> {};
template <>
struct QuantizerKernels<NewFP16L2Quantizer<Metric::L2>>
    : KernelSet<NewFP16L2Quantizer<Metric::L2>, DistanceFP16L2, DistanceFP16L2x4, DistanceFP16L2x16> {};
template <>
struct QuantizerKernels<NewFP16IPQuantizer<Metric::IP>>
    : KernelSet<NewFP16IPQuantizer<Metric::IP>, DistanceFP16IP, DistanceFP16IPx4, DistanceFP16IPx16> {};
template <>
struct QuantizerKernels<NewSQ8L2Quantizer<Metric::L2>>
    : KernelSet<NewSQ8L2Quantizer<Metric::L2>, DistanceSQ8L2, DistanceSQ8L2x4, DistanceSQ8L2x16> {};
template <>
struct QuantizerKernels<NewSQ8IPQuantizer<Metric::IP>>
    : KernelSet<NewSQ8IPQuantizer<Metric::IP>, DistanceSQ8IP, FourSingleDistances<int8_t, int32_t, DistanceSQ8IP>,
                DistanceSQ8IPx16> {};
template <>
struct QuantizerKernels<NewSQ4L2Quantizer<Metric::L2>>
    : KernelSet<NewSQ4L2Quantizer<Metric::L2>, DistanceSQ4L2, DistanceSQ4L2x4, DistanceSQ4L2x16> {};
template <>
struct QuantizerKernels<NewSQ4IPQuantizer<Metric::IP>>
    : KernelSet<NewSQ4IPQuantizer<Metric::IP>, DistanceSQ4IP, DistanceSQ4IPx4, DistanceSQ4IPx16> {};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_KERNELS_H_
