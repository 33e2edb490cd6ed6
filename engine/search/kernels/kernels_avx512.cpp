// AVX-512 kernels (F, BW, VL, DQ and VNNI, with FMA and F16C): the pair functions with the four
// four-lane accumulators in one 512-bit register (so every addition stays the reference's), the
// integer kernels on the VNNI byte dot products, and the shared forms of x86_float_kernels.h.

// GCC 12's AVX-512 intrinsics start some results from a deliberately undefined register, which
// its own uninitialized-use warnings then report inside the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstdint>

#include "engine/search/half.h"
#include "engine/search/kernels/batch16.h"
#include "engine/search/kernels/kernel_forms.h"
#include "engine/search/kernels/kernel_table.h"
#include "engine/search/kernels/x86_float_kernels.h"

namespace vexa {
namespace {

// pairwise of the lane-wise ((A0 + A1) + A2) + A3, A_g being the 128-bit part g of acc.
float Reduce(__m512 acc) {
  const __m128 sum = _mm_add_ps(
      _mm_add_ps(_mm_add_ps(_mm512_castps512_ps128(acc), _mm512_extractf32x4_ps(acc, 1)),
                 _mm512_extractf32x4_ps(acc, 2)),
      _mm512_extractf32x4_ps(acc, 3));
  return Pairwise(sum);
}

// Sixteen separately rounded float terms.
struct FloatL2 : FloatL2Terms {
  static __m512 Rounded16(const float* a, const float* b) {
    const __m512 diff = _mm512_sub_ps(_mm512_loadu_ps(a), _mm512_loadu_ps(b));
    return _mm512_mul_ps(diff, diff);
  }
};

struct FloatIP : FloatIPTerms {
  static __m512 Rounded16(const float* a, const float* b) {
    return _mm512_mul_ps(_mm512_loadu_ps(a), _mm512_loadu_ps(b));
  }
};

using HalfL2 = HalfL2Terms;
using HalfIP = HalfIPTerms;

template <typename Term>
float Fp32Pair(const float* a, const float* b, int d) {
  const int m = WholeBlocks(d, 16);
  __m512 acc = _mm512_setzero_ps();  // A0 | A1 | A2 | A3
  for (int k = 0; k < m; k += 16) acc = _mm512_add_ps(acc, Term::Rounded16(a + k, b + k));
  const float main = m > 0 ? Reduce(acc) : 0.0f;
  return Term::Finish(main + FusedRest<typename Term::Fused>(a, b, m, d));
}

// ---- Integer kernels ----

int32_t SumLanes(__m512i v) {
  __m512i s = _mm512_add_epi32(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
  s = _mm512_add_epi32(s, _mm512_shuffle_i64x2(s, s, _MM_SHUFFLE(2, 3, 0, 1)));
  __m128i t = _mm512_castsi512_si128(s);
  t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4e));
  t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xb1));
  return _mm_cvtsi128_si32(t);
}

__m512i Bytes(int8_t value) { return _mm512_set1_epi8(value); }
__m512i LowNibbles(__m512i v) { return _mm512_and_si512(v, Bytes(0x0f)); }
__m512i HighNibbles(__m512i v) { return LowNibbles(_mm512_srli_epi16(v, 4)); }

// Each code kind: Add folds 64 code bytes against 64 query bytes into two 32-bit accumulators,
// Finish turns them into the distance. Zero bytes on both sides add nothing.
//
// SQ8 L2: d^2 = d x (d - 128) + 128 d for the absolute difference d, as an unsigned times a
// signed byte.
struct Sq8L2 {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    const __m512i diff = _mm512_or_si512(_mm512_subs_epu8(q, x), _mm512_subs_epu8(x, q));
    a = _mm512_dpbusd_epi32(a, diff, _mm512_xor_si512(diff, Bytes(-128)));
    b = _mm512_dpbusd_epi32(b, diff, Bytes(1));
  }
  static int32_t Finish(__m512i a, __m512i b) {
    return SumLanes(_mm512_add_epi32(a, _mm512_slli_epi32(b, 7)));
  }
};

// SQ8 IP: q x = (q + 128) x - 128 x, with q + 128 unsigned.
struct Sq8IP {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    a = _mm512_dpbusd_epi32(a, _mm512_xor_si512(q, Bytes(-128)), x);
    b = _mm512_dpbusd_epi32(b, Bytes(1), x);
  }
  static int32_t Finish(__m512i a, __m512i b) {
    return -SumLanes(_mm512_sub_epi32(a, _mm512_slli_epi32(b, 7)));
  }
};

struct Sq4L2 {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    const __m512i lo = _mm512_abs_epi8(_mm512_sub_epi8(LowNibbles(q), LowNibbles(x)));
    const __m512i hi = _mm512_abs_epi8(_mm512_sub_epi8(HighNibbles(q), HighNibbles(x)));
    a = _mm512_dpbusd_epi32(a, lo, lo);
    b = _mm512_dpbusd_epi32(b, hi, hi);
  }
  static int32_t Finish(__m512i a, __m512i b) { return SumLanes(_mm512_add_epi32(a, b)); }
};

// SQ4 IP: the data's low nibbles times the query's low nibbles minus 7, and the data's high
// nibbles times the query's high nibbles kept in place (16 x the signed nibble), divided out.
struct Sq4IP {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    a = _mm512_dpbusd_epi32(a, LowNibbles(x), _mm512_sub_epi8(LowNibbles(q), Bytes(7)));
    b = _mm512_dpbusd_epi32(b, HighNibbles(x), _mm512_and_si512(q, Bytes(-16)));
  }
  static int32_t Finish(__m512i a, __m512i b) {  // every lane of b is a multiple of 16
    return -SumLanes(_mm512_add_epi32(a, _mm512_srai_epi32(b, 4)));
  }
};

// The exact sums of kCodes codes over their first `bytes` bytes; a last partial step reads only
// its bytes (the rest of the register is zero).
template <typename Code>
struct Sums {
  template <int kCodes>
  static void Run(const uint8_t* query, const uint8_t* const codes[kCodes], int32_t out[kCodes],
                  int bytes) {
    __m512i a[kCodes], b[kCodes];
    for (int c = 0; c < kCodes; ++c) a[c] = b[c] = _mm512_setzero_si512();
    int j = 0;
    for (; j + 64 <= bytes; j += 64) {
      const __m512i q = _mm512_loadu_si512(query + j);
      for (int c = 0; c < kCodes; ++c) Code::Add(q, _mm512_loadu_si512(codes[c] + j), a[c], b[c]);
    }
    if (j < bytes) {
      const __mmask64 mask = (uint64_t{1} << (bytes - j)) - 1;  // fewer than 64 bytes are left
      const __m512i q = _mm512_maskz_loadu_epi8(mask, query + j);
      for (int c = 0; c < kCodes; ++c) {
        Code::Add(q, _mm512_maskz_loadu_epi8(mask, codes[c] + j), a[c], b[c]);
      }
    }
    for (int c = 0; c < kCodes; ++c) out[c] = Code::Finish(a[c], b[c]);
  }
};

}  // namespace

TARVO_SIMD_KERNEL_TABLE(kAvx512Kernels, "avx512");

}  // namespace vexa
