#ifndef TARVO_ENGINE_SEARCH_MEMORY_HALF_H_
#define TARVO_ENGINE_SEARCH_MEMORY_HALF_H_

#include <cstdint>
#include <cstring>

namespace vexa {

// An IEEE binary16 value, held as its bits.
using Half = uint16_t;

// Rounds a float to the nearest binary16 value (ties to even); beyond the range it is +-inf, and
// a NaN stays a (quiet) NaN.
inline Half FloatToHalf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  const uint32_t sign = (bits >> 16) & 0x8000u;
  const uint32_t magnitude = bits & 0x7fffffffu;
  if (magnitude >= 0x7f800000u) {  // infinity or NaN
    const uint32_t payload = magnitude > 0x7f800000u ? 0x200u | ((magnitude >> 13) & 0x3ffu) : 0u;
    return static_cast<Half>(sign | 0x7c00u | payload);
  }
  if (magnitude >= 0x477ff000u) return static_cast<Half>(sign | 0x7c00u);  // 65520 and up
  if (magnitude < 0x38800000u) {  // below 2^-14: a subnormal half or zero
    if (magnitude <= 0x33000000u) return static_cast<Half>(sign);  // at most 2^-25
    const uint32_t mantissa = (magnitude & 0x7fffffu) | 0x800000u;
    const int shift = 126 - static_cast<int>(magnitude >> 23);
    uint32_t q = mantissa >> shift;
    const uint32_t rest = mantissa & ((1u << shift) - 1u);
    const uint32_t halfway = 1u << (shift - 1);
    if (rest > halfway || (rest == halfway && (q & 1u))) ++q;
    return static_cast<Half>(sign | q);
  }
  uint32_t h = (magnitude - 0x38000000u) >> 13;
  const uint32_t rest = magnitude & 0x1fffu;
  if (rest > 0x1000u || (rest == 0x1000u && (h & 1u))) ++h;
  return static_cast<Half>(sign | h);
}

// The float of equal value (every binary16 value is exact in single precision; NaNs come out quiet).
inline float HalfToFloat(Half h) {
  const uint32_t sign = static_cast<uint32_t>(h & 0x8000u) << 16;
  const uint32_t exponent = (h >> 10) & 0x1fu;
  const uint32_t mantissa = h & 0x3ffu;
  uint32_t bits;
  if (exponent == 0x1fu) {
    bits = sign | 0x7f800000u | (mantissa << 13) | (mantissa != 0 ? 0x400000u : 0u);  // NaNs quiet
  } else if (exponent != 0) {
    bits = sign | ((exponent + 112u) << 23) | (mantissa << 13);
  } else if (mantissa == 0) {
    bits = sign;
  } else {  // subnormal half: mantissa x 2^-24, a normal float
    int shift = 0;
    uint32_t m = mantissa;
    while ((m & 0x400u) == 0) {
      m <<= 1;
      ++shift;
    }
    bits = sign | ((113u - shift) << 23) | ((m & 0x3ffu) << 13);
  }
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_HALF_H_
