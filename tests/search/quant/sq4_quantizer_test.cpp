// The 4-bit scalar codes: the trimmed range, the nibble layout and the query nibble convention.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "tests/search/quant/quantizer_testing.h"

namespace vexa {
namespace {

using SQ4L2 = NewSQ4L2Quantizer<Metric::L2>;
using SQ4IP = NewSQ4IPQuantizer<Metric::IP>;

// The first byte of the row code (is_query false) or query code of {even, odd, 0, ..., 0}.
template <typename Q>
uint8_t PairByte(const Q& q, float even, float odd, bool is_query) {
  std::vector<float> vector(q.d, 0.0f);
  vector[0] = even;
  vector[1] = odd;
  return (is_query ? QueryCode(q, vector) : RowCode(q, vector))[0];
}

TEST(SQ4IPQuantizer, DataNibblesAreUnsigned) {
  const SQ4IP q = CalibratedQuantizer<SQ4IP>(2, {4.0f, 0.0f, -4.0f, -3.6f});
  ASSERT_EQ(q.scale, 4.0f);
  struct Case {
    float value;
    int nibble;
  };
  for (const Case& c : {Case{4.0f, 15}, Case{0.0f, 7}, Case{-4.0f, 0}, Case{-3.6f, 0}, Case{2.0f, 11},
                        Case{9.0f, 15}, Case{NAN, 0}}) {
    EXPECT_EQ(PairByte(q, c.value, c.value, false), c.nibble | c.nibble << 4) << c.value;
  }
  EXPECT_EQ(PairByte(q, 0.0f, 4.0f, false), 0xf7);  // the even component in the low nibble
}

// At dimension 100 a code is 64 bytes: byte 49 holds components 98 (low nibble) and 99 (high
// nibble), and bytes 50 to 63 stay zero.
TEST(SQ4IPQuantizer, DimensionHundredEndsInByte49) {
  std::vector<float> row(100, 0.0f);  // zeros encode to 7
  row[98] = 4.0f;                     // 15
  row[99] = -4.0f;                    // 0
  const SQ4IP q = CalibratedQuantizer<SQ4IP>(100, row);
  const std::vector<uint8_t> code = RowCode(q, row);
  ASSERT_EQ(code.size(), 64u);
  EXPECT_EQ(code[48], 0x77);
  EXPECT_EQ(code[49], 0x0f);
  for (size_t b = 50; b < code.size(); ++b) EXPECT_EQ(code[b], 0) << "byte " << b;
}

TEST(SQ4IPQuantizer, QueryNibblesFollowTheirOwnConvention) {
  const SQ4IP q = CalibratedQuantizer<SQ4IP>(2, {4.0f, 0.0f});
  // s = 8 x clamp(q / 4, -1, 1). Even: trunc(s + 7) in 0..15, read as v - 7. Odd: trunc(s) in -8..7
  // as a signed nibble.
  struct Case {
    float even, odd;
    uint8_t byte;
  };
  const Case cases[] = {
      {5.0f, 5.0f, 0x7f},    // beyond +scale: even 15 (reads 8), odd 7
      {4.0f, 4.0f, 0x7f},    // at +scale
      {-6.0f, -6.0f, 0x80},  // beyond -scale: even 0 (reads -7), odd 8 (reads -8)
      {5.0f, -6.0f, 0x8f},   // the odd component leaves the even one's nibble alone
      {-0.25f, -0.25f, 0x06},  // s = -0.5: even reads -1, odd 0
      {1.25f, 1.25f, 0x29},    // s = 2.5: both read 2
      {-1.0f, -1.0f, 0xe5},    // s = -2: even 5 (reads -2), odd 0xe (reads -2)
      {0.0f, 0.0f, 0x07},
      {NAN, NAN, 0x80},        // NaN clamps to -1
  };
  for (const Case& c : cases) EXPECT_EQ(PairByte(q, c.even, c.odd, true), c.byte) << c.even << " " << c.odd;
}

TEST(SQ4L2Quantizer, TrimCountFusesTheMultiplyAndAdd) {
  struct Case {
    int64_t count;
    uint64_t top;
  };
  for (const Case& c : {Case{0, 1}, Case{64, 1}, Case{99, 1}, Case{100, 2}, Case{250, 3}, Case{1000, 11},
                        // 20000000.83 + 1 rounds once to 20000002; rounding the product first gives 20000000
                        Case{2000000065, 20000002}}) {
    EXPECT_EQ(SQ4L2Codec::TrimCount(c.count), c.top) << c.count;
  }
}

// count values 0 to count - 1 in a scrambled order (step must be coprime with count).
std::vector<float> Scrambled(int count, int step) {
  std::vector<float> values(count);
  for (int i = 0; i < count; ++i) values[i] = static_cast<float>(static_cast<int64_t>(i) * step % count);
  return values;
}

TEST(SQ4L2Quantizer, TrimsTheTopSmallestAndLargest) {
  std::vector<float> with_nan = Scrambled(64, 27);
  with_nan[0] = NAN;  // in place of the 0, offered first: the heaps keep 1 and 63
  std::vector<float> duplicated = Scrambled(250, 97);
  for (float& x : duplicated) {
    if (x < 2.0f) x = 5.0f;  // 2, 3, 4, 5, 5, 5, ...: the third smallest is 4
    if (x == 247.0f || x == 248.0f) x = 249.0f;  // ..., 246, 249, 249, 249: the third largest is 249
  }
  struct Case {
    const char* name;
    std::vector<float> values;
    int d;
    std::string lines;
    float minn, maxx;
  };
  const Case cases[] = {
      {"250 values", Scrambled(250, 97), 10,
       "[INFO] Start SQ4 train, params: top:3, n:25, d:10, drop_ratio:0.0100\n"
       "[INFO] Done SQ4 train, minn:2.000000, maxx:247.000000, dif:245.000000\n",
       2.0f, 247.0f},
      {"duplicates counted", duplicated, 10,
       "[INFO] Start SQ4 train, params: top:3, n:25, d:10, drop_ratio:0.0100\n"
       "[INFO] Done SQ4 train, minn:4.000000, maxx:249.000000, dif:245.000000\n",
       4.0f, 249.0f},
      {"64 values: the extremes", Scrambled(64, 27), 8,
       "[INFO] Start SQ4 train, params: top:1, n:8, d:8, drop_ratio:0.0100\n"
       "[INFO] Done SQ4 train, minn:0.000000, maxx:63.000000, dif:63.000000\n",
       0.0f, 63.0f},
      {"NaN left out", with_nan, 8,
       "[INFO] Start SQ4 train, params: top:1, n:8, d:8, drop_ratio:0.0100\n"
       "[INFO] Done SQ4 train, minn:1.000000, maxx:63.000000, dif:62.000000\n",
       1.0f, 63.0f},
      {"100 vectors of dimension 10", Scrambled(1000, 333), 10,
       "[INFO] Start SQ4 train, params: top:11, n:100, d:10, drop_ratio:0.0100\n"
       "[INFO] Done SQ4 train, minn:10.000000, maxx:989.000000, dif:979.000000\n",
       10.0f, 989.0f},
  };
  for (const Case& c : cases) {
    SQ4L2 q(c.d);
    const int n = static_cast<int>(c.values.size()) / c.d;
    EXPECT_EQ(StdoutOf([&] { q.Calibrate(c.values.data(), n); }), c.lines) << c.name;
    EXPECT_EQ(q.minn, c.minn) << c.name;
    EXPECT_EQ(q.maxx, c.maxx) << c.name;
    EXPECT_EQ(q.dif, c.maxx - c.minn) << c.name;
  }
}

TEST(SQ4L2Quantizer, EncodesIntoTheTrimmedRange) {
  const SQ4L2 q = CalibratedQuantizer<SQ4L2>(8, Scrambled(64, 27));  // minn 0, maxx 63
  struct Case {
    float value;
    int nibble;
  };
  for (const Case& c : {Case{0.0f, 0}, Case{63.0f, 15}, Case{31.5f, 8}, Case{100.0f, 15}, Case{-5.0f, 0},
                        Case{NAN, 0}}) {
    EXPECT_EQ(PairByte(q, c.value, c.value, false), c.nibble | c.nibble << 4) << c.value;
    EXPECT_EQ(PairByte(q, c.value, c.value, true), c.nibble | c.nibble << 4) << c.value;
  }
  EXPECT_EQ(PairByte(q, 0.0f, 63.0f, false), 0xf0);
}

TEST(SQ4L2Quantizer, EqualValuesGiveAnEmptyRange) {
  const SQ4L2 q = CalibratedQuantizer<SQ4L2>(2, std::vector<float>(8, 3.0f));
  EXPECT_EQ(q.minn, 3.0f);
  EXPECT_EQ(q.maxx, 3.0f);
  EXPECT_EQ(q.dif, 0.0f);
  EXPECT_EQ(PairByte(q, 3.0f, 3.0f, false), 0x00);  // 0 / 0 is NaN, which clamps to 0
  EXPECT_EQ(PairByte(q, 4.0f, 2.0f, true), 0x0f);   // +1 / 0 is +inf: 15; -1 / 0 is -inf: 0
}

TEST(SQ4L2Quantizer, NoValuesLeaveTheRangeEmpty) {
  SQ4L2 q(4);
  EXPECT_EQ(StdoutOf([&] { q.Calibrate(nullptr, 0); }),
            "[INFO] Start SQ4 train, params: top:1, n:0, d:4, drop_ratio:0.0100\n"
            "[INFO] Done SQ4 train, minn:inf, maxx:-inf, dif:-inf\n");
  EXPECT_EQ(q.n, 0);
  EXPECT_EQ(q.minn, INFINITY);
  EXPECT_EQ(q.maxx, -INFINITY);
  EXPECT_EQ(q.dif, -INFINITY);
}

}  // namespace
}  // namespace vexa
