// The reference kernels: plain C++ that states the arithmetic of every distance, component by
// component. The SIMD files must give exactly these bits.
#include <cmath>
#include <cstdint>

#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/batch16.h"
#include "engine/search/quant/kernels/half_difference.h"
#include "engine/search/quant/kernels/kernel_forms.h"
#include "engine/search/quant/kernels/kernel_table.h"

namespace vexa {
namespace {

// pairwise(L) = (L0 + L1) + (L2 + L3).
float Pairwise(const float lanes[4]) { return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]); }

// pairwise of the lane-wise ((A0 + A1) + A2) + A3 of four four-lane accumulators.
float Reduce(const float acc[4][4]) {
  float sum[4];
  for (int i = 0; i < 4; ++i) sum[i] = ((acc[0][i] + acc[1][i]) + acc[2][i]) + acc[3][i];
  return Pairwise(sum);
}

// Terms of float components: Rounded rounds the term before the caller adds it, Fused adds it to
// acc with a single rounding. Finish turns a sum into the distance.
struct FloatL2 {
  static float Rounded(float a, float b) {
    const float diff = a - b;
    return diff * diff;
  }
  static float Fused(float a, float b, float acc) {
    const float diff = a - b;
    return std::fma(diff, diff, acc);
  }
  static float Finish(float sum) { return sum; }
};

struct FloatIP {
  static float Rounded(float a, float b) { return a * b; }
  static float Fused(float a, float b, float acc) { return std::fma(a, b, acc); }
  static float Finish(float sum) { return -sum; }
};

// Terms of half-precision components, always fused into a float accumulator. The L2 difference
// is rounded to half precision (and may overflow to infinity) before it is squared.
struct HalfL2 {
  static float Fused(Half q, Half c, float acc) {
    const float diff = HalfToFloat(HalfDifference(q, c));
    return std::fma(diff, diff, acc);
  }
  static float Finish(float sum) { return sum; }
};

struct HalfIP {
  static float Fused(Half q, Half c, float acc) {
    return std::fma(HalfToFloat(q), HalfToFloat(c), acc);
  }
  static float Finish(float sum) { return -sum; }
};

// Four accumulators over whole blocks of 16 (A_g lane i takes component 16k + 4g + i, separately
// rounded), then a fifth over groups of four (fused), then single components (fused).
template <typename Term>
float Fp32Pair(const float* a, const float* b, int d) {
  const int m = WholeBlocks(d, 16);
  float acc[4][4] = {};
  for (int k = 0; k < m; k += 16) {
    for (int g = 0; g < 4; ++g) {
      for (int i = 0; i < 4; ++i) acc[g][i] += Term::Rounded(a[k + 4 * g + i], b[k + 4 * g + i]);
    }
  }
  const float main = m > 0 ? Reduce(acc) : 0.0f;

  const int end = d > m ? d : m;
  int j = m;
  float rest = 0.0f;
  if (end - m >= 4) {
    float tail[4] = {};
    for (; j + 4 <= end; j += 4) {
      for (int i = 0; i < 4; ++i) tail[i] = Term::Fused(a[j + i], b[j + i], tail[i]);
    }
    rest = Pairwise(tail);
  }
  for (; j < end; ++j) rest = Term::Fused(a[j], b[j], rest);
  return Term::Finish(main + rest);
}

// The pair function of a with each row in turn.
template <typename Term>
void Fp32Many(const float* a, const float* const* rows, int count, float* out, int d) {
  for (int i = 0; i < count; ++i) out[i] = Fp32Pair<Term>(a, rows[i], d);
}

// One four-lane accumulator per code; each block of 16 adds its groups of four in order,
// separately rounded.
template <typename Term>
void Fp32Four(const float* query, const float* c0, const float* c1, const float* c2,
              const float* c3, float out[4], int d) {
  const float* codes[4] = {c0, c1, c2, c3};
  const int m = WholeBlocks(d, 16);
  for (int c = 0; c < 4; ++c) {
    float acc[4] = {};
    for (int j = 0; j < m; j += 4) {
      for (int i = 0; i < 4; ++i) acc[i] += Term::Rounded(query[j + i], codes[c][j + i]);
    }
    out[c] = m > 0 ? Term::Finish(Pairwise(acc)) : 0.0f;
  }
}

// Blocks of 32: A_a lane i adds component 8a + i and then 8a + 4 + i.
template <typename Term>
float Fp16Single(const Half* query, const Half* code, int d) {
  const int m = WholeBlocks(d, 32);
  float acc[4][4] = {};
  for (int k = 0; k < m; k += 32) {
    for (int a = 0; a < 4; ++a) {
      const Half* q = query + k + 8 * a;
      const Half* c = code + k + 8 * a;
      for (int i = 0; i < 4; ++i) {
        acc[a][i] = Term::Fused(q[i], c[i], acc[a][i]);
        acc[a][i] = Term::Fused(q[4 + i], c[4 + i], acc[a][i]);
      }
    }
  }
  return m > 0 ? Term::Finish(Reduce(acc)) : 0.0f;
}

// One four-lane accumulator per code over steps of 8: lane i adds component i and then 4 + i.
template <typename Term>
void Fp16Four(const Half* query, const Half* c0, const Half* c1, const Half* c2, const Half* c3,
              float out[4], int d) {
  const Half* codes[4] = {c0, c1, c2, c3};
  const int m = WholeBlocks(d, 8);
  for (int c = 0; c < 4; ++c) {
    float acc[4] = {};
    for (int k = 0; k < m; k += 8) {
      for (int i = 0; i < 4; ++i) {
        acc[i] = Term::Fused(query[k + i], codes[c][k + i], acc[i]);
        acc[i] = Term::Fused(query[k + 4 + i], codes[c][k + 4 + i], acc[i]);
      }
    }
    out[c] = m > 0 ? Term::Finish(Pairwise(acc)) : 0.0f;
  }
}

