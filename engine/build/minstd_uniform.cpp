#include "engine/build/minstd_uniform.h"

#include <cmath>

namespace vexa {
namespace {

constexpr uint64_t kModulus = 2147483647;  // 2^31 - 1
constexpr uint64_t kMultiplier = 16807;
// Number of values one step yields (1 .. 2^31 - 2).
constexpr double kRange = 2147483646.0;
// The double nearest 2147483646^2, and the double nearest its reciprocal.
constexpr double kRangeSquared = 4611686009837453312.0;
constexpr double kInverseRangeSquared = 2.1684043490099767e-19;
// The largest double below 1.
constexpr double kBelowOne = 1.0 - 0x1p-53;

}  // namespace

double MinstdUniform::Next() {
  uint64_t x1;
  uint64_t x2;
  {
    std::lock_guard<std::mutex> hold(lock_);
    x1 = state_ * kMultiplier % kModulus;
    x2 = x1 * kMultiplier % kModulus;
    state_ = x2;
  }
  const double sum = std::fma(static_cast<double>(x2 - 1), kRange, static_cast<double>(x1 - 1));
  if (sum >= kRangeSquared) return kBelowOne;
  return sum * kInverseRangeSquared;
}

}  // namespace vexa
