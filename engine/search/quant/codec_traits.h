#ifndef TARVO_ENGINE_SEARCH_QUANT_CODEC_TRAITS_H_
#define TARVO_ENGINE_SEARCH_QUANT_CODEC_TRAITS_H_

#include "engine/search/memory/metric.h"
#include "engine/search/quant/quantizer_kernels.h"

namespace vexa {

// What the searchers and the kernels know of a quantizer family at compile time: its metric and
// type, the type its kernels return, the element type they read, the block that a code's
// components are padded to a multiple of, and the bits of one component. A family also names its
// kernels, kKernels of type Kernels: which entries of the kernel table they are.
template <Metric M, QuantizerType T, typename Distance, typename Code, int block, int code_bits>
struct CodecTraits {
  static constexpr Metric kMetric = M;
  static constexpr QuantizerType kType = T;
  using DistanceType = Distance;
  using CodeType = Code;
  static constexpr int kBlock = block;
  static constexpr int kCodeBits = code_bits;
  using Kernels = KernelEntries<Distance, Code>;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_CODEC_TRAITS_H_
