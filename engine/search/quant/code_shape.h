#ifndef TARVO_ENGINE_SEARCH_QUANT_CODE_SHAPE_H_
#define TARVO_ENGINE_SEARCH_QUANT_CODE_SHAPE_H_

#include <cstdint>

namespace vexa {

// The sizes of a quantizer's codes: the dimension, the dimension padded to the quantizer's block,
// the number of codes and the bytes of one code (always a multiple of 64).
struct CodeShape {
  CodeShape() = default;
  // The shape for dimension d >= 0 with blocks of `block` components of `code_bits` bits each.
  CodeShape(int d, int block, int code_bits)
      : d(d),
        d_align((d + block - 1) / block * block),
        code_size(static_cast<uint64_t>(d_align) * code_bits / 8) {}

  int32_t d = 0;           // components of a vector
  int32_t d_align = 0;     // d rounded up to a multiple of the block
  int32_t n = 0;           // number of codes
  uint64_t code_size = 0;  // bytes per code
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_CODE_SHAPE_H_
