// AVX2 + FMA + F16C kernels. The float kernels keep the reference's accumulator lanes and the
// order of every addition; only independent codes share registers. The integer kernels are
// exact, so they sum in whatever order suits the instructions.
#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "engine/search/half.h"
#include "engine/search/kernels/batch16.h"
#include "engine/search/kernels/kernel_table.h"

namespace vexa {
namespace {

int WholeBlocks(int count, int block) { return count >= block ? count / block * block : 0; }

// pairwise(L) = (L0 + L1) + (L2 + L3).
float Pairwise(__m128 lanes) {
  const __m128 pairs = _mm_add_ps(lanes, _mm_movehdup_ps(lanes));  // L0 + L1, ., L2 + L3, .
  return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_movehl_ps(pairs, pairs)));
}

__m128 Low(__m256 v) { return _mm256_castps256_ps128(v); }
__m128 High(__m256 v) { return _mm256_extractf128_ps(v, 1); }

// Float terms: Rounded gives eight separately rounded terms, Fused adds four terms to acc with
// one rounding each, FusedOne a single one.
struct FloatL2 {
  using Element = float;
  static __m256 Rounded(const float* a, const float* b) {
    const __m256 diff = _mm256_sub_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b));
    return _mm256_mul_ps(diff, diff);
  }
  static __m128 Fused(const float* a, const float* b, __m128 acc) {
    const __m128 diff = _mm_sub_ps(_mm_loadu_ps(a), _mm_loadu_ps(b));
    return _mm_fmadd_ps(diff, diff, acc);
  }
  static float FusedOne(float a, float b, float acc) {
    const float diff = a - b;
    return std::fma(diff, diff, acc);
  }
  static float Finish(float sum) { return sum; }
};

struct FloatIP {
  using Element = float;
  static __m256 Rounded(const float* a, const float* b) {
    return _mm256_mul_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b));
  }
  static __m128 Fused(const float* a, const float* b, __m128 acc) {
    return _mm_fmadd_ps(_mm_loadu_ps(a), _mm_loadu_ps(b), acc);
  }
  static float FusedOne(float a, float b, float acc) { return std::fma(a, b, acc); }
  static float Finish(float sum) { return -sum; }
};

// Half terms give eight exact single-precision products (a product of two halves always fits),
// so adding them with one rounding is the fused addition of the reference. The L2 difference is
// rounded to half precision first: the float difference of two halves rounded to half is the
// correctly rounded half difference (see half_difference.h), and the conversion takes its
// rounding from the instruction, not from the thread's mode.
__m256 LoadHalves(const Half* p) {
  return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

struct HalfL2 {
  using Element = Half;
  static __m256 Rounded(const Half* q, const Half* c) {
    const __m256 diff = _mm256_sub_ps(LoadHalves(q), LoadHalves(c));
    const __m256 half = _mm256_cvtph_ps(_mm256_cvtps_ph(diff, _MM_FROUND_TO_NEAREST_INT));
    return _mm256_mul_ps(half, half);
  }
  static float Finish(float sum) { return sum; }
};

struct HalfIP {
  using Element = Half;
  static __m256 Rounded(const Half* q, const Half* c) {
    return _mm256_mul_ps(LoadHalves(q), LoadHalves(c));
  }
  static float Finish(float sum) { return -sum; }
};

// pairwise of the lane-wise ((A0 + A1) + A2) + A3, with A0 | A1 in `first`, A2 | A3 in `second`.
float Reduce(__m256 first, __m256 second) {
  const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(Low(first), High(first)), Low(second)),
                                High(second));
  return Pairwise(sum);
}

template <typename Term>
float Fp32Pair(const float* a, const float* b, int d) {
  const int m = WholeBlocks(d, 16);
  __m256 first = _mm256_setzero_ps();   // A0 | A1
  __m256 second = _mm256_setzero_ps();  // A2 | A3
  for (int k = 0; k < m; k += 16) {
    first = _mm256_add_ps(first, Term::Rounded(a + k, b + k));
    second = _mm256_add_ps(second, Term::Rounded(a + k + 8, b + k + 8));
  }
  const float main = m > 0 ? Reduce(first, second) : 0.0f;

  const int end = d > m ? d : m;
  int j = m;
  float rest = 0.0f;
  if (end - m >= 4) {
    __m128 tail = _mm_setzero_ps();
    for (; j + 4 <= end; j += 4) tail = Term::Fused(a + j, b + j, tail);
    rest = Pairwise(tail);
  }
  for (; j < end; ++j) rest = Term::FusedOne(a[j], b[j], rest);
  return Term::Finish(main + rest);
}

