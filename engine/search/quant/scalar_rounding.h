#ifndef TARVO_ENGINE_SEARCH_QUANT_SCALAR_ROUNDING_H_
#define TARVO_ENGINE_SEARCH_QUANT_SCALAR_ROUNDING_H_

#include <cmath>
#include <cstdint>

namespace vexa {

// The single-precision steps that the scalar codes are made of. max and min are IEEE maxNum and
// minNum (std::fmax, std::fmin): a NaN operand yields the other one.

// min(max(t, lo), hi): a NaN t gives lo.
inline float Clamp(float t, float lo, float hi) { return std::fmin(std::fmax(t, lo), hi); }

// maxNum and minNum that also order the zeros, +0 above -0 (std::fmax and std::fmin may return
// either zero, depending on the order in which the compiler passes the operands): a NaN operand
// yields the other one. Their results depend neither on the order of the operands nor on how a
// fold over many values is grouped.
inline float MaxNumber(float a, float b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  if (a == b) return std::signbit(a) ? b : a;
  return a > b ? a : b;
}
inline float MinNumber(float a, float b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  if (a == b) return std::signbit(a) ? a : b;
  return a < b ? a : b;
}

// p + 0.5 in double precision, truncated toward zero: positive values round half up, negative
// ones towards zero (-1.2 gives 0, -1.5 gives -1). p is a clamped, scaled ratio, so it fits.
inline int AddHalfAndTruncate(float p) { return static_cast<int>(static_cast<double>(p) + 0.5); }

// ORs the four low bits of value into the nibble of component j: the low nibble of byte j / 2
// for an even j, its high nibble for an odd one.
inline void SetNibble(uint8_t* code, int j, int value) {
  code[j >> 1] |= static_cast<uint8_t>((value & 15) << ((j & 1) * 4));
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_SCALAR_ROUNDING_H_
