// Advanced SIMD kernels for 64-bit Arm with half-precision arithmetic, the widening
// half-to-single multiply-add (FMLAL, FMLAL2) and the 8-bit dot products (SDOT, UDOT). The float
// kernels keep the reference's accumulator lanes and the order of every addition: a four-lane
// register is one accumulator. The FP16 L2 difference is a half-precision subtraction, and the
// widening multiply-adds round once per addition, as the reference does.
#include <arm_neon.h>

#include <cstdint>

#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/batch16.h"
#include "engine/search/quant/kernels/kernel_forms.h"
#include "engine/search/quant/kernels/kernel_table.h"

namespace vexa {
namespace {

// pairwise(L) = (L0 + L1) + (L2 + L3).
float Pairwise(float32x4_t lanes) {
  const float32x4_t pairs = vpaddq_f32(lanes, lanes);  // L0 + L1, L2 + L3, ...
  return vgetq_lane_f32(pairs, 0) + vgetq_lane_f32(pairs, 1);
}

// pairwise of the lane-wise ((A0 + A1) + A2) + A3.
float Reduce(const float32x4_t acc[4]) {
  return Pairwise(vaddq_f32(vaddq_f32(vaddq_f32(acc[0], acc[1]), acc[2]), acc[3]));
}

// Terms: Step adds kStep components to a four-lane accumulator (four separately rounded float
// terms; or eight half terms, lane i taking component i and then 4 + i, fused); the float terms
// also give the pair functions' fused remainder (FusedQuad, FusedOne; the builtin rather than
// std::fma, whose inline copy compiled here could be kept by the linker for the whole program).
struct FloatL2 {
  using Element = float;
  static constexpr int kStep = 4;
  static float32x4_t Step(float32x4_t acc, const float* a, const float* b) {
    const float32x4_t diff = vsubq_f32(vld1q_f32(a), vld1q_f32(b));
    return vaddq_f32(acc, vmulq_f32(diff, diff));
  }
  static float32x4_t FusedQuad(float32x4_t acc, const float* a, const float* b) {
    const float32x4_t diff = vsubq_f32(vld1q_f32(a), vld1q_f32(b));
    return vfmaq_f32(acc, diff, diff);
  }
  static float FusedOne(float a, float b, float acc) {
    const float diff = a - b;
    return __builtin_fmaf(diff, diff, acc);
  }
  static float Finish(float sum) { return sum; }
};

struct FloatIP {
  using Element = float;
  static constexpr int kStep = 4;
  static float32x4_t Step(float32x4_t acc, const float* a, const float* b) {
    return vaddq_f32(acc, vmulq_f32(vld1q_f32(a), vld1q_f32(b)));
  }
  static float32x4_t FusedQuad(float32x4_t acc, const float* a, const float* b) {
    return vfmaq_f32(acc, vld1q_f32(a), vld1q_f32(b));
  }
  static float FusedOne(float a, float b, float acc) { return __builtin_fmaf(a, b, acc); }
  static float Finish(float sum) { return -sum; }
};

float16x8_t LoadHalves(const Half* p) { return vreinterpretq_f16_u16(vld1q_u16(p)); }

struct HalfL2 {
  using Element = Half;
  static constexpr int kStep = 8;
  static float32x4_t Step(float32x4_t acc, const Half* q, const Half* c) {
    const float16x8_t diff = vsubq_f16(LoadHalves(q), LoadHalves(c));
    return vfmlalq_high_f16(vfmlalq_low_f16(acc, diff, diff), diff, diff);
  }
  static float Finish(float sum) { return sum; }
};

struct HalfIP {
  using Element = Half;
  static constexpr int kStep = 8;
  static float32x4_t Step(float32x4_t acc, const Half* q, const Half* c) {
    const float16x8_t a = LoadHalves(q), b = LoadHalves(c);
    return vfmlalq_high_f16(vfmlalq_low_f16(acc, a, b), a, b);
  }
  static float Finish(float sum) { return -sum; }
};

// Blocks of 16: A_g takes the block's group g; then the fused remainder.
template <typename T>
struct Fp32Blocks {
  using Term = T;
  struct Acc {
    float32x4_t g[4];  // A0 to A3
  };
  static Acc Zero() { return {{vdupq_n_f32(0.0f), vdupq_n_f32(0.0f), vdupq_n_f32(0.0f), vdupq_n_f32(0.0f)}}; }
  static void Add(Acc& acc, const float* a, const float* b) {
    for (int g = 0; g < 4; ++g) acc.g[g] = Term::Step(acc.g[g], a + 4 * g, b + 4 * g);
  }
  static float Main(const Acc& acc) { return Reduce(acc.g); }
  static float Rest(const float* a, const float* b, int m, int d) {
    const int end = d > m ? d : m;
    int j = m;
    float rest = 0.0f;
    if (end - m >= 4) {
      float32x4_t tail = vdupq_n_f32(0.0f);
      for (; j + 4 <= end; j += 4) tail = Term::FusedQuad(tail, a + j, b + j);
      rest = Pairwise(tail);
    }
    for (; j < end; ++j) rest = Term::FusedOne(a[j], b[j], rest);
    return rest;
  }
};

// Half blocks of 32: A_a takes components 8a to 8a + 7.
template <typename Term>
float Fp16Single(const Half* query, const Half* code, int d) {
  const int m = WholeBlocks(d, 32);
  float32x4_t acc[4] = {vdupq_n_f32(0.0f), vdupq_n_f32(0.0f), vdupq_n_f32(0.0f), vdupq_n_f32(0.0f)};
  for (int k = 0; k < m; k += 32) {
    for (int a = 0; a < 4; ++a) acc[a] = Term::Step(acc[a], query + k + 8 * a, code + k + 8 * a);
  }
  return m > 0 ? Term::Finish(Reduce(acc)) : 0.0f;
}

// One four-lane accumulator per code over the first `covered` components; all 4 kQuads codes run
// side by side.
template <typename Term>
struct Chains {
  using Element = typename Term::Element;

