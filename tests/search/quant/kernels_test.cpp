// Every SIMD kernel table against the reference, bit for bit, on random and adversarial inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <set>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "engine/search/quant/distance.h"
#include "engine/search/memory/half.h"
#include "engine/search/quant/kernels/kernel_table.h"
#include "tests/search/quant/kernels_test_support.h"

namespace vexa {
namespace {

using testing::AvailableTables;
using testing::Bits;
using testing::FlushToZeroScope;
using testing::FromBits;
using testing::SimdTables;

// Kinds of float input: the magnitudes where rounding, overflow and subnormals show.
enum class Spread { kUnit, kLarge, kHuge, kTiny, kSubnormal, kAnyFinite, kWithInfinity };

const Spread kSpreads[] = {Spread::kUnit,      Spread::kLarge,     Spread::kHuge,
                           Spread::kTiny,      Spread::kSubnormal, Spread::kAnyFinite,
                           Spread::kWithInfinity};

float Draw(std::mt19937& rng, Spread spread) {
  std::normal_distribution<float> normal(0.0f, 1.0f);
  switch (spread) {
    case Spread::kUnit:
      return normal(rng);
    case Spread::kLarge:
      return normal(rng) * 1e18f;  // squares near the top of the float range
    case Spread::kHuge:
      return normal(rng) * 3e19f;  // squares and sums overflow
    case Spread::kTiny:
      return normal(rng) * 1e-20f;  // squares are subnormal or underflow
    case Spread::kSubnormal:
      return FromBits((rng() & 0x807fffffu) | 1u);
    case Spread::kAnyFinite: {
      uint32_t bits;
      do bits = rng(); while ((bits & 0x7f800000u) == 0x7f800000u);
      return FromBits(bits);
    }
    case Spread::kWithInfinity:
      return rng() % 16 == 0 ? (rng() % 2 ? 1.0f : -1.0f) * std::numeric_limits<float>::infinity()
                             : normal(rng);
  }
  return 0.0f;
}

std::vector<float> Floats(std::mt19937& rng, Spread spread, size_t count) {
  std::vector<float> values(count);
  for (float& v : values) v = Draw(rng, spread);
  return values;
}

// Kinds of half-precision input.
enum class HalfSpread { kUnit, kAnyFinite, kWithInfinity, kNearLimit, kSubnormal };

const HalfSpread kHalfSpreads[] = {HalfSpread::kUnit, HalfSpread::kAnyFinite,
                                   HalfSpread::kWithInfinity, HalfSpread::kNearLimit,
                                   HalfSpread::kSubnormal};

Half DrawHalf(std::mt19937& rng, HalfSpread spread) {
  const uint32_t r = rng();
  switch (spread) {
    case HalfSpread::kUnit:
      return FloatToHalf(std::normal_distribution<float>(0.0f, 1.0f)(rng));
    case HalfSpread::kAnyFinite:
      return static_cast<Half>((r & 0x7c00u) == 0x7c00u ? r & 0x83ffu : r & 0xffffu);
    case HalfSpread::kWithInfinity:
      return static_cast<Half>(r % 8 == 0 ? ((r >> 3) & 0x8000u) | 0x7c00u : (r >> 8) & 0xbbffu);
    case HalfSpread::kNearLimit:  // largest exponent: differences overflow
      return static_cast<Half>((r & 0x8000u) | 0x7800u | (r >> 16 & 0x3ffu));
    case HalfSpread::kSubnormal:
      return static_cast<Half>(r & 0x83ffu);
  }
  return 0;
}

std::vector<Half> Halves(std::mt19937& rng, HalfSpread spread, size_t count) {
  std::vector<Half> values(count);
  for (Half& v : values) v = DrawHalf(rng, spread);
  return values;
}

std::vector<uint8_t> Bytes(std::mt19937& rng, size_t count) {
  std::vector<uint8_t> values(count);
  for (uint8_t& v : values) v = static_cast<uint8_t>(rng());
  return values;
}

// Codes of one kind laid out code_size bytes apart, and a batch of ids over them that repeats
// some and lists them out of order.
constexpr int kCodes = 21;

std::vector<int32_t> BatchIds(std::mt19937& rng) {
  std::vector<int32_t> ids(16);
  for (int32_t& id : ids) id = static_cast<int32_t>(rng() % kCodes);
  ids[5] = ids[2];
  return ids;
}

template <typename T>
const T* CodeAt(const std::vector<uint8_t>& codes, uint64_t code_size, int id) {
  return reinterpret_cast<const T*>(codes.data() + id * code_size);
}

void ExpectSameBits(const float* expected, const float* actual, int count, const std::string& what) {
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(Bits(expected[i]), Bits(actual[i]))
        << what << " output " << i << ": " << expected[i] << " vs " << actual[i];
  }
}

void ExpectSame(const int32_t* expected, const int32_t* actual, int count, const std::string& what) {
  for (int i = 0; i < count; ++i) EXPECT_EQ(expected[i], actual[i]) << what << " output " << i;
}

// ---- FP32 ----

// The pair functions take any length, at any float alignment.
void CheckFp32Pairs(const KernelTable& simd, int d, Spread spread, std::mt19937& rng) {
  const std::vector<float> a = Floats(rng, spread, d + 1);
  const std::vector<float> b = Floats(rng, spread, d + 1);
  for (int offset = 0; offset < 2; ++offset) {
    const float* pa = a.data() + offset;
    const float* pb = b.data() + (1 - offset);
    const std::string what = std::string(simd.name) + " d=" + std::to_string(d) + " spread " +
                             std::to_string(static_cast<int>(spread));
    const float l2[2] = {kScalarKernels.fp32_l2(pa, pb, d), simd.fp32_l2(pa, pb, d)};
    const float ip[2] = {kScalarKernels.fp32_ip(pa, pb, d), simd.fp32_ip(pa, pb, d)};
    ExpectSameBits(&l2[0], &l2[1], 1, what + " L2");
    ExpectSameBits(&ip[0], &ip[1], 1, what + " IP");
  }
}

// The many-vector forms give every row the reference pair function's bits, for every count (whole
// groups, a short last group, none) and rows at any float alignment, repeated or equal to a.
void CheckFp32Many(const KernelTable& simd, int d, Spread spread, std::mt19937& rng) {
  constexpr int kRows = 11;
  const std::vector<float> values = Floats(rng, spread, (kRows + 1) * (d + 1));
  const float* a = values.data();
  std::vector<const float*> rows;
  for (int i = 0; i < kRows; ++i) rows.push_back(values.data() + (i + 1) * (d + 1) - i % 2);
  rows[4] = rows[1];
  rows[9] = a;
  const std::string what = std::string(simd.name) + " d=" + std::to_string(d) + " spread " +
                           std::to_string(static_cast<int>(spread));
  for (int count = 0; count <= kRows; ++count) {
    float expected[kRows], actual[kRows];
    for (int i = 0; i < count; ++i) expected[i] = kScalarKernels.fp32_l2(a, rows[i], d);
    simd.fp32_l2_many(a, rows.data(), count, actual, d);
    ExpectSameBits(expected, actual, count, what + " L2 many of " + std::to_string(count));
    for (int i = 0; i < count; ++i) expected[i] = kScalarKernels.fp32_ip(a, rows[i], d);
    simd.fp32_ip_many(a, rows.data(), count, actual, d);
    ExpectSameBits(expected, actual, count, what + " IP many of " + std::to_string(count));
  }
}

std::vector<int> PairLengths() {
  std::vector<int> lengths;
  for (int d = 0; d <= 70; ++d) lengths.push_back(d);
  for (int d : {127, 128, 129, 784, 960, 999, 2999, 3008}) lengths.push_back(d);
  return lengths;
}

TEST(Fp32Kernels, PairFunctionsMatchReferenceAtEveryLength) {
  std::mt19937 rng(7);
  for (const KernelTable* simd : SimdTables()) {
    for (int d : PairLengths()) {
      for (Spread spread : kSpreads) CheckFp32Pairs(*simd, d, spread, rng);
    }
  }
}

TEST(Fp32Kernels, ManyVectorFormsMatchReferencePairsAtEveryLength) {
  std::mt19937 rng(29);
  for (const KernelTable* table : AvailableTables()) {
    for (int d : PairLengths()) {
      for (Spread spread : kSpreads) CheckFp32Many(*table, d, spread, rng);
    }
  }
}

void CheckFp32Codes(const KernelTable& simd, int d, Spread spread, std::mt19937& rng) {
  const uint64_t code_size = 4 * static_cast<uint64_t>(d);
  const std::vector<float> query = Floats(rng, spread, d);
  std::vector<uint8_t> codes(kCodes * code_size);
  const std::vector<float> values = Floats(rng, spread, kCodes * d);
  std::memcpy(codes.data(), values.data(), codes.size());
  const float* c[4] = {CodeAt<float>(codes, code_size, 3), CodeAt<float>(codes, code_size, 0),
                       CodeAt<float>(codes, code_size, 7), CodeAt<float>(codes, code_size, 3)};
  const std::vector<int32_t> ids = BatchIds(rng);
  const std::string what = std::string(simd.name) + " d=" + std::to_string(d);

  float expected[16], actual[16];
  kScalarKernels.fp32_l2_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.fp32_l2_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSameBits(expected, actual, 4, what + " L2x4");
  kScalarKernels.fp32_ip_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.fp32_ip_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSameBits(expected, actual, 4, what + " IPx4");
  kScalarKernels.fp32_l2_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.fp32_l2_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSameBits(expected, actual, 16, what + " L2x16");
  kScalarKernels.fp32_ip_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.fp32_ip_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSameBits(expected, actual, 16, what + " IPx16");
}

const int kFp32Lengths[] = {16, 32, 48, 64, 128, 784, 960, 3008};

TEST(Fp32Kernels, FourCodeAndBatchFormsMatchReference) {
  std::mt19937 rng(11);
  for (const KernelTable* simd : SimdTables()) {
    for (int d : kFp32Lengths) {
      for (Spread spread : kSpreads) CheckFp32Codes(*simd, d, spread, rng);
    }
  }
}

// ---- FP16 ----

void CheckFp16(const KernelTable& simd, int d, HalfSpread spread, std::mt19937& rng) {
  const uint64_t code_size = 2 * static_cast<uint64_t>(d);
  const std::vector<Half> query = Halves(rng, spread, d);
  std::vector<uint8_t> codes(kCodes * code_size);
  const std::vector<Half> values = Halves(rng, spread, kCodes * d);
  std::memcpy(codes.data(), values.data(), codes.size());
  const Half* c[4] = {CodeAt<Half>(codes, code_size, 1), CodeAt<Half>(codes, code_size, 4),
                      CodeAt<Half>(codes, code_size, 4), CodeAt<Half>(codes, code_size, 9)};
  const std::vector<int32_t> ids = BatchIds(rng);
  const std::string what = std::string(simd.name) + " d=" + std::to_string(d) + " spread " +
                           std::to_string(static_cast<int>(spread));

  float expected[16], actual[16];
  expected[0] = kScalarKernels.fp16_l2(query.data(), c[0], d);
  actual[0] = simd.fp16_l2(query.data(), c[0], d);
  expected[1] = kScalarKernels.fp16_ip(query.data(), c[0], d);
  actual[1] = simd.fp16_ip(query.data(), c[0], d);
  ExpectSameBits(expected, actual, 2, what + " single");
  kScalarKernels.fp16_l2_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.fp16_l2_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSameBits(expected, actual, 4, what + " L2x4");
  kScalarKernels.fp16_ip_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.fp16_ip_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSameBits(expected, actual, 4, what + " IPx4");
  kScalarKernels.fp16_l2_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.fp16_l2_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSameBits(expected, actual, 16, what + " L2x16");
  kScalarKernels.fp16_ip_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.fp16_ip_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSameBits(expected, actual, 16, what + " IPx16");
}

const int kFp16Lengths[] = {32, 64, 96, 128, 800, 960, 3008};

TEST(Fp16Kernels, AllFormsMatchReference) {
  std::mt19937 rng(13);
  for (const KernelTable* simd : SimdTables()) {
    for (int d : kFp16Lengths) {
      for (HalfSpread spread : kHalfSpreads) CheckFp16(*simd, d, spread, rng);
    }
  }
}

// ---- The same float kernels with subnormals flushed to zero ----

TEST(FloatKernels, MatchReferenceWithSubnormalsFlushed) {
  FlushToZeroScope flush;
  volatile float tiny = 1e-40f;
  ASSERT_EQ(tiny * 1.0f, 0.0f) << "flush-to-zero is not in effect";
  std::mt19937 rng(17);
  for (const KernelTable* simd : SimdTables()) {
    for (Spread spread : {Spread::kTiny, Spread::kSubnormal, Spread::kAnyFinite, Spread::kUnit}) {
      for (int d : {3, 5, 21, 37, 64, 784}) {
        CheckFp32Pairs(*simd, d, spread, rng);
        CheckFp32Many(*simd, d, spread, rng);
      }
      for (int d : {16, 48, 784}) CheckFp32Codes(*simd, d, spread, rng);
    }
    for (HalfSpread spread : kHalfSpreads) {
      for (int d : {32, 800}) CheckFp16(*simd, d, spread, rng);
    }
  }
}

// ---- SQ8 and SQ4 ----

// One byte code kind: its element type and how many bytes d components take.
void CheckSq8(const KernelTable& simd, const std::vector<uint8_t>& query,
              const std::vector<uint8_t>& codes, int d, std::mt19937& rng) {
  const uint64_t code_size = static_cast<uint64_t>(d);
  const uint8_t* c[4] = {CodeAt<uint8_t>(codes, code_size, 0), CodeAt<uint8_t>(codes, code_size, 5),
                         CodeAt<uint8_t>(codes, code_size, 2), CodeAt<uint8_t>(codes, code_size, 2)};
  const std::vector<int32_t> ids = BatchIds(rng);
  const std::string what = std::string(simd.name) + " d=" + std::to_string(d);
  const auto* q_signed = reinterpret_cast<const int8_t*>(query.data());
  const auto* c_signed = reinterpret_cast<const int8_t*>(c[0]);

  int32_t expected[16], actual[16];
  expected[0] = kScalarKernels.sq8_l2(query.data(), c[0], d);
  actual[0] = simd.sq8_l2(query.data(), c[0], d);
  expected[1] = kScalarKernels.sq8_ip(q_signed, c_signed, d);
  actual[1] = simd.sq8_ip(q_signed, c_signed, d);
  ExpectSame(expected, actual, 2, what + " single");
  kScalarKernels.sq8_l2_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.sq8_l2_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSame(expected, actual, 4, what + " L2x4");
  kScalarKernels.sq8_l2_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.sq8_l2_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSame(expected, actual, 16, what + " L2x16");
  kScalarKernels.sq8_ip_x16(q_signed, codes.data(), code_size, ids.data(), expected, d);
  simd.sq8_ip_x16(q_signed, codes.data(), code_size, ids.data(), actual, d);
  ExpectSame(expected, actual, 16, what + " IPx16");
}

void CheckSq4(const KernelTable& simd, const std::vector<uint8_t>& query,
              const std::vector<uint8_t>& codes, int d, std::mt19937& rng) {
  const uint64_t code_size = static_cast<uint64_t>(d) / 2;
  const uint8_t* c[4] = {CodeAt<uint8_t>(codes, code_size, 1), CodeAt<uint8_t>(codes, code_size, 0),
                         CodeAt<uint8_t>(codes, code_size, 6), CodeAt<uint8_t>(codes, code_size, 1)};
  const std::vector<int32_t> ids = BatchIds(rng);
  const std::string what = std::string(simd.name) + " d=" + std::to_string(d);

  int32_t expected[16], actual[16];
  expected[0] = kScalarKernels.sq4_l2(query.data(), c[0], d);
  actual[0] = simd.sq4_l2(query.data(), c[0], d);
  expected[1] = kScalarKernels.sq4_ip(query.data(), c[0], d);
  actual[1] = simd.sq4_ip(query.data(), c[0], d);
  ExpectSame(expected, actual, 2, what + " single");
  kScalarKernels.sq4_l2_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.sq4_l2_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSame(expected, actual, 4, what + " L2x4");
  kScalarKernels.sq4_ip_x4(query.data(), c[0], c[1], c[2], c[3], expected, d);
  simd.sq4_ip_x4(query.data(), c[0], c[1], c[2], c[3], actual, d);
  ExpectSame(expected, actual, 4, what + " IPx4");
  kScalarKernels.sq4_l2_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.sq4_l2_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSame(expected, actual, 16, what + " L2x16");
  kScalarKernels.sq4_ip_x16(query.data(), codes.data(), code_size, ids.data(), expected, d);
  simd.sq4_ip_x16(query.data(), codes.data(), code_size, ids.data(), actual, d);
  ExpectSame(expected, actual, 16, what + " IPx16");
}

// The padded lengths, and a few that end inside a register (112, 208, 192 and 448), where every
// form reads its last partial block alone.
const int kSq8Lengths[] = {64, 112, 128, 192, 208, 832, 960, 3008};
const int kSq4Lengths[] = {128, 192, 256, 384, 448, 896, 1024, 3072};

TEST(IntegerKernels, RandomCodesMatchReference) {
  std::mt19937 rng(19);
  for (const KernelTable* simd : SimdTables()) {
    for (int d : kSq8Lengths) {
      for (int round = 0; round < 4; ++round) {
        CheckSq8(*simd, Bytes(rng, d), Bytes(rng, kCodes * d), d, rng);
      }
    }
    for (int d : kSq4Lengths) {
      for (int round = 0; round < 4; ++round) {
        CheckSq4(*simd, Bytes(rng, d / 2), Bytes(rng, kCodes * d / 2), d, rng);
      }
    }
  }
}

// Every query byte against every data byte: call v compares the query bytes 0, 1, ..., 255 with
// codes whose bytes all hold v (and, for the other codes, v + 1 and 255 - v).
TEST(IntegerKernels, EveryByteAndNibblePairMatchesReference) {
  std::mt19937 rng(23);
  std::vector<uint8_t> query(256);
  for (int j = 0; j < 256; ++j) query[j] = static_cast<uint8_t>(j);
  for (const KernelTable* simd : SimdTables()) {
    for (int v = 0; v < 256; ++v) {
      std::vector<uint8_t> codes(kCodes * 256);
      for (int c = 0; c < kCodes; ++c) {
        const int value = c % 3 == 0 ? v : c % 3 == 1 ? (v + 1) & 255 : 255 - v;
        std::memset(codes.data() + c * 256, value, 256);
      }
      CheckSq8(*simd, query, codes, 256, rng);
      CheckSq4(*simd, query, codes, 512, rng);
    }
  }
}

// ---- The public entry points ----

// The engine's entry points as a table, to be checked like the SIMD tables: each must reach the
// kernel of its own name.
const KernelTable kPublicEntryPoints = {
    "public",           DistanceFP32L2,     DistanceFP32IP,    DistanceFP32L2Many, DistanceFP32IPMany,
    DistanceFP32L2x4,   DistanceFP32IPx4,   DistanceFP32L2x16, DistanceFP32IPx16,  DistanceFP16L2,
    DistanceFP16IP,     DistanceFP16L2x4,   DistanceFP16IPx4,  DistanceFP16L2x16,  DistanceFP16IPx16,
    DistanceSQ8L2,      DistanceSQ8L2x4,    DistanceSQ8L2x16,  DistanceSQ8IP,      DistanceSQ8IPx16,
    DistanceSQ4L2,      DistanceSQ4L2x4,    DistanceSQ4L2x16,  DistanceSQ4IP,      DistanceSQ4IPx4,
    DistanceSQ4IPx16,
};

TEST(PublicKernels, EveryEntryPointGivesTheReferenceResult) {
  std::mt19937 rng(31);
  const KernelTable& entry_points = kPublicEntryPoints;
  for (Spread spread : {Spread::kUnit, Spread::kAnyFinite}) {
    for (int d : {0, 5, 21, 259}) {
      CheckFp32Pairs(entry_points, d, spread, rng);
      CheckFp32Many(entry_points, d, spread, rng);
    }
    for (int d : {16, 784}) CheckFp32Codes(entry_points, d, spread, rng);
  }
  for (int d : {32, 800}) CheckFp16(entry_points, d, HalfSpread::kUnit, rng);
  for (int d : {64, 832}) CheckSq8(entry_points, Bytes(rng, d), Bytes(rng, kCodes * d), d, rng);
  for (int d : {128, 896}) CheckSq4(entry_points, Bytes(rng, d / 2), Bytes(rng, kCodes * d / 2), d, rng);
}

// A caller that resolves a distance function once gets the kernel it routes to; a function of
// its own is left as it is.
float HalfOfL2(const float* a, const float* b, int d) { return DistanceFP32L2(a, b, d) / 2; }

TEST(PublicKernels, ResolvedDistancesAreTheKernelsTheyRouteTo) {
  EXPECT_EQ(ResolveDistance(DistanceFP32L2), ActiveKernels().fp32_l2);
  EXPECT_EQ(ResolveDistance(DistanceFP32IP), ActiveKernels().fp32_ip);
  EXPECT_EQ(ResolveDistance(HalfOfL2), &HalfOfL2);
  EXPECT_EQ(ResolveDistanceMany(DistanceFP32L2), ActiveKernels().fp32_l2_many);
  EXPECT_EQ(ResolveDistanceMany(DistanceFP32IP), ActiveKernels().fp32_ip_many);
  EXPECT_EQ(ResolveDistanceMany(HalfOfL2), nullptr);
}

// The processors the engine is made for run the Advanced SIMD kernels, and so does qemu's
// emulated processor: without them every comparison above would check nothing on Arm.
TEST(KernelDispatch, ArmProcessorsRunTheAdvancedSimdKernels) {
#if defined(__aarch64__)
  ASSERT_NE(KernelTableFor(Isa::kNeon), nullptr);
  EXPECT_EQ(&ActiveKernels(), KernelTableFor(Isa::kNeon));
  EXPECT_EQ(KernelTableFor(Isa::kAvx2), nullptr);
#else
  EXPECT_EQ(KernelTableFor(Isa::kNeon), nullptr);
  GTEST_SKIP() << "not an Arm processor";
#endif
}

#if defined(__x86_64__)
// The feature flags that Linux reports for this processor; it leaves out those whose registers it
// does not save.
std::set<std::string> CpuFlags() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    for (std::string flag; words >> flag;) flags.insert(flag);
    return flags;
  }
  return {};
}
#endif