// Exact terms of one code byte against one query byte.
struct Sq8L2 {
  using Byte = uint8_t;
  static constexpr int kComponentsPerByte = 1;
  static int32_t Term(uint8_t q, uint8_t x) { return (q - x) * (q - x); }
  static int32_t Finish(int32_t sum) { return sum; }
};

struct Sq8IP {
  using Byte = int8_t;
  static constexpr int kComponentsPerByte = 1;
  static int32_t Term(int8_t q, int8_t x) { return q * x; }
  static int32_t Finish(int32_t sum) { return -sum; }
};

struct Sq4L2 {
  using Byte = uint8_t;
  static constexpr int kComponentsPerByte = 2;
  static int32_t Term(uint8_t q, uint8_t x) {
    const int lo = (q & 15) - (x & 15);
    const int hi = (q >> 4) - (x >> 4);
    return lo * lo + hi * hi;
  }
  static int32_t Finish(int32_t sum) { return sum; }
};

// The query's low nibble reads as 0..15 minus 7, its high nibble as a signed nibble (-8..7);
// data nibbles are unsigned.
struct Sq4IP {
  using Byte = uint8_t;
  static constexpr int kComponentsPerByte = 2;
  static int32_t Term(uint8_t q, uint8_t x) {
    const int q_lo = (q & 15) - 7;
    const int q_hi = (q >> 4) >= 8 ? (q >> 4) - 16 : (q >> 4);
    return q_lo * (x & 15) + q_hi * (x >> 4);
  }
  static int32_t Finish(int32_t sum) { return -sum; }
};

// The exact sum over the whole blocks of `block` bytes of a code.
template <typename Code, int block>
int32_t CodeSum(const typename Code::Byte* query, const typename Code::Byte* code, int d) {
  const int bytes = WholeBlocks(CodeBytes<Code::kComponentsPerByte>(d), block);
  int32_t sum = 0;
  for (int j = 0; j < bytes; ++j) sum += Code::Term(query[j], code[j]);
  return Code::Finish(sum);
}

template <typename Code, int block>
void CodeSumFour(const typename Code::Byte* query, const typename Code::Byte* c0,
                 const typename Code::Byte* c1, const typename Code::Byte* c2,
                 const typename Code::Byte* c3, int32_t out[4], int d) {
  out[0] = CodeSum<Code, block>(query, c0, d);
  out[1] = CodeSum<Code, block>(query, c1, d);
  out[2] = CodeSum<Code, block>(query, c2, d);
  out[3] = CodeSum<Code, block>(query, c3, d);
}

// Single forms read blocks of 64 bytes, four-code forms blocks of 32, and the SQ8 IP batch steps
// of 16 bytes.
constexpr KernelTable MakeKernelTable() {
  KernelTable table{};
  table.name = "scalar";
  table.fp32_l2 = Fp32Pair<FloatL2>;
  table.fp32_ip = Fp32Pair<FloatIP>;
  table.fp32_l2_many = Fp32Many<FloatL2>;
  table.fp32_ip_many = Fp32Many<FloatIP>;
  table.fp32_l2_x4 = Fp32Four<FloatL2>;
  table.fp32_ip_x4 = Fp32Four<FloatIP>;
  table.fp32_l2_x16 = ByQuarters<float, float, float, Fp32Four<FloatL2>>;
  table.fp32_ip_x16 = ByQuarters<float, float, float, Fp32Four<FloatIP>>;
  table.fp16_l2 = Fp16Single<HalfL2>;
  table.fp16_ip = Fp16Single<HalfIP>;
  table.fp16_l2_x4 = Fp16Four<HalfL2>;
  table.fp16_ip_x4 = Fp16Four<HalfIP>;
  table.fp16_l2_x16 = ByQuarters<Half, Half, float, Fp16Four<HalfL2>>;
  table.fp16_ip_x16 = ByQuarters<Half, Half, float, Fp16Four<HalfIP>>;
  table.sq8_l2 = CodeSum<Sq8L2, 64>;
  table.sq8_l2_x4 = CodeSumFour<Sq8L2, 32>;
  table.sq8_l2_x16 = ByQuarters<uint8_t, uint8_t, int32_t, CodeSumFour<Sq8L2, 32>>;
  table.sq8_ip = CodeSum<Sq8IP, 64>;
  table.sq8_ip_x16 = ById<int8_t, int32_t, CodeSum<Sq8IP, 16>>;
  table.sq4_l2 = CodeSum<Sq4L2, 64>;
  table.sq4_l2_x4 = CodeSumFour<Sq4L2, 32>;
  table.sq4_l2_x16 = ByQuarters<uint8_t, uint8_t, int32_t, CodeSumFour<Sq4L2, 32>>;
  table.sq4_ip = CodeSum<Sq4IP, 64>;
  table.sq4_ip_x4 = CodeSumFour<Sq4IP, 32>;
  table.sq4_ip_x16 = ByQuarters<uint8_t, uint8_t, int32_t, CodeSumFour<Sq4IP, 32>>;
  return table;
}

}  // namespace

extern const KernelTable kScalarKernels = MakeKernelTable();

}  // namespace vexa
