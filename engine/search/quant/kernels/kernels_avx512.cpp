// AVX-512 kernels (F, BW, VL, DQ and VNNI, with FMA and F16C): the pair functions with the four
// four-lane accumulators in one 512-bit register (so every addition stays the reference's), the
// integer kernels on the VNNI byte dot products, and the shared forms of x86_float_kernels.h.

// GCC 12's AVX-512 intrinsics start some results from a deliberately undefined register, which
// its own uninitialized-use warnings then report inside the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstdint>

#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/batch16.h"
#include "engine/search/quant/kernels/integer_forms.h"
#include "engine/search/quant/kernels/kernel_forms.h"
#include "engine/search/quant/kernels/kernel_table.h"
#include "engine/search/quant/kernels/x86_float_kernels.h"

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

// The pair functions' four accumulators in one register: A0 | A1 | A2 | A3.
template <typename T>
struct Fp32Blocks {
  using Term = T;
  using Acc = __m512;
  static Acc Zero() { return _mm512_setzero_ps(); }
  static void Add(Acc& acc, const float* a, const float* b) { acc = _mm512_add_ps(acc, Term::Rounded16(a, b)); }
  static float Main(const Acc& acc) { return Reduce(acc); }
  static float Rest(const float* a, const float* b, int m, int d) {
    return FusedRest<typename Term::Fused>(a, b, m, d);
  }
};

// ---- Integer kernels ----

__m512i Bytes(int8_t value) { return _mm512_set1_epi8(value); }
__m512i LowNibbles(__m512i v) { return _mm512_and_si512(v, Bytes(0x0f)); }
__m512i HighNibbles(__m512i v) { return LowNibbles(_mm512_srli_epi16(v, 4)); }

// acc plus the dot products of four unsigned bytes of u with four signed bytes of s per lane.
// Written out so that the compiler accumulates in place instead of copying accumulators.
__m512i Dot(__m512i acc, __m512i u, __m512i s) {
  __asm__("vpdpbusd %2, %1, %0" : "+v"(acc) : "v"(u), "v"(s));
  return acc;
}

// Lane sums of four registers: 128-bit part k of the result holds, for each of the four, the sum
// of its 128-bit part k.
__m512i SumQuads(const __m512i v[4]) {
  const __m512i a =
      _mm512_add_epi32(_mm512_unpacklo_epi32(v[0], v[1]), _mm512_unpackhi_epi32(v[0], v[1]));
  const __m512i b =
      _mm512_add_epi32(_mm512_unpacklo_epi32(v[2], v[3]), _mm512_unpackhi_epi32(v[2], v[3]));
  return _mm512_add_epi32(_mm512_unpacklo_epi64(a, b), _mm512_unpackhi_epi64(a, b));
}

struct Simd {
  using Vec = __m512i;
  static constexpr int kBytes = 64;
  static constexpr int kGroup = 8;
  static Vec Zero() { return _mm512_setzero_si512(); }
  static Vec Add(Vec a, Vec b) { return _mm512_add_epi32(a, b); }
  // The loads stay in their registers: left alone, the compiler folds the same load into several
  // instructions, and loads are what limits these loops.
  static Vec Load(const uint8_t* p) {
    Vec v = _mm512_loadu_si512(p);
    __asm__("" : "+v"(v));
    return v;
  }
  static Vec LoadPart(const uint8_t* p, int n) {
    Vec v = _mm512_maskz_loadu_epi8((uint64_t{1} << n) - 1, p);
    __asm__("" : "+v"(v));
    return v;
  }
  static int32_t SumLanes(Vec v) {
    const __m256i s = _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
    __m128i t = _mm_add_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4e));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xb1));
    return _mm_cvtsi128_si32(t);
  }
  static void SumFour(const Vec v[4], int32_t out[4]) {
    const __m512i q = SumQuads(v);
    const __m256i h = _mm256_add_epi32(_mm512_castsi512_si256(q), _mm512_extracti64x4_epi64(q, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1)));
  }
  static void SumEight(const Vec v[8], int32_t out[8]) {
    const __m512i x = SumQuads(v), y = SumQuads(v + 4);
    const __m512i f = _mm512_add_epi32(_mm512_shuffle_i64x2(x, y, _MM_SHUFFLE(1, 0, 1, 0)),
                                       _mm512_shuffle_i64x2(x, y, _MM_SHUFFLE(3, 2, 3, 2)));
    const __m512i r = _mm512_add_epi32(_mm512_shuffle_i64x2(f, f, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm512_shuffle_i64x2(f, f, _MM_SHUFFLE(3, 1, 3, 1)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(r));
  }
};

// SQ8 L2 of one code: for the absolute difference d, d^2 = d (d - 128) + 128 d, an unsigned
// byte times a signed one plus a byte sum.
struct Sq8L2Pair {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    const __m512i d = _mm512_sub_epi8(_mm512_max_epu8(q, x), _mm512_min_epu8(q, x));
    a = Dot(a, d, _mm512_xor_si512(d, Bytes(-128)));
    b = Dot(b, d, Bytes(1));
  }
  static __m512i Distance(__m512i a, __m512i b) {
    return _mm512_add_epi32(a, _mm512_slli_epi32(b, 7));
  }
};

