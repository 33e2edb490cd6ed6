// AVX2 + FMA + F16C kernels: the pair functions on 256-bit registers (the half-precision and
// four-code float forms are those of x86_float_kernels.h) and the integer kernels, which are
// exact and so sum in whatever order suits the instructions.
#include <immintrin.h>

#include <cstdint>

#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/batch16.h"
#include "engine/search/quant/kernels/integer_forms.h"
#include "engine/search/quant/kernels/kernel_forms.h"
#include "engine/search/quant/kernels/kernel_table.h"
#include "engine/search/quant/kernels/x86_float_kernels.h"

namespace vexa {
namespace {

using FloatL2 = FloatL2Terms;
using FloatIP = FloatIPTerms;
using HalfL2 = HalfL2Terms;
using HalfIP = HalfIPTerms;

// The pair functions' four accumulators in two registers: A0 | A1 and A2 | A3.
template <typename T>
struct Fp32Blocks {
  using Term = T;
  struct Acc {
    __m256 first;   // A0 | A1
    __m256 second;  // A2 | A3
  };
  static Acc Zero() { return {_mm256_setzero_ps(), _mm256_setzero_ps()}; }
  static void Add(Acc& acc, const float* a, const float* b) {
    acc.first = _mm256_add_ps(acc.first, Term::Rounded8(a, b));
    acc.second = _mm256_add_ps(acc.second, Term::Rounded8(a + 8, b + 8));
  }
  static float Main(const Acc& acc) { return Reduce(acc.first, acc.second); }
  static float Rest(const float* a, const float* b, int m, int d) {
    return FusedRest<typename Term::Fused>(a, b, m, d);
  }
};

// ---- Integer kernels ----

__m256i Bytes(int8_t value) { return _mm256_set1_epi8(value); }
__m256i Words(int16_t value) { return _mm256_set1_epi16(value); }
__m256i LowNibbles(__m256i v) { return _mm256_and_si256(v, Bytes(0x0f)); }
__m256i HighNibbles(__m256i v) { return LowNibbles(_mm256_srli_epi16(v, 4)); }
// The pairs of 16-bit lanes of v summed into 32-bit lanes, and the same negated.
__m256i PairSums(__m256i v) { return _mm256_madd_epi16(v, Words(1)); }
__m256i NegatedPairSums(__m256i v) { return _mm256_madd_epi16(v, Words(-1)); }

// Lane sums of four registers: 128-bit half k of the result holds, for each of the four, the sum
// of its half k.
__m256i SumQuads(const __m256i v[4]) {
  const __m256i a =
      _mm256_add_epi32(_mm256_unpacklo_epi32(v[0], v[1]), _mm256_unpackhi_epi32(v[0], v[1]));
  const __m256i b =
      _mm256_add_epi32(_mm256_unpacklo_epi32(v[2], v[3]), _mm256_unpackhi_epi32(v[2], v[3]));
  return _mm256_add_epi32(_mm256_unpacklo_epi64(a, b), _mm256_unpackhi_epi64(a, b));
}

struct Simd {
  using Vec = __m256i;
  static constexpr int kBytes = 32;
  static constexpr int kGroup = 8;  // with at most eight accumulators in the sixteen registers
  static Vec Zero() { return _mm256_setzero_si256(); }
  static Vec Add(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
  // The loads stay in their registers: left alone, the compiler folds the same load into several
  // instructions.
  static Vec Load(const uint8_t* p) {
    Vec v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __asm__("" : "+x"(v));
    return v;
  }
  static Vec LoadPart(const uint8_t* p, int) {  // the part is always 16 bytes
    return _mm256_zextsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static int32_t SumLanes(Vec v) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4e));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xb1));
    return _mm_cvtsi128_si32(s);
  }
  static void SumEight(const Vec v[8], int32_t out[8]) {
    const __m256i x = SumQuads(v), y = SumQuads(v + 4);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_add_epi32(_mm256_permute2x128_si256(x, y, 0x20),
                                         _mm256_permute2x128_si256(x, y, 0x31)));
  }
  static void SumFour(const Vec v[4], int32_t out[4]) {
    const __m256i q = SumQuads(v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_add_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1)));
  }
};

