// The half-precision difference of the FP16 L2 kernels, against an exact oracle, and carried
// through every kernel table.
#include "engine/search/quant/kernels/half_difference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/kernel_table.h"
#include "tests/search/quant/kernels_test_support.h"

namespace vexa {
namespace {

using testing::Bits;
using testing::FlushToZeroScope;
using testing::SimdTables;

bool IsNaN(Half h) { return (h & 0x7c00u) == 0x7c00u && (h & 0x3ffu) != 0; }

// The exact difference (a double holds it: both halves are multiples of 2^-24 below 2^16)
// rounded once to half precision, ties to even, with overflow to infinity.
Half ExactHalfDifference(Half a, Half b) {
  const double x = static_cast<double>(HalfToFloat(a)) - static_cast<double>(HalfToFloat(b));
  if (std::isnan(x)) return 0x7e00;  // inf - inf
  if (std::isinf(x)) return FloatToHalf(static_cast<float>(x));
  const double magnitude = std::fabs(x);
  const int exponent = magnitude < 0x1p-14 ? -14 : std::ilogb(magnitude);
  const double ulp = std::ldexp(1.0, exponent - 10);
  const double rounded = std::nearbyint(magnitude / ulp) * ulp;  // ties to even
  const Half sign = std::signbit(x) ? 0x8000 : 0;
  if (rounded > 65504.0) return sign | 0x7c00;
  // rounded is a half value: converting it to float is exact, and so is FloatToHalf.
  return sign | FloatToHalf(static_cast<float>(rounded));
}

// The second operands: values near the first one (whose difference is small and may be
// subnormal) and a spread over every exponent of both signs.
std::vector<Half> Partners(Half a) {
  std::vector<Half> partners;
  for (int k = -6; k <= 6; ++k) partners.push_back(static_cast<Half>(a + k));
  for (int k = -3; k <= 3; ++k) partners.push_back(static_cast<Half>((a ^ 0x8000) + k));
  for (uint32_t e = 0; e < 32; ++e) {
    for (uint32_t m : {0u, 1u, 0x155u, 0x200u, 0x3ffu}) {
      partners.push_back(static_cast<Half>(e << 10 | m));
      partners.push_back(static_cast<Half>(0x8000u | e << 10 | m));
    }
  }
  return partners;
}

TEST(HalfDifference, IsTheCorrectlyRoundedDifference) {
  for (uint32_t a = 0; a < 0x10000; ++a) {
    if (IsNaN(static_cast<Half>(a))) continue;
    for (Half b : Partners(static_cast<Half>(a))) {
      if (IsNaN(b)) continue;
      const Half got = HalfDifference(static_cast<Half>(a), b);
      const Half want = ExactHalfDifference(static_cast<Half>(a), b);
      if (IsNaN(want)) {
        ASSERT_TRUE(IsNaN(got)) << std::hex << a << " - " << b;  // inf - inf
      } else {
        ASSERT_EQ(got, want) << std::hex << a << " - " << b;
      }
    }
  }
}

// One pair per call at a moving position, zeros elsewhere: the distance is the square of the
// rounded difference alone, so every table must round each pair exactly as the reference does.
void CheckPairsThroughKernels() {
  std::vector<Half> query(32, 0), code(32, 0);
  int position = 0;
  for (const KernelTable* simd : SimdTables()) {
    for (uint32_t a = 0; a < 0x10000; a += 3) {
      if (IsNaN(static_cast<Half>(a))) continue;
      for (Half b : Partners(static_cast<Half>(a))) {
        if (IsNaN(b)) continue;
        position = (position + 7) % 32;
        query[position] = static_cast<Half>(a);
        code[position] = b;
        const float want = kScalarKernels.fp16_l2(query.data(), code.data(), 32);
        const float got = simd->fp16_l2(query.data(), code.data(), 32);
        float four[4];
        simd->fp16_l2_x4(query.data(), code.data(), code.data(), code.data(), code.data(), four,
                         32);
        query[position] = 0;
        code[position] = 0;
        ASSERT_EQ(Bits(got), Bits(want)) << simd->name << std::hex << " " << a << " - " << b;
        ASSERT_EQ(Bits(four[position % 4]), Bits(want))
            << simd->name << std::hex << " x4 " << a << " - " << b;
      }
    }
  }
}

TEST(HalfDifference, EveryTableRoundsPairsLikeTheReference) { CheckPairsThroughKernels(); }

TEST(HalfDifference, EveryTableRoundsPairsLikeTheReferenceWithSubnormalsFlushed) {
  FlushToZeroScope flush;
  CheckPairsThroughKernels();
}

}  // namespace
}  // namespace vexa
