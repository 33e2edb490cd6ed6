#ifndef TARVO_ENGINE_SEARCH_KERNELS_X86_FLOAT_TERMS_H_
#define TARVO_ENGINE_SEARCH_KERNELS_X86_FLOAT_TERMS_H_

#include <immintrin.h>

#include <cmath>

#include "engine/search/half.h"

// The pieces that the x86 float kernels share: the pairwise lane sum, the fused remainder of the
// pair functions and the eight-wide terms. Included by the AVX2 and AVX-512 files only (it needs
// FMA and F16C); internal to each, so each copy is compiled for that file's instruction set.
namespace vexa {
namespace {

// pairwise(L) = (L0 + L1) + (L2 + L3).
inline float Pairwise(__m128 lanes) {
  const __m128 pairs = _mm_add_ps(lanes, _mm_movehdup_ps(lanes));  // L0 + L1, ., L2 + L3, .
  return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_movehl_ps(pairs, pairs)));
}

// Fused terms: Quad adds four terms to acc with one rounding each, One a single one.
struct FusedL2 {
  static __m128 Quad(const float* a, const float* b, __m128 acc) {
    const __m128 diff = _mm_sub_ps(_mm_loadu_ps(a), _mm_loadu_ps(b));
    return _mm_fmadd_ps(diff, diff, acc);
  }
  static float One(float a, float b, float acc) {
    const float diff = a - b;
    return std::fma(diff, diff, acc);
  }
};

struct FusedIP {
  static __m128 Quad(const float* a, const float* b, __m128 acc) {
    return _mm_fmadd_ps(_mm_loadu_ps(a), _mm_loadu_ps(b), acc);
  }
  static float One(float a, float b, float acc) { return std::fma(a, b, acc); }
};

// The remainder after the whole blocks of 16 that end at m: a fused four-lane accumulator over
// its groups of four (when there is one), then each last component fused onto the sum.
template <typename Fused>
float FusedRest(const float* a, const float* b, int m, int d) {
  const int end = d > m ? d : m;
  int j = m;
  float rest = 0.0f;
  if (end - m >= 4) {
    __m128 tail = _mm_setzero_ps();
    for (; j + 4 <= end; j += 4) tail = Fused::Quad(a + j, b + j, tail);
    rest = Pairwise(tail);
  }
  for (; j < end; ++j) rest = Fused::One(a[j], b[j], rest);
  return rest;
}

// Eight-wide terms: Rounded8 gives eight separately rounded terms, Fused is the pair
// functions' remainder term, Finish turns a sum into the distance.
struct FloatL2Terms {
  using Element = float;
  using Fused = FusedL2;
  static __m256 Rounded8(const float* a, const float* b) {
    const __m256 diff = _mm256_sub_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b));
    return _mm256_mul_ps(diff, diff);
  }
  static float Finish(float sum) { return sum; }
};

struct FloatIPTerms {
  using Element = float;
  using Fused = FusedIP;
  static __m256 Rounded8(const float* a, const float* b) {
    return _mm256_mul_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b));
  }
  static float Finish(float sum) { return -sum; }
};

// Half terms are exact single-precision products (a product of two halves always fits), so
// adding one with a single rounding is the fused addition of the reference. The L2 difference is
// rounded to half precision first: the float difference of two halves rounded to half is the
// correctly rounded half difference (see half_difference.h), and the conversion takes its
// rounding from the instruction, not from the thread's mode.
inline __m256 LoadHalves8(const Half* p) {
  return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

struct HalfL2Terms {
  using Element = Half;
  static __m256 Rounded8(const Half* q, const Half* c) {
    const __m256 diff = _mm256_sub_ps(LoadHalves8(q), LoadHalves8(c));
    const __m256 half = _mm256_cvtph_ps(_mm256_cvtps_ph(diff, _MM_FROUND_TO_NEAREST_INT));
    return _mm256_mul_ps(half, half);
  }
  static float Finish(float sum) { return sum; }
};

struct HalfIPTerms {
  using Element = Half;
  static __m256 Rounded8(const Half* q, const Half* c) {
    return _mm256_mul_ps(LoadHalves8(q), LoadHalves8(c));
  }
  static float Finish(float sum) { return -sum; }
};

}  // namespace
}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_KERNELS_X86_FLOAT_TERMS_H_
