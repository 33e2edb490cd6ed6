#ifndef TARVO_ENGINE_SEARCH_QUANT_KERNELS_X86_FLOAT_KERNELS_H_
#define TARVO_ENGINE_SEARCH_QUANT_KERNELS_X86_FLOAT_KERNELS_H_

#include <immintrin.h>

#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/kernel_forms.h"

// The float kernels that the x86 paths share: the pairwise lane sum, the fused remainder of the
// pair functions, the eight-wide terms, and on 256-bit registers the half-precision kernels and
// the four-code float forms (on this generation of processors they run no faster on 512-bit
// registers, whose lane transposes cost more than they save). They keep the reference's
// accumulator lanes and the order of every addition; only independent codes share registers.
// Included by the AVX2 and AVX-512 files only (it needs FMA and F16C); internal to each, so each
// copy is compiled for that file's instruction set.
namespace vexa {
namespace {

// pairwise(L) = (L0 + L1) + (L2 + L3).
inline float Pairwise(__m128 lanes) {
  const __m128 pairs = _mm_add_ps(lanes, _mm_movehdup_ps(lanes));  // L0 + L1, ., L2 + L3, .
  return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_movehl_ps(pairs, pairs)));
}

// Fused terms: Quad adds four terms to acc with one rounding each, One a single one. One uses the
// builtin rather than std::fma: an inline library function compiled in an instruction-set file
// may be emitted as a weak copy that the linker then keeps for the whole program.
struct FusedL2 {
  static __m128 Quad(const float* a, const float* b, __m128 acc) {
    const __m128 diff = _mm_sub_ps(_mm_loadu_ps(a), _mm_loadu_ps(b));
    return _mm_fmadd_ps(diff, diff, acc);
  }
  static float One(float a, float b, float acc) {
    const float diff = a - b;
    return __builtin_fmaf(diff, diff, acc);
  }
};

struct FusedIP {
  static __m128 Quad(const float* a, const float* b, __m128 acc) {
    return _mm_fmadd_ps(_mm_loadu_ps(a), _mm_loadu_ps(b), acc);
  }
  static float One(float a, float b, float acc) { return __builtin_fmaf(a, b, acc); }
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

inline __m128 Low(__m256 v) { return _mm256_castps256_ps128(v); }
inline __m128 High(__m256 v) { return _mm256_extractf128_ps(v, 1); }

// pairwise of the lane-wise ((A0 + A1) + A2) + A3, with A0 | A1 in `first`, A2 | A3 in `second`.
inline float Reduce(__m256 first, __m256 second) {
  const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(Low(first), High(first)), Low(second)),
                                High(second));
  return Pairwise(sum);
}

// Half blocks of 32: A_a lane i takes component 8a + i, then 8a + 4 + i.
template <typename Term>
float Fp16Single(const Half* query, const Half* code, int d) {
  const int m = WholeBlocks(d, 32);
  __m256 first = _mm256_setzero_ps();   // A0 | A1
  __m256 second = _mm256_setzero_ps();  // A2 | A3
  for (int k = 0; k < m; k += 32) {
    const __m256 p0 = Term::Rounded8(query + k, code + k);
    const __m256 p1 = Term::Rounded8(query + k + 8, code + k + 8);
    const __m256 p2 = Term::Rounded8(query + k + 16, code + k + 16);
    const __m256 p3 = Term::Rounded8(query + k + 24, code + k + 24);
    first = _mm256_add_ps(first, _mm256_permute2f128_ps(p0, p1, 0x20));
    first = _mm256_add_ps(first, _mm256_permute2f128_ps(p0, p1, 0x31));
    second = _mm256_add_ps(second, _mm256_permute2f128_ps(p2, p3, 0x20));
    second = _mm256_add_ps(second, _mm256_permute2f128_ps(p2, p3, 0x31));
  }
  return m > 0 ? Term::Finish(Reduce(first, second)) : 0.0f;
}

// One four-lane accumulator per code that adds the code's groups of four in order, over the
// first `covered` components (a multiple of 8). Codes go in pairs, one accumulator per half of
// a register; kQuads groups of four codes run side by side to keep the adders busy.
template <typename Term>
struct Chains {
  using Element = typename Term::Element;

  template <int kQuads>
  static void Run(const Element* query, const Element* const codes[4 * kQuads],
                  float out[4 * kQuads], int covered) {
    __m256 acc[2 * kQuads];
    for (__m256& a : acc) a = _mm256_setzero_ps();
    for (int k = 0; k < covered; k += 8) {
      for (int p = 0; p < 2 * kQuads; ++p) {
        const __m256 e0 = Term::Rounded8(query + k, codes[2 * p] + k);  // groups g and g + 1
        const __m256 e1 = Term::Rounded8(query + k, codes[2 * p + 1] + k);
        acc[p] = _mm256_add_ps(acc[p], _mm256_permute2f128_ps(e0, e1, 0x20));
        acc[p] = _mm256_add_ps(acc[p], _mm256_permute2f128_ps(e0, e1, 0x31));
      }
    }
    for (int p = 0; p < 2 * kQuads; ++p) {
      out[2 * p] = covered > 0 ? Term::Finish(Pairwise(Low(acc[p]))) : 0.0f;
      out[2 * p + 1] = covered > 0 ? Term::Finish(Pairwise(High(acc[p]))) : 0.0f;
    }
  }
};

}  // namespace
}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_QUANT_KERNELS_X86_FLOAT_KERNELS_H_
