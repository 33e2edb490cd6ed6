// Worked examples of the distance kernels, checked on every kernel table this processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/search/quant/distance.h"
#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/kernel_table.h"
#include "tests/search/quant/kernels_test_support.h"

namespace vexa {
namespace {

using testing::AvailableTables;
using testing::Bits;

// 1 + 2^-12, whose square 1 + 2^-11 + 2^-24 is not a float: a fused step keeps the last term.
const float kT = 1.0f + std::ldexp(1.0f, -12);

float Pow2(int e) { return std::ldexp(1.0f, e); }

struct PairCase {
  const char* what;
  bool inner_product;
  std::vector<float> a;
  std::vector<float> b;
  float expected;
};

TEST(KernelExamples, Fp32PairFunctions) {
  const std::vector<PairCase> cases = {
      {"d=0 L2 is +0", false, {}, {}, 0.0f},
      {"d=0 IP is -0", true, {}, {}, -0.0f},
      // Single fused steps only: 2^-30, then t^2 fused onto it keeps the 2^-23.
      {"d=3 fused singles", false, {Pow2(-15), kT, 0.0f}, {0, 0, 0}, 1.0f + Pow2(-11) + Pow2(-23)},
      {"d=3 IP fused singles", true, {-1.0f, kT, 0.0f}, {1.0f, kT, 0.0f},
       -(Pow2(-11) + Pow2(-24))},
      // One group of four in lanes: pairwise (1 + 0) + (2^-24 + 2^-24) keeps 2^-23; then one
      // fused single: t^2 onto 1 + 2^-23.
      {"d=5 group and single", false, {1.0f, 0.0f, Pow2(-12), Pow2(-12), kT}, {0, 0, 0, 0, 0},
       2.0f + Pow2(-11) + Pow2(-22)},
      // One block: lane 0 sums ((1 + 0) + 2^-24) + 2^-24 = 1; the group of four gives 2^-23.
      {"d=21 block, group, single", false,
       {1, 0, 0, 0, 0, 0, 0, 0, Pow2(-12), 0, 0, 0, Pow2(-12), 0, 0, 0, Pow2(-12), Pow2(-12), 0, 0,
        0},
       std::vector<float>(21, 0.0f), 1.0f + Pow2(-23)},
  };
  for (const KernelTable* table : AvailableTables()) {
    for (const PairCase& c : cases) {
      const int d = static_cast<int>(c.a.size());
      const float got = c.inner_product ? table->fp32_ip(c.a.data(), c.b.data(), d)
                                        : table->fp32_l2(c.a.data(), c.b.data(), d);
      EXPECT_EQ(Bits(got), Bits(c.expected)) << table->name << ": " << c.what << " gave " << got;
    }
  }
}

TEST(KernelExamples, Fp32FourCodeFormEqualsSingleAtOneBlock) {
  std::vector<float> query(16), code(16);
  for (int j = 0; j < 16; ++j) {
    query[j] = std::sin(1.0f + j) * 3.0f;
    code[j] = std::cos(2.0f * j) / 7.0f;
  }
  for (const KernelTable* table : AvailableTables()) {
    float l2[4], ip[4];
    const float* c = code.data();
    table->fp32_l2_x4(query.data(), c, c, c, c, l2, 16);
    table->fp32_ip_x4(query.data(), c, c, c, c, ip, 16);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(Bits(l2[k]), Bits(table->fp32_l2(query.data(), c, 16))) << table->name;
      EXPECT_EQ(Bits(ip[k]), Bits(table->fp32_ip(query.data(), c, 16))) << table->name;
    }
    table->fp32_ip_x4(query.data(), c, c, c, c, ip, 15);  // no whole block: +0 for IP too
    EXPECT_EQ(Bits(ip[0]), Bits(0.0f)) << table->name;
  }
}

// Where the forms group their additions apart. Lane 0 alone holds terms: 1 at component 0 and
// 2^-24 at two later components. The single forms add those two in one accumulator (2^-23, which
// survives the final sum with 1); the four-code and batch forms add each onto 1, where it is lost.
TEST(KernelExamples, SingleAndFourCodeFormsGroupTheirAdditionsApart) {
  const Half kOne = 0x3c00, kTwoToMinus12 = 0x0c00;
  // FP32 single at d = 32: components 4 and 20 fall into the same accumulator A1.
  std::vector<float> fp32_query(32, 0.0f), fp32_code(32, 0.0f);
  fp32_query[0] = 1.0f;
  fp32_query[4] = fp32_query[20] = Pow2(-12);
  // FP16 single at d = 32: components 8 and 12 both go to lane 0 of A1.
  std::vector<Half> fp16_query(32, 0), fp16_code(32, 0);
  fp16_query[0] = fp16_code[0] = kOne;
  fp16_query[8] = fp16_code[8] = kTwoToMinus12;
  fp16_query[12] = fp16_code[12] = kTwoToMinus12;
  const std::vector<Half> fp16_zero(32, 0);
  const float grouped = 1.0f + Pow2(-23);
  // The batches name code 0 sixteen times: all zero, or the FP16 code above.
  const std::vector<uint8_t> fp32_zero_codes(4 * 32, 0), fp16_zero_codes(2 * 32, 0);
  std::vector<uint8_t> fp16_codes(2 * 32);
  std::memcpy(fp16_codes.data(), fp16_code.data(), fp16_codes.size());
  const int32_t ids[16] = {};

  for (const KernelTable* table : AvailableTables()) {
    SCOPED_TRACE(table->name);
    const float* z = fp32_code.data();
    float four[4], batch[16];
    EXPECT_EQ(Bits(table->fp32_l2(fp32_query.data(), z, 32)), Bits(grouped));
    table->fp32_l2_x4(fp32_query.data(), z, z, z, z, four, 32);
    EXPECT_EQ(Bits(four[0]), Bits(1.0f));
    table->fp32_l2_x16(fp32_query.data(), fp32_zero_codes.data(), 4 * 32, ids, batch, 32);
    EXPECT_EQ(Bits(batch[15]), Bits(1.0f));

    const Half* h = fp16_code.data();
    EXPECT_EQ(Bits(table->fp16_ip(fp16_query.data(), h, 32)), Bits(-grouped));
    table->fp16_ip_x4(fp16_query.data(), h, h, h, h, four, 32);
    EXPECT_EQ(Bits(four[2]), Bits(-1.0f));
    table->fp16_ip_x16(fp16_query.data(), fp16_codes.data(), 64, ids, batch, 32);
    EXPECT_EQ(Bits(batch[7]), Bits(-1.0f));

    const Half* hz = fp16_zero.data();
    EXPECT_EQ(Bits(table->fp16_l2(fp16_query.data(), hz, 32)), Bits(grouped));
    table->fp16_l2_x4(fp16_query.data(), hz, hz, hz, hz, four, 32);
    EXPECT_EQ(Bits(four[1]), Bits(1.0f));
    table->fp16_l2_x16(fp16_query.data(), fp16_zero_codes.data(), 64, ids, batch, 32);
    EXPECT_EQ(Bits(batch[0]), Bits(1.0f));
  }
}

TEST(KernelExamples, Fp16DifferenceOverflowsToInfinity) {
  std::vector<Half> query(32, 0), code(32, 0);
  query[0] = 0x7bff;  // 65504, the largest finite half
  code[0] = 0xfbff;   // -65504
  for (const KernelTable* table : AvailableTables()) {
    EXPECT_EQ(table->fp16_l2(query.data(), code.data(), 32), std::numeric_limits<float>::infinity())
        << table->name;
    float out[4];
    const Half* c = code.data();
    table->fp16_l2_x4(query.data(), c, c, c, c, out, 32);
    EXPECT_EQ(out[3], std::numeric_limits<float>::infinity()) << table->name;
    // The same values multiply to a finite float.
    EXPECT_EQ(table->fp16_ip(query.data(), code.data(), 32), 65504.0f * 65504.0f) << table->name;
  }
}

struct IntegerCase {
  const char* what;
  int32_t (*kernel)(const KernelTable&, const uint8_t* query, const uint8_t* code, int d);
  int d;
  std::vector<uint8_t> query_prefix;  // the rest of the code is zero
  std::vector<uint8_t> code_prefix;
  int32_t expected;
};

int32_t Sq8L2(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  return t.sq8_l2(q, c, d);
}
int32_t Sq8IP(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  return t.sq8_ip(reinterpret_cast<const int8_t*>(q), reinterpret_cast<const int8_t*>(c), d);
}
int32_t Sq4L2(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  return t.sq4_l2(q, c, d);
}
int32_t Sq4IP(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  return t.sq4_ip(q, c, d);
}
// The four-code forms, checked on the last of their four outputs.
int32_t Sq8L2x4(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  std::vector<uint8_t> zero(d, 0);
  int32_t out[4];
  t.sq8_l2_x4(q, zero.data(), zero.data(), zero.data(), c, out, d);
  return out[3];
}
int32_t Sq4L2x4(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  std::vector<uint8_t> zero(d, 0);
  int32_t out[4];
  t.sq4_l2_x4(q, zero.data(), zero.data(), zero.data(), c, out, d);
  return out[3];
}
int32_t Sq4IPx4(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  std::vector<uint8_t> zero(d, 0);
  int32_t out[4];
  t.sq4_ip_x4(q, zero.data(), zero.data(), zero.data(), c, out, d);
  return out[3];
}

int32_t Sq8IPx16(const KernelTable& t, const uint8_t* q, const uint8_t* c, int d) {
  const int32_t ids[16] = {};  // every id names code 0
  int32_t out[16];
  t.sq8_ip_x16(reinterpret_cast<const int8_t*>(q), c, d, ids, out, d);
  return out[15];
}

// Runs every case on every kernel table.
void RunIntegerCases(const std::vector<IntegerCase>& cases) {
  for (const KernelTable* table : AvailableTables()) {
    for (const IntegerCase& c : cases) {
      // Room for every byte given, whether or not the kernel reads it.
      const size_t bytes = std::max({static_cast<size_t>(c.d), c.query_prefix.size(), c.code_prefix.size()});
      std::vector<uint8_t> query(bytes, 0), code(bytes, 0);
      std::copy(c.query_prefix.begin(), c.query_prefix.end(), query.begin());
      std::copy(c.code_prefix.begin(), c.code_prefix.end(), code.begin());
      EXPECT_EQ(c.kernel(*table, query.data(), code.data(), c.d), c.expected)
          << table->name << ": " << c.what;
    }
  }
}

TEST(KernelExamples, IntegerKernels) {
  const std::vector<uint8_t> all_0x11(64, 0x11);
  const std::vector<IntegerCase> cases = {
      {"SQ8 L2 255 against 0", Sq8L2, 64, {255}, {0}, 255 * 255},
      {"SQ8 L2x4 255 against 0", Sq8L2x4, 64, {255}, {0}, 255 * 255},
      {"SQ8 IP 127 against -126", Sq8IP, 64, {127}, {static_cast<uint8_t>(-126)}, 127 * 126},
      {"SQ4 L2 0x21 against 0x12", Sq4L2, 128, {0x21}, {0x12}, 2},
      {"SQ4 L2x4 0x21 against 0x12", Sq4L2x4, 128, {0x21}, {0x12}, 2},
      // The query's low nibble 15 reads 8, its high nibble 0 reads 0 (zero padding reads -7 x 0).
      {"SQ4 IP 0x0F against 0xFF", Sq4IP, 128, {0x0f}, {0xff}, -120},
      {"SQ4 IP 0x0F against 0xF0", Sq4IP, 128, {0x0f}, {0xf0}, 0},
      {"SQ4 IP 0xF0 against 0x0F", Sq4IP, 128, {0xf0}, {0x0f}, 105},
      {"SQ4 IPx4 0xF0 against 0x0F", Sq4IPx4, 128, {0xf0}, {0x0f}, 105},
      {"SQ4 IP zero query against 0x11", Sq4IP, 128, {}, all_0x11, 448},
      {"SQ4 IPx4 zero query against 0x11", Sq4IPx4, 128, {}, all_0x11, 448},
  };
  RunIntegerCases(cases);
}

// Each form reads whole blocks only: single forms 64 bytes, four-code forms 32, the SQ8 IP batch
// 16, of the ceil(d / 2) bytes of an SQ4 code. Every byte given here counts when it is read.
TEST(KernelExamples, IntegerKernelsReadWholeBlocksOnly) {
  const std::vector<uint8_t> ones(127, 1), all_0x11(127, 0x11);
  const std::vector<IntegerCase> cases = {
      {"SQ8 L2 d=63", Sq8L2, 63, ones, {}, 0},
      {"SQ8 L2 d=127", Sq8L2, 127, ones, {}, 64},
      {"SQ8 L2x4 d=31", Sq8L2x4, 31, ones, {}, 0},
      {"SQ8 L2x4 d=63", Sq8L2x4, 63, ones, {}, 32},
      {"SQ8 IP d=63", Sq8IP, 63, ones, ones, 0},
      {"SQ8 IP d=127", Sq8IP, 127, ones, ones, -64},
      {"SQ8 IP batch d=15", Sq8IPx16, 15, ones, ones, 0},
      {"SQ8 IP batch d=31", Sq8IPx16, 31, ones, ones, -16},
      {"SQ4 L2 d=126", Sq4L2, 126, all_0x11, {}, 0},
      {"SQ4 L2 d=127", Sq4L2, 127, all_0x11, {}, 64 * 2},
      {"SQ4 L2x4 d=62", Sq4L2x4, 62, all_0x11, {}, 0},
      {"SQ4 L2x4 d=63", Sq4L2x4, 63, all_0x11, {}, 32 * 2},
      {"SQ4 IP d=126", Sq4IP, 126, {}, all_0x11, 0},
      {"SQ4 IP d=127", Sq4IP, 127, {}, all_0x11, 64 * 7},
      {"SQ4 IPx4 d=62", Sq4IPx4, 62, {}, all_0x11, 0},
      {"SQ4 IPx4 d=63", Sq4IPx4, 63, {}, all_0x11, 32 * 7},
  };
  RunIntegerCases(cases);
}

// The float forms without a whole block give +0.0, for inner product too.
TEST(KernelExamples, FloatFormsWithoutAWholeBlockGivePlusZero) {
  const std::vector<float> floats(16, 1.5f);
  const std::vector<Half> halves(8, 0x3e00);  // 1.5
  const auto* float_codes = reinterpret_cast<const uint8_t*>(floats.data());
  const auto* half_codes = reinterpret_cast<const uint8_t*>(halves.data());
  const int32_t ids[16] = {};
  for (const KernelTable* table : AvailableTables()) {
    SCOPED_TRACE(table->name);
    const Half* h = halves.data();
    float out[16];
    table->fp32_ip_x16(floats.data(), float_codes, 64, ids, out, 15);
    EXPECT_EQ(Bits(out[0]), Bits(0.0f));
    EXPECT_EQ(Bits(table->fp16_ip(h, h, 0)), Bits(0.0f));
    table->fp16_ip_x4(h, h, h, h, h, out, 7);
    EXPECT_EQ(Bits(out[3]), Bits(0.0f));
    table->fp16_ip_x16(h, half_codes, 16, ids, out, 7);
    EXPECT_EQ(Bits(out[9]), Bits(0.0f));
    table->fp16_ip_x4(h, h, h, h, h, out, 8);  // one step: the sign shows
    EXPECT_EQ(out[0], -8 * 2.25f);
  }
}

// The largest sums at the largest padded lengths (dimension 2999) stay exact.
TEST(KernelExamples, IntegerKernelsDoNotOverflowAtTheLargestDimension) {
  const int sq8_d = 3008, sq4_d = 3072;
  const std::vector<uint8_t> ones8(sq8_d, 0xff), zeros8(sq8_d, 0x00), minus128(sq8_d, 0x80);
  const std::vector<uint8_t> ones4(sq4_d / 2, 0xff), zeros4(sq4_d / 2, 0x00);
  const std::vector<uint8_t> q_top(sq4_d / 2, 0x7f);     // low reads 8, high reads 7
  const std::vector<uint8_t> q_bottom(sq4_d / 2, 0x80);  // low reads -7, high reads -8
  const auto* m128 = reinterpret_cast<const int8_t*>(minus128.data());
  for (const KernelTable* table : AvailableTables()) {
    int32_t out[4];
    EXPECT_EQ(table->sq8_l2(ones8.data(), zeros8.data(), sq8_d), 3008 * 65025) << table->name;
    const uint8_t* z = zeros8.data();
    table->sq8_l2_x4(ones8.data(), z, z, z, z, out, sq8_d);
    EXPECT_EQ(out[0], 3008 * 65025) << table->name;
    EXPECT_EQ(table->sq8_ip(m128, m128, sq8_d), -3008 * 16384) << table->name;
    EXPECT_EQ(table->sq4_l2(ones4.data(), zeros4.data(), sq4_d), 1536 * 450) << table->name;
    EXPECT_EQ(table->sq4_ip(q_top.data(), ones4.data(), sq4_d), -1536 * 225) << table->name;
    EXPECT_EQ(table->sq4_ip(q_bottom.data(), ones4.data(), sq4_d), 1536 * 225) << table->name;
    const uint8_t* o = ones4.data();
    table->sq4_ip_x4(q_top.data(), o, o, o, o, out, sq4_d);
    EXPECT_EQ(out[2], -1536 * 225) << table->name;
    const uint8_t* z4 = zeros4.data();
    table->sq4_l2_x4(ones4.data(), z4, z4, z4, z4, out, sq4_d);
    EXPECT_EQ(out[1], 1536 * 450) << table->name;
  }
}

// The batches reach the same largest sums (every id names the one code).
TEST(KernelExamples, BatchesDoNotOverflowAtTheLargestDimension) {
  const int sq8_d = 3008, sq4_d = 3072;
  const std::vector<uint8_t> ones8(sq8_d, 0xff), zeros8(sq8_d, 0x00), minus128(sq8_d, 0x80);
  const std::vector<uint8_t> ones4(sq4_d / 2, 0xff), zeros4(sq4_d / 2, 0x00);
  const std::vector<uint8_t> q_top(sq4_d / 2, 0x7f), q_bottom(sq4_d / 2, 0x80);
  const auto* m128 = reinterpret_cast<const int8_t*>(minus128.data());
  const int32_t ids[16] = {};
  struct Case {
    const char* what;
    void (*KernelTable::*batch)(const uint8_t*, const uint8_t*, uint64_t, const int32_t*,
                                int32_t*, int);
    const uint8_t* query;
    const uint8_t* code;
    int d;
    uint64_t code_size;
    int32_t expected;
  };
  const Case cases[] = {
      {"SQ8 L2 255 vs 0", &KernelTable::sq8_l2_x16, ones8.data(), zeros8.data(), sq8_d, 3008,
       3008 * 65025},
      {"SQ8 L2 0 vs 255", &KernelTable::sq8_l2_x16, zeros8.data(), ones8.data(), sq8_d, 3008,
       3008 * 65025},
      {"SQ4 L2 15 vs 0", &KernelTable::sq4_l2_x16, ones4.data(), zeros4.data(), sq4_d, 1536,
       1536 * 450},
      {"SQ4 L2 0 vs 15", &KernelTable::sq4_l2_x16, zeros4.data(), ones4.data(), sq4_d, 1536,
       1536 * 450},
      {"SQ4 IP top", &KernelTable::sq4_ip_x16, q_top.data(), ones4.data(), sq4_d, 1536,
       -1536 * 225},
      {"SQ4 IP bottom", &KernelTable::sq4_ip_x16, q_bottom.data(), ones4.data(), sq4_d,
       1536, 1536 * 225},
  };
  for (const KernelTable* table : AvailableTables()) {
    int32_t out[16];
    for (const Case& c : cases) {
      (table->*c.batch)(c.query, c.code, c.code_size, ids, out, c.d);
      for (int32_t value : out) EXPECT_EQ(value, c.expected) << table->name << ": " << c.what;
    }
    table->sq8_ip_x16(m128, minus128.data(), sq8_d, ids, out, sq8_d);
    for (int32_t value : out) EXPECT_EQ(value, -3008 * 16384) << table->name << ": SQ8 IP";
  }
}

// A batch of one id repeated sixteen times gives sixteen copies of that code's value from the
// four-code form (from the single form for SQ8 IP, which has no four-code form).
template <typename Query, typename Out>
void ExpectRepeatedId(const char* what,
                      void (*batch)(const Query*, const uint8_t*, uint64_t, const int32_t*, Out*, int),
                      const Query* query, const uint8_t* codes, uint64_t code_size, int d, Out expected) {
  const int32_t ids[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  Out out[16];
  batch(query, codes, code_size, ids, out, d);
  for (const Out& value : out) EXPECT_EQ(std::memcmp(&value, &expected, sizeof(Out)), 0) << what;
}

template <typename Query, typename Out>
Out FourCodeValue(void (*four)(const Query*, const Query*, const Query*, const Query*, const Query*, Out*, int),
                  const Query* query, const uint8_t* code, int d) {
  const auto* c = reinterpret_cast<const Query*>(code);
  Out out[4];
  four(query, c, c, c, c, out, d);
  return out[3];
}

TEST(KernelExamples, BatchOfOneRepeatedId) {
  const int d = 128;  // components: a whole number of blocks of every kind
  std::vector<float> query(d), code(2 * d);
  for (int j = 0; j < 2 * d; ++j) code[j] = std::sin(0.3f * j);
  for (int j = 0; j < d; ++j) query[j] = std::cos(0.7f * j);
  const auto* codes = reinterpret_cast<const uint8_t*>(code.data());
  const uint8_t* code1 = codes + 4 * d;
  // The same bytes read as halves (two codes of 2d bytes) and as bytes (codes of d bytes, and of
  // d / 2 for nibbles).
  std::vector<Half> half_query(d);
  for (int j = 0; j < d; ++j) half_query[j] = FloatToHalf(query[j]);
  const auto* bytes = reinterpret_cast<const uint8_t*>(query.data());
  const auto* signed_bytes = reinterpret_cast<const int8_t*>(query.data());
  for (const KernelTable* table : AvailableTables()) {
    SCOPED_TRACE(table->name);
    const KernelTable& t = *table;
    const float* q = query.data();
    const Half* h = half_query.data();
    ExpectRepeatedId("FP32 L2", t.fp32_l2_x16, q, codes, 4 * d, d, FourCodeValue(t.fp32_l2_x4, q, code1, d));
    ExpectRepeatedId("FP32 IP", t.fp32_ip_x16, q, codes, 4 * d, d, FourCodeValue(t.fp32_ip_x4, q, code1, d));
    ExpectRepeatedId("FP16 L2", t.fp16_l2_x16, h, codes, 2 * d, d,
                     FourCodeValue(t.fp16_l2_x4, h, codes + 2 * d, d));
    ExpectRepeatedId("FP16 IP", t.fp16_ip_x16, h, codes, 2 * d, d,
                     FourCodeValue(t.fp16_ip_x4, h, codes + 2 * d, d));
    ExpectRepeatedId("SQ8 L2", t.sq8_l2_x16, bytes, codes, d, d, FourCodeValue(t.sq8_l2_x4, bytes, codes + d, d));
    ExpectRepeatedId("SQ8 IP", t.sq8_ip_x16, signed_bytes, codes, d, d,
                     t.sq8_ip(signed_bytes, reinterpret_cast<const int8_t*>(codes + d), d));
    ExpectRepeatedId("SQ4 L2", t.sq4_l2_x16, bytes, codes, d / 2, d,
                     FourCodeValue(t.sq4_l2_x4, bytes, codes + d / 2, d));
    ExpectRepeatedId("SQ4 IP", t.sq4_ip_x16, bytes, codes, d / 2, d,
                     FourCodeValue(t.sq4_ip_x4, bytes, codes + d / 2, d));
  }
}

// The public entry points answer with the table this processor runs best.
TEST(KernelExamples, PublicFunctionsUseTheActiveTable) {
  const std::vector<float> a = {1, 2, 3, 4, 5}, b = {5, 4, 3, 2, 1};
  EXPECT_EQ(DistanceFP32L2(a.data(), b.data(), 5), 40.0f);
  EXPECT_EQ(DistanceFP32IP(a.data(), b.data(), 5), -35.0f);
  EXPECT_EQ(&ActiveKernels(), AvailableTables().back());
}

}  // namespace
}  // namespace vexa