// SQ8 L2: the absolute differences as 16-bit lanes (even and odd bytes apart), squared and
// summed in pairs.
struct Sq8L2Pair {
  static void Add(__m256i q, __m256i x, __m256i& a, __m256i& b) {
    const __m256i d = _mm256_sub_epi8(_mm256_max_epu8(q, x), _mm256_min_epu8(q, x));
    const __m256i even = _mm256_and_si256(d, Words(0xff)), odd = _mm256_srli_epi16(d, 8);
    a = _mm256_add_epi32(a, _mm256_madd_epi16(even, even));
    b = _mm256_add_epi32(b, _mm256_madd_epi16(odd, odd));
  }
  static __m256i Distance(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
};

// Nothing of the SQ8 L2 query is worth preparing here.
using Sq8L2Prepared = PreparedOf<Simd, Sq8L2Pair>;

// SQ8 IP: the query's even and odd bytes sign-extended to 16-bit lanes, against the code's odd
// bytes kept in place and its even bytes moved up (256 x each signed byte), divided out. Every
// 32-bit lane takes four products a block, each at most 256 x 128 x 128 in size, so up to 4095
// bytes (the engine's codes have at most 3008) the sums cannot overflow.
struct Sq8IPPrepared {
  struct Block {
    __m256i even;  // the even bytes, sign-extended
    __m256i odd;   // the odd bytes, sign-extended
  };
  static Block Prepare(__m256i q, __m256i&) {
    return {_mm256_srai_epi16(_mm256_slli_epi16(q, 8), 8), _mm256_srai_epi16(q, 8)};
  }
  static void Add(const Block& q, __m256i x, __m256i& a, __m256i&) {  // a takes -256 x the terms
    const __m256i even = _mm256_madd_epi16(_mm256_slli_epi16(x, 8), q.even);
    const __m256i odd = _mm256_madd_epi16(_mm256_and_si256(x, Words(-256)), q.odd);
    a = _mm256_sub_epi32(a, _mm256_add_epi32(even, odd));
  }
  static __m256i Distance(__m256i a, __m256i, __m256i) { return _mm256_srai_epi32(a, 8); }
};

using Sq8IPPair = PairOf<Simd, Sq8IPPrepared>;

// SQ4 L2 of one code: the squares of the nibbles' absolute differences.
struct Sq4L2Pair {
  static void Add(__m256i q, __m256i x, __m256i& a, __m256i&) {
    const __m256i lo = _mm256_abs_epi8(_mm256_sub_epi8(LowNibbles(q), LowNibbles(x)));
    const __m256i hi = _mm256_abs_epi8(_mm256_sub_epi8(HighNibbles(q), HighNibbles(x)));
    a = _mm256_add_epi32(a, PairSums(_mm256_add_epi16(_mm256_maddubs_epi16(lo, lo),
                                                      _mm256_maddubs_epi16(hi, hi))));
  }
  static __m256i Distance(__m256i a, __m256i) { return a; }
};

// SQ4 L2 of several codes: (q - x)^2 = q^2 + x (x - 2q) per nibble, x - 2q a signed byte; a
// 16-bit lane sums four such terms (at most 900 in size).
struct Sq4L2Prepared {
  struct Block {
    __m256i lo2;  // twice the query's low nibbles
    __m256i hi2;  // twice the query's high nibbles
  };
  static Block Prepare(__m256i q, __m256i& query_acc) {
    const __m256i lo = LowNibbles(q), hi = HighNibbles(q);
    const __m256i squares =
        _mm256_add_epi16(_mm256_maddubs_epi16(lo, lo), _mm256_maddubs_epi16(hi, hi));
    query_acc = _mm256_add_epi32(query_acc, PairSums(squares));
    return {_mm256_add_epi8(lo, lo), _mm256_add_epi8(hi, hi)};
  }
  static void Add(const Block& q, __m256i x, __m256i& a, __m256i&) {
    const __m256i lo = LowNibbles(x), hi = HighNibbles(x);
    const __m256i terms = _mm256_add_epi16(_mm256_maddubs_epi16(lo, _mm256_sub_epi8(lo, q.lo2)),
                                           _mm256_maddubs_epi16(hi, _mm256_sub_epi8(hi, q.hi2)));
    a = _mm256_add_epi32(a, PairSums(terms));
  }
  static __m256i Distance(__m256i a, __m256i, __m256i query_acc) {
    return _mm256_add_epi32(a, query_acc);
  }
};

// SQ4 IP of one code: the query's low nibble minus 7 times the data's low nibble, plus 16 x the
// query's signed high nibble (its bits kept in place) times the data's high nibble: the block
// sums 16 x the terms (negated in the pair sums), which Distance divides out exactly.
struct Sq4IPPair {
  static void Add(__m256i q, __m256i x, __m256i& a, __m256i&) {
    const __m256i lo =
        _mm256_maddubs_epi16(LowNibbles(x), _mm256_sub_epi8(LowNibbles(q), Bytes(7)));
    const __m256i hi16 = _mm256_maddubs_epi16(HighNibbles(x), _mm256_and_si256(q, Bytes(-16)));
    a = _mm256_add_epi32(a, NegatedPairSums(_mm256_add_epi16(_mm256_slli_epi16(lo, 4), hi16)));
  }
  static __m256i Distance(__m256i a, __m256i) { return _mm256_srai_epi32(a, 4); }
};

// SQ4 IP of several codes: the query's nibbles become signed bytes once (low minus 7, high
// sign-extended), so each code only splits its own.
struct Sq4IPPrepared {
  struct Block {
    __m256i lo;  // low nibbles minus 7
    __m256i hi;  // high nibbles, sign-extended
  };
  static Block Prepare(__m256i q, __m256i&) {
    const __m256i hi = _mm256_xor_si256(HighNibbles(q), Bytes(8));
    return {_mm256_sub_epi8(LowNibbles(q), Bytes(7)), _mm256_sub_epi8(hi, Bytes(8))};
  }
  static void Add(const Block& q, __m256i x, __m256i& a, __m256i&) {
    const __m256i terms = _mm256_add_epi16(_mm256_maddubs_epi16(LowNibbles(x), q.lo),
                                           _mm256_maddubs_epi16(HighNibbles(x), q.hi));
    a = _mm256_add_epi32(a, NegatedPairSums(terms));
  }
  static __m256i Distance(__m256i a, __m256i, __m256i) { return a; }
};

}  // namespace

TARVO_DEFINE_X86_KERNEL_TABLE(kAvx2Kernels, "avx2");

}  // namespace vexa
