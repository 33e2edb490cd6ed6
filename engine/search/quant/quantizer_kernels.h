#ifndef TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_KERNELS_H_
#define TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_KERNELS_H_

#include <cstdint>

#include "engine/search/quant/kernels/kernel_table.h"

namespace vexa {

// Which entries of a kernel table are the kernels of one quantizer family, whose codes hold Code
// elements and whose distances are of type Distance: one code, four codes (null when the family
// has no four-code kernel: four single distances stand in), and sixteen ids of the code array.
template <typename Distance, typename Code>
struct KernelEntries {
  using One = Distance (*)(const Code* query, const Code* code, int d);
  using Four = void (*)(const Code* query, const Code* c0, const Code* c1, const Code* c2, const Code* c3,
                        Distance out[4], int d);
  using Sixteen = void (*)(const Code* query, const uint8_t* codes, uint64_t code_size, const int32_t ids[16],
                           Distance out[16], int d);

  One KernelTable::*one;
  Four KernelTable::*four;
  Sixteen KernelTable::*sixteen;
};

// The distance kernels of quantizer Q on this processor, taken from the kernel table once, when
// the object is made, and called directly afterwards. They read code addresses given as bytes and
// give Q's DistanceType; every length argument is Q's d_align.
template <typename Q>
class QuantizerKernels {
 public:
  using Distance = typename Q::DistanceType;
  using Code = typename Q::CodeType;

  // The kernels of the widest instruction set that this processor runs.
  QuantizerKernels() : QuantizerKernels(ActiveKernels()) {}

  // The distance of one code to the query code.
  Distance One(const uint8_t* query, const uint8_t* code, int d) const { return one_(As(query), As(code), d); }
  // The distances of four codes, reading the query once where the family has a four-code kernel.
  void Four(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2, const uint8_t* c3,
            Distance out[4], int d) const {
    if constexpr (kHasFour) {
      four_(As(query), As(c0), As(c1), As(c2), As(c3), out, d);
    } else {
      out[0] = One(query, c0, d);
      out[1] = One(query, c1, d);
      out[2] = One(query, c2, d);
      out[3] = One(query, c3, d);
    }
  }
  // The distances of the codes of ids[0..16), which start ids[i] x code_size bytes after codes.
  void Sixteen(const uint8_t* query, const uint8_t* codes, uint64_t code_size, const int32_t ids[16],
               Distance out[16], int d) const {
    sixteen_(As(query), codes, code_size, ids, out, d);
  }

 private:
  using Entries = KernelEntries<Distance, Code>;
  static constexpr Entries kEntries = Q::kKernels;
  static constexpr bool kHasFour = kEntries.four != nullptr;

  explicit QuantizerKernels(const KernelTable& table) : one_(table.*kEntries.one), sixteen_(table.*kEntries.sixteen) {
    if constexpr (kHasFour) four_ = table.*kEntries.four;
  }

  static const Code* As(const uint8_t* bytes) { return reinterpret_cast<const Code*>(bytes); }

  typename Entries::One one_;
  typename Entries::Four four_ = nullptr;
  typename Entries::Sixteen sixteen_;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_QUANTIZER_KERNELS_H_