// An x86 processor with AVX2 (with FMA and F16C), or with AVX-512 and its byte dot products, runs
// the kernels written for it, and they are the ones the engine's distances reach: were the
// dispatch to miss one, every comparison above would skip that table and check nothing of it.
TEST(KernelDispatch, X86ProcessorsRunTheirWidestKernels) {
#if defined(__x86_64__)
  const std::set<std::string> flags = CpuFlags();
  ASSERT_FALSE(flags.empty()) << "no flags in /proc/cpuinfo";
  const auto has = [&flags](std::initializer_list<const char*> names) {
    for (const char* name : names) {
      if (flags.count(name) == 0) return false;
    }
    return true;
  };
  const bool avx2 = has({"avx2", "fma", "f16c"});
  const bool avx512 = avx2 && has({"avx512f", "avx512bw", "avx512vl", "avx512dq", "avx512_vnni"});
  EXPECT_EQ(KernelTableFor(Isa::kAvx2) != nullptr, avx2);
  EXPECT_EQ(KernelTableFor(Isa::kAvx512) != nullptr, avx512);
  const KernelTable* widest = KernelTableFor(avx512 ? Isa::kAvx512 : avx2 ? Isa::kAvx2 : Isa::kScalar);
  ASSERT_NE(widest, nullptr);
  EXPECT_STREQ(ActiveKernels().name, widest->name);
  EXPECT_EQ(ResolveDistance(DistanceFP32L2), widest->fp32_l2);
  EXPECT_EQ(KernelTableFor(Isa::kNeon), nullptr);
#else
  GTEST_SKIP() << "not an x86 processor";
#endif
}

}  // namespace
}  // namespace vexa