// SQ8 L2 of several codes, with the query folded into 0..127: where q > 127 both sides are
// reflected (v -> 255 - v keeps every difference), so q' = min(q, 255 - q) and x' = x ^ m with
// m = q ^ q'. Then (q' - x')^2 = q'^2 + x' (x' - 128) + 2 x' (64 - q'), both weights signed
// bytes: two dot products per code and none of the difference arithmetic.
struct Sq8L2Prepared {
  struct Block {
    __m512i flip;    // m
    __m512i weight;  // 64 - q'
  };
  static Block Prepare(__m512i q, __m512i& query_acc) {
    // 255 - q from a constant the compiler cannot see through: its ones' complement would read
    // the destination register and so chain every call to the one before.
    __m512i all_ones = Bytes(-1);
    __asm__("" : "+v"(all_ones));
    const __m512i folded = _mm512_min_epu8(q, _mm512_sub_epi8(all_ones, q));
    query_acc = Dot(query_acc, folded, folded);
    return {_mm512_xor_si512(q, folded), _mm512_sub_epi8(Bytes(64), folded)};
  }
  static void Add(const Block& q, __m512i x, __m512i& a, __m512i& b) {
    const __m512i u = _mm512_xor_si512(x, q.flip);
    a = Dot(a, u, _mm512_xor_si512(u, Bytes(-128)));
    b = Dot(b, u, q.weight);
  }
  static __m512i Distance(__m512i a, __m512i b, __m512i query_acc) {
    return _mm512_add_epi32(_mm512_add_epi32(a, _mm512_slli_epi32(b, 1)), query_acc);
  }
};

// SQ8 IP: q x = (x + 128) q - 128 q, with x + 128 unsigned; the query's own sum is taken along
// for one code, once for several.
struct Sq8IPPair {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    a = Dot(a, _mm512_xor_si512(x, Bytes(-128)), q);
    b = Dot(b, Bytes(-128), q);
  }
  static __m512i Distance(__m512i a, __m512i b) { return _mm512_sub_epi32(b, a); }
};

struct Sq8IPPrepared {
  using Block = __m512i;
  static Block Prepare(__m512i q, __m512i& query_acc) {
    query_acc = Dot(query_acc, Bytes(-128), q);
    return q;
  }
  static void Add(const Block& q, __m512i x, __m512i& a, __m512i&) {
    a = Dot(a, _mm512_xor_si512(x, Bytes(-128)), q);
  }
  static __m512i Distance(__m512i a, __m512i, __m512i query_acc) {
    return _mm512_sub_epi32(query_acc, a);
  }
};

// SQ4 L2 of one code: the squares of the nibbles' absolute differences.
struct Sq4L2Pair {
  static void Add(__m512i q, __m512i x, __m512i& a, __m512i& b) {
    const __m512i lo = _mm512_abs_epi8(_mm512_sub_epi8(LowNibbles(q), LowNibbles(x)));
    const __m512i hi = _mm512_abs_epi8(_mm512_sub_epi8(HighNibbles(q), HighNibbles(x)));
    a = Dot(a, lo, lo);
    b = Dot(b, hi, hi);
  }
  static __m512i Distance(__m512i a, __m512i b) { return _mm512_add_epi32(a, b); }
};

// SQ4 L2 of several codes: (q - x)^2 = q^2 + x (x - 2q) per nibble, x - 2q a signed byte.
struct Sq4L2Prepared {
  struct Block {
    __m512i lo2;  // twice the query's low nibbles
    __m512i hi2;  // twice the query's high nibbles
  };
  static Block Prepare(__m512i q, __m512i& query_acc) {
    const __m512i lo = LowNibbles(q), hi = HighNibbles(q);
    query_acc = Dot(Dot(query_acc, lo, lo), hi, hi);
    return {_mm512_add_epi8(lo, lo), _mm512_add_epi8(hi, hi)};
  }
  static void Add(const Block& q, __m512i x, __m512i& a, __m512i&) {
    const __m512i lo = LowNibbles(x), hi = HighNibbles(x);
    a = Dot(Dot(a, lo, _mm512_sub_epi8(lo, q.lo2)), hi, _mm512_sub_epi8(hi, q.hi2));
  }
  static __m512i Distance(__m512i a, __m512i, __m512i query_acc) {
    return _mm512_add_epi32(a, query_acc);
  }
};

// SQ4 IP: the data's low nibbles times 7 minus the query's low nibbles (the terms come out
// negated), and both high nibbles kept in place (16 x the data's nibble times 16 x the query's
// signed one), divided out.
struct Sq4IPPrepared {
  struct Block {
    __m512i lo;  // 7 minus the low nibbles
    __m512i hi;  // high nibbles in place
  };
  static Block Prepare(__m512i q, __m512i&) {
    return {_mm512_sub_epi8(Bytes(7), LowNibbles(q)), _mm512_and_si512(q, Bytes(-16))};
  }
  static void Add(const Block& q, __m512i x, __m512i& a, __m512i& b) {
    a = Dot(a, LowNibbles(x), q.lo);
    b = Dot(b, _mm512_and_si512(x, Bytes(-16)), q.hi);
  }
  static __m512i Distance(__m512i a, __m512i b, __m512i) {  // lanes of b: multiples of 256
    return _mm512_sub_epi32(a, _mm512_srai_epi32(b, 8));
  }
};

using Sq4IPPair = PairOf<Simd, Sq4IPPrepared>;

}  // namespace

TARVO_DEFINE_X86_KERNEL_TABLE(kAvx512Kernels, "avx512");

}  // namespace vexa
