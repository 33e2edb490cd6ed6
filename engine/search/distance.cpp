#include "engine/search/distance.h"

#include <cmath>

namespace vexa {
namespace {

struct L2Term {
  static float Rounded(float a, float b) {
    const float diff = a - b;
    return diff * diff;
  }
  static float Fused(float a, float b, float acc) {
    const float diff = a - b;
    return std::fma(diff, diff, acc);
  }
};

struct IPTerm {
  static float Rounded(float a, float b) { return a * b; }
  static float Fused(float a, float b, float acc) { return std::fma(a, b, acc); }
};

float Pairwise(const float lanes[4]) { return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]); }

// Four accumulators of four lanes over whole blocks of 16 (separately rounded terms), then a fifth
// over groups of four and single components (fused terms).
template <typename Term>
float FloatDistance(const float* a, const float* b, int d) {
  const int m = d >= 16 ? d / 16 * 16 : 0;
  float acc[4][4] = {};
  for (int k = 0; k < m; k += 16) {
    for (int g = 0; g < 4; ++g) {
      for (int i = 0; i < 4; ++i) acc[g][i] += Term::Rounded(a[k + 4 * g + i], b[k + 4 * g + i]);
    }
  }
  float sum[4];
  for (int i = 0; i < 4; ++i) sum[i] = ((acc[0][i] + acc[1][i]) + acc[2][i]) + acc[3][i];
  const float main = m > 0 ? Pairwise(sum) : 0.0f;

  const int r = d > m ? d - m : 0;
  float rest = 0.0f;
  int j = m;
  if (r >= 4) {
    float tail[4] = {};
    for (; j + 4 <= m + r; j += 4) {
      for (int i = 0; i < 4; ++i) tail[i] = Term::Fused(a[j + i], b[j + i], tail[i]);
    }
    rest = Pairwise(tail);
  }
  for (; j < m + r; ++j) rest = Term::Fused(a[j], b[j], rest);
  return main + rest;
}

}  // namespace

float DistanceFP32L2(const float* a, const float* b, int d) { return FloatDistance<L2Term>(a, b, d); }

float DistanceFP32IP(const float* a, const float* b, int d) { return -FloatDistance<IPTerm>(a, b, d); }

}  // namespace vexa
