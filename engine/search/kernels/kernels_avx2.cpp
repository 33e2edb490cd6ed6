// AVX2 + FMA + F16C kernels: the pair functions on 256-bit registers (the half-precision and
// four-code float forms are those of x86_float_kernels.h) and the integer kernels, which are
// exact and so sum in whatever order suits the instructions.
#include <immintrin.h>

#include <cstdint>

#include "engine/search/half.h"
#include "engine/search/kernels/batch16.h"
#include "engine/search/kernels/kernel_forms.h"
#include "engine/search/kernels/kernel_table.h"
#include "engine/search/kernels/x86_float_kernels.h"

namespace vexa {
namespace {

using FloatL2 = FloatL2Terms;
using FloatIP = FloatIPTerms;
using HalfL2 = HalfL2Terms;
using HalfIP = HalfIPTerms;

template <typename Term>
float Fp32Pair(const float* a, const float* b, int d) {
  const int m = WholeBlocks(d, 16);
  __m256 first = _mm256_setzero_ps();   // A0 | A1
  __m256 second = _mm256_setzero_ps();  // A2 | A3
  for (int k = 0; k < m; k += 16) {
    first = _mm256_add_ps(first, Term::Rounded8(a + k, b + k));
    second = _mm256_add_ps(second, Term::Rounded8(a + k + 8, b + k + 8));
  }
  const float main = m > 0 ? Reduce(first, second) : 0.0f;
  return Term::Finish(main + FusedRest<typename Term::Fused>(a, b, m, d));
}

// ---- Integer kernels ----

__m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
__m256i LoadHalf(const void* p) {
  return _mm256_zextsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(p)));
}

int32_t SumLanes(__m256i v) {
  __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4e));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xb1));
  return _mm_cvtsi128_si32(s);
}

// Each code kind: Block gives 32-bit partial sums of 32 code bytes against 32 query bytes,
// Finish turns the total into the distance.
struct Sq8L2 {
  static __m256i Block(__m256i q, __m256i x) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i diff = _mm256_or_si256(_mm256_subs_epu8(q, x), _mm256_subs_epu8(x, q));
    const __m256i lo = _mm256_unpacklo_epi8(diff, zero);
    const __m256i hi = _mm256_unpackhi_epi8(diff, zero);
    return _mm256_add_epi32(_mm256_madd_epi16(lo, lo), _mm256_madd_epi16(hi, hi));
  }
  static int32_t Finish(int32_t sum) { return sum; }
};

struct Sq8IP {
  static __m256i Block(__m256i q, __m256i x) {
    const __m256i q_lo = _mm256_cvtepi8_epi16(_mm256_castsi256_si128(q));
    const __m256i q_hi = _mm256_cvtepi8_epi16(_mm256_extracti128_si256(q, 1));
    const __m256i x_lo = _mm256_cvtepi8_epi16(_mm256_castsi256_si128(x));
    const __m256i x_hi = _mm256_cvtepi8_epi16(_mm256_extracti128_si256(x, 1));
    return _mm256_add_epi32(_mm256_madd_epi16(q_lo, x_lo), _mm256_madd_epi16(q_hi, x_hi));
  }
  static int32_t Finish(int32_t sum) { return -sum; }
};

__m256i LowNibbles(__m256i v) { return _mm256_and_si256(v, _mm256_set1_epi8(0x0f)); }
__m256i HighNibbles(__m256i v) { return LowNibbles(_mm256_srli_epi16(v, 4)); }

struct Sq4L2 {
  static __m256i Block(__m256i q, __m256i x) {
    const __m256i lo = _mm256_abs_epi8(_mm256_sub_epi8(LowNibbles(q), LowNibbles(x)));
    const __m256i hi = _mm256_abs_epi8(_mm256_sub_epi8(HighNibbles(q), HighNibbles(x)));
    const __m256i squares = _mm256_add_epi16(_mm256_maddubs_epi16(lo, lo), _mm256_maddubs_epi16(hi, hi));
    return _mm256_madd_epi16(squares, _mm256_set1_epi16(1));
  }
  static int32_t Finish(int32_t sum) { return sum; }
};

// The query's low nibble minus 7 times the data's low nibble, plus 16 x the query's signed high
// nibble (its bits kept in place) times the data's high nibble: the block sums 16 x the terms,
// which Finish divides out exactly.
struct Sq4IP {
  static __m256i Block(__m256i q, __m256i x) {
    const __m256i q_lo = _mm256_sub_epi8(LowNibbles(q), _mm256_set1_epi8(7));
    const __m256i q_hi16 = _mm256_and_si256(q, _mm256_set1_epi8(static_cast<char>(0xf0)));
    const __m256i lo = _mm256_maddubs_epi16(LowNibbles(x), q_lo);
    const __m256i hi16 = _mm256_maddubs_epi16(HighNibbles(x), q_hi16);
    const __m256i sum16 = _mm256_add_epi16(_mm256_slli_epi16(lo, 4), hi16);
    return _mm256_madd_epi16(sum16, _mm256_set1_epi16(1));
  }
  static int32_t Finish(int32_t sum) { return -(sum / 16); }
};

// The exact sums of kCodes codes over their first `bytes` bytes (a multiple of 16); a last
// half step reads its 16 bytes into a register whose upper half is zero.
template <typename Code>
struct Sums {
  template <int kCodes>
  static void Run(const uint8_t* query, const uint8_t* const codes[kCodes], int32_t out[kCodes],
                  int bytes) {
    __m256i acc[kCodes];
    for (__m256i& a : acc) a = _mm256_setzero_si256();
    int j = 0;
    for (; j + 32 <= bytes; j += 32) {
      const __m256i q = Load(query + j);
      for (int c = 0; c < kCodes; ++c) {
        acc[c] = _mm256_add_epi32(acc[c], Code::Block(q, Load(codes[c] + j)));
      }
    }
    if (j < bytes) {
      const __m256i q = LoadHalf(query + j);
      for (int c = 0; c < kCodes; ++c) {
        acc[c] = _mm256_add_epi32(acc[c], Code::Block(q, LoadHalf(codes[c] + j)));
      }
    }
    for (int c = 0; c < kCodes; ++c) out[c] = Code::Finish(SumLanes(acc[c]));
  }
};

}  // namespace

TARVO_SIMD_KERNEL_TABLE(kAvx2Kernels, "avx2");

}  // namespace vexa