// Half blocks of 32: A_a lane i takes component 8a + i, then 8a + 4 + i.
template <typename Term>
float Fp16Single(const Half* query, const Half* code, int d) {
  const int m = WholeBlocks(d, 32);
  __m256 first = _mm256_setzero_ps();   // A0 | A1
  __m256 second = _mm256_setzero_ps();  // A2 | A3
  for (int k = 0; k < m; k += 32) {
    const __m256 p0 = Term::Rounded(query + k, code + k);
    const __m256 p1 = Term::Rounded(query + k + 8, code + k + 8);
    const __m256 p2 = Term::Rounded(query + k + 16, code + k + 16);
    const __m256 p3 = Term::Rounded(query + k + 24, code + k + 24);
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
template <typename Term, int kQuads>
void GroupChains(const typename Term::Element* query,
                 const typename Term::Element* const codes[4 * kQuads], float out[4 * kQuads],
                 int covered) {
  __m256 acc[2 * kQuads];
  for (__m256& a : acc) a = _mm256_setzero_ps();
  for (int k = 0; k < covered; k += 8) {
    for (int p = 0; p < 2 * kQuads; ++p) {
      const __m256 e0 = Term::Rounded(query + k, codes[2 * p] + k);      // groups g, g + 1
      const __m256 e1 = Term::Rounded(query + k, codes[2 * p + 1] + k);
      acc[p] = _mm256_add_ps(acc[p], _mm256_permute2f128_ps(e0, e1, 0x20));
      acc[p] = _mm256_add_ps(acc[p], _mm256_permute2f128_ps(e0, e1, 0x31));
    }
  }
  for (int p = 0; p < 2 * kQuads; ++p) {
    out[2 * p] = covered > 0 ? Term::Finish(Pairwise(Low(acc[p]))) : 0.0f;
    out[2 * p + 1] = covered > 0 ? Term::Finish(Pairwise(High(acc[p]))) : 0.0f;
  }
}

// FP32 four-code forms cover whole blocks of 16, FP16 ones steps of 8.
template <typename Term>
constexpr int kGroupBlock = sizeof(typename Term::Element) == 4 ? 16 : 8;

template <typename Term>
void Four(const typename Term::Element* query, const typename Term::Element* c0,
          const typename Term::Element* c1, const typename Term::Element* c2,
          const typename Term::Element* c3, float out[4], int d) {
  const typename Term::Element* codes[4] = {c0, c1, c2, c3};
  GroupChains<Term, 1>(query, codes, out, WholeBlocks(d, kGroupBlock<Term>));
}

template <typename Term>
void Sixteen(const typename Term::Element* query, const uint8_t* codes, uint64_t code_size,
             const int32_t ids[16], float out[16], int d) {
  using Element = typename Term::Element;
  const Element* batch[16];
  for (int i = 0; i < 16; ++i) batch[i] = CodeOf<Element>(codes, code_size, ids[i]);
  GroupChains<Term, 4>(query, batch, out, WholeBlocks(d, kGroupBlock<Term>));
}

// ---- Integer kernels ----

__m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

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

// The exact sums of kCodes codes over the first `bytes` bytes (a multiple of 32).
template <typename Code, int kCodes>
void CodeSums(const uint8_t* query, const uint8_t* const codes[kCodes], int32_t out[kCodes],
              int bytes) {
  __m256i acc[kCodes];
  for (__m256i& a : acc) a = _mm256_setzero_si256();
  for (int j = 0; j < bytes; j += 32) {
    const __m256i q = Load(query + j);
    for (int c = 0; c < kCodes; ++c) acc[c] = _mm256_add_epi32(acc[c], Code::Block(q, Load(codes[c] + j)));
  }
  for (int c = 0; c < kCodes; ++c) out[c] = Code::Finish(SumLanes(acc[c]));
}

template <int kComponentsPerByte>
int CodeBytes(int d) {
  return d > 0 ? d / kComponentsPerByte + (d % kComponentsPerByte != 0 ? 1 : 0) : 0;
}

// Single forms read blocks of 64 bytes, four-code forms blocks of 32.
template <typename Code, int kComponentsPerByte, typename Byte>
int32_t CodeSingle(const Byte* query, const Byte* code, int d) {
  const uint8_t* codes[1] = {reinterpret_cast<const uint8_t*>(code)};
  int32_t out[1];
  CodeSums<Code, 1>(reinterpret_cast<const uint8_t*>(query), codes, out,
                    WholeBlocks(CodeBytes<kComponentsPerByte>(d), 64));
  return out[0];
}

template <typename Code, int kComponentsPerByte>
void CodeFour(const uint8_t* query, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
              const uint8_t* c3, int32_t out[4], int d) {
  const uint8_t* codes[4] = {c0, c1, c2, c3};
  CodeSums<Code, 4>(query, codes, out, WholeBlocks(CodeBytes<kComponentsPerByte>(d), 32));
}

// The SQ8 IP batch steps through 16 bytes at a time.
int32_t Sq8IPSteps(const int8_t* query, const int8_t* code, int d) {
  const int bytes = WholeBlocks(d, 16);
  __m256i acc = _mm256_setzero_si256();
  for (int j = 0; j < bytes; j += 16) {
    const __m256i q = _mm256_cvtepi8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(query + j)));
    const __m256i x = _mm256_cvtepi8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(code + j)));
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(q, x));
  }
  return -SumLanes(acc);
}

}  // namespace

extern const KernelTable kAvx2Kernels = {
    "avx2",
    Fp32Pair<FloatL2>,
    Fp32Pair<FloatIP>,
    Four<FloatL2>,
    Four<FloatIP>,
    Sixteen<FloatL2>,
    Sixteen<FloatIP>,
    Fp16Single<HalfL2>,
    Fp16Single<HalfIP>,
    Four<HalfL2>,
    Four<HalfIP>,
    Sixteen<HalfL2>,
    Sixteen<HalfIP>,
    CodeSingle<Sq8L2, 1, uint8_t>,
    CodeFour<Sq8L2, 1>,
    ByQuarters<uint8_t, uint8_t, int32_t, CodeFour<Sq8L2, 1>>,
    CodeSingle<Sq8IP, 1, int8_t>,
    ById<int8_t, int32_t, Sq8IPSteps>,
    CodeSingle<Sq4L2, 2, uint8_t>,
    CodeFour<Sq4L2, 2>,
    ByQuarters<uint8_t, uint8_t, int32_t, CodeFour<Sq4L2, 2>>,
    CodeSingle<Sq4IP, 2, uint8_t>,
    CodeFour<Sq4IP, 2>,
    ByQuarters<uint8_t, uint8_t, int32_t, CodeFour<Sq4IP, 2>>,
};

}  // namespace vexa