  template <int kQuads>
  static void Run(const Element* query, const Element* const codes[4 * kQuads],
                  float out[4 * kQuads], int covered) {
    float32x4_t acc[4 * kQuads];
    for (float32x4_t& a : acc) a = vdupq_n_f32(0.0f);
    for (int k = 0; k < covered; k += Term::kStep) {
      for (int c = 0; c < 4 * kQuads; ++c) acc[c] = Term::Step(acc[c], query + k, codes[c] + k);
    }
    for (int c = 0; c < 4 * kQuads; ++c) {
      out[c] = covered > 0 ? Term::Finish(Pairwise(acc[c])) : 0.0f;
    }
  }
};

// ---- Integer kernels: Add folds 16 code bytes against 16 query bytes into a 32-bit
// accumulator with the dot-product instructions; Finish turns it into the distance. ----

uint8x16_t LowNibbles(uint8x16_t v) { return vandq_u8(v, vdupq_n_u8(0x0f)); }

struct Sq8L2 {
  static uint32x4_t Add(uint32x4_t acc, uint8x16_t q, uint8x16_t x) {
    const uint8x16_t diff = vabdq_u8(q, x);
    return vdotq_u32(acc, diff, diff);
  }
  static int32_t Finish(uint32x4_t acc) { return static_cast<int32_t>(vaddvq_u32(acc)); }
};

struct Sq8IP {
  static uint32x4_t Add(uint32x4_t acc, uint8x16_t q, uint8x16_t x) {
    return vreinterpretq_u32_s32(
        vdotq_s32(vreinterpretq_s32_u32(acc), vreinterpretq_s8_u8(q), vreinterpretq_s8_u8(x)));
  }
  static int32_t Finish(uint32x4_t acc) { return -vaddvq_s32(vreinterpretq_s32_u32(acc)); }
};

struct Sq4L2 {
  static uint32x4_t Add(uint32x4_t acc, uint8x16_t q, uint8x16_t x) {
    const uint8x16_t lo = vabdq_u8(LowNibbles(q), LowNibbles(x));
    const uint8x16_t hi = vabdq_u8(vshrq_n_u8(q, 4), vshrq_n_u8(x, 4));
    return vdotq_u32(vdotq_u32(acc, lo, lo), hi, hi);
  }
  static int32_t Finish(uint32x4_t acc) { return static_cast<int32_t>(vaddvq_u32(acc)); }
};

// The query's low nibble minus 7 and its high nibble as a signed nibble (an arithmetic shift),
// times the data's unsigned nibbles.
struct Sq4IP {
  static uint32x4_t Add(uint32x4_t acc, uint8x16_t q, uint8x16_t x) {
    const int8x16_t q_lo = vsubq_s8(vreinterpretq_s8_u8(LowNibbles(q)), vdupq_n_s8(7));
    const int8x16_t q_hi = vshrq_n_s8(vreinterpretq_s8_u8(q), 4);
    int32x4_t sum = vreinterpretq_s32_u32(acc);
    sum = vdotq_s32(sum, q_lo, vreinterpretq_s8_u8(LowNibbles(x)));
    sum = vdotq_s32(sum, q_hi, vreinterpretq_s8_u8(vshrq_n_u8(x, 4)));
    return vreinterpretq_u32_s32(sum);
  }
  static int32_t Finish(uint32x4_t acc) { return -vaddvq_s32(vreinterpretq_s32_u32(acc)); }
};

// The exact sums of kCodes codes over their first `bytes` bytes (a multiple of 16).
template <typename Code>
struct Sums {
  template <int kCodes>
  static void Run(const uint8_t* query, const uint8_t* const codes[kCodes], int32_t out[kCodes],
                  int bytes) {
    uint32x4_t acc[kCodes];
    for (uint32x4_t& a : acc) a = vdupq_n_u32(0);
    for (int j = 0; j < bytes; j += 16) {
      const uint8x16_t q = vld1q_u8(query + j);
      for (int c = 0; c < kCodes; ++c) acc[c] = Code::Add(acc[c], q, vld1q_u8(codes[c] + j));
    }
    for (int c = 0; c < kCodes; ++c) out[c] = Code::Finish(acc[c]);
  }
};

// Single integer forms read blocks of 64 bytes, four-code forms blocks of 32 and the SQ8 IP batch
// steps of 16.
constexpr KernelTable MakeKernelTable() {
  KernelTable table{};
  table.name = "neon";
  TARVO_SET_SIMD_FLOAT_KERNELS(table);
  table.sq8_l2 = CodeSingle<Sums<Sq8L2>, 1, 64, uint8_t>;
  table.sq8_l2_x4 = CodeFour<Sums<Sq8L2>, 1>;
  table.sq8_l2_x16 = ByQuarters<uint8_t, uint8_t, int32_t, CodeFour<Sums<Sq8L2>, 1>>;
  table.sq8_ip = CodeSingle<Sums<Sq8IP>, 1, 64, int8_t>;
  table.sq8_ip_x16 = ById<int8_t, int32_t, CodeSingle<Sums<Sq8IP>, 1, 16, int8_t>>;
  table.sq4_l2 = CodeSingle<Sums<Sq4L2>, 2, 64, uint8_t>;
  table.sq4_l2_x4 = CodeFour<Sums<Sq4L2>, 2>;
  table.sq4_l2_x16 = ByQuarters<uint8_t, uint8_t, int32_t, CodeFour<Sums<Sq4L2>, 2>>;
  table.sq4_ip = CodeSingle<Sums<Sq4IP>, 2, 64, uint8_t>;
  table.sq4_ip_x4 = CodeFour<Sums<Sq4IP>, 2>;
  table.sq4_ip_x16 = ByQuarters<uint8_t, uint8_t, int32_t, CodeFour<Sums<Sq4IP>, 2>>;
  return table;
}

}  // namespace

extern const KernelTable kNeonKernels = MakeKernelTable();

}  // namespace vexa
