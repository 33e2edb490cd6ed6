// The binary16 conversions against an exact oracle built from doubles.
#include "engine/search/memory/half.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace vexa {
namespace {

bool IsNaN(Half h) { return (h & 0x7c00u) == 0x7c00u && (h & 0x3ffu) != 0; }

// The value of a half that is not a NaN, from its fields.
double ValueOf(Half h) {
  const int exponent = (h >> 10) & 0x1f;
  const int mantissa = h & 0x3ff;
  double magnitude;
  if (exponent == 0x1f) {
    magnitude = INFINITY;
  } else if (exponent == 0) {
    magnitude = std::ldexp(mantissa, -24);
  } else {
    magnitude = std::ldexp(1024 + mantissa, exponent - 25);
  }
  return (h & 0x8000u) != 0 ? -magnitude : magnitude;
}

// x rounded to the nearest half, ties to even, beyond the range +-inf; x is not a NaN.
Half RoundToHalf(double x) {
  const Half sign = std::signbit(x) ? 0x8000 : 0;
  const double magnitude = std::fabs(x);
  const int exponent = magnitude < 0x1p-14 ? -14 : std::ilogb(magnitude);
  const double ulp = std::ldexp(1.0, exponent - 10);
  const double rounded = std::nearbyint(magnitude / ulp) * ulp;  // ties to even
  if (rounded > 65504.0) return sign | 0x7c00;
  if (rounded < 0x1p-14) return static_cast<Half>(sign | static_cast<int>(rounded / 0x1p-24));
  const int e = std::ilogb(rounded);
  const int mantissa = static_cast<int>(std::ldexp(rounded, 10 - e)) - 1024;
  return static_cast<Half>(sign | (e + 15) << 10 | mantissa);
}

TEST(Half, EveryHalfWidensToItsValue) {
  for (uint32_t h = 0; h < 0x10000; ++h) {
    const float value = HalfToFloat(static_cast<Half>(h));
    if (IsNaN(static_cast<Half>(h))) {
      EXPECT_TRUE(std::isnan(value)) << std::hex << h;
      continue;
    }
    ASSERT_EQ(static_cast<double>(value), ValueOf(static_cast<Half>(h))) << std::hex << h;
    ASSERT_EQ(std::signbit(value), (h & 0x8000u) != 0) << std::hex << h;
    ASSERT_EQ(FloatToHalf(value), h) << std::hex << h;  // and narrows back to itself
  }
}

// Between every two neighbouring halves of either sign (the largest finite one and infinity
// included): the midpoint goes to the even one, the floats just beside it to their side.
TEST(Half, MidpointsRoundToEvenAndTheirNeighboursToTheirSide) {
  for (uint32_t h = 0; h < 0x7c00; ++h) {
    for (uint32_t sign : {0u, 0x8000u}) {
      const Half low = static_cast<Half>(sign | h), high = static_cast<Half>(sign | (h + 1));
      const double top = h + 1 == 0x7c00 ? 65536.0 : std::fabs(ValueOf(high));
      const double middle = (std::fabs(ValueOf(low)) + top) / 2;  // exact in single precision
      const float m = static_cast<float>(sign != 0 ? -middle : middle);
      ASSERT_EQ(static_cast<double>(std::fabs(m)), middle);
      EXPECT_EQ(FloatToHalf(m), (h & 1) == 0 ? low : high) << std::hex << h;
      EXPECT_EQ(FloatToHalf(std::nextafter(m, 0.0f)), low) << std::hex << h;
      EXPECT_EQ(FloatToHalf(std::nextafter(m, 2 * m)), high) << std::hex << h;
    }
  }
}

TEST(Half, RandomFloatsOfEveryExponentRoundToTheNearest) {
  std::mt19937 rng(3);
  for (int i = 0; i < 1 << 20; ++i) {
    uint32_t bits = rng();
    // Mostly exponents near the half range, where the rounding happens.
    if (i % 4 != 0) bits = (bits & 0x80ffffffu) | (0x30u + bits % 0x18u) << 24;
    float x;
    std::memcpy(&x, &bits, sizeof(x));
    if (std::isnan(x)) continue;
    ASSERT_EQ(FloatToHalf(x), RoundToHalf(x)) << std::hexfloat << x;
  }
}

TEST(Half, InfinitiesAndNaNsKeepTheirKind) {
  EXPECT_EQ(FloatToHalf(INFINITY), 0x7c00);
  EXPECT_EQ(FloatToHalf(-INFINITY), 0xfc00);
  EXPECT_TRUE(IsNaN(FloatToHalf(NAN)));
  EXPECT_TRUE(IsNaN(FloatToHalf(-NAN)));
  EXPECT_TRUE(std::isinf(HalfToFloat(0x7c00)));
}

}  // namespace
}  // namespace vexa
