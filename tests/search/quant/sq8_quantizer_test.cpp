// The 8-bit scalar codes: calibration and the rounding of each component.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/search/quant/scalar_rounding.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"
#include "tests/search/quant/quantizer_testing.h"

namespace vexa {
namespace {

TEST(ScalarRounding, AddsOneHalfAndTruncatesTowardZero) {
  struct Case {
    float p;
    int code;
  };
  for (const Case& c : {Case{-1.2f, 0}, Case{-1.5f, -1}, Case{-127.0f, -126}, Case{-0.5f, 0}, Case{0.5f, 1},
                        Case{126.4f, 126}, Case{126.5f, 127}, Case{127.0f, 127}, Case{0.0f, 0},
                        // just below one half: the sum in single precision would round up to 1
                        Case{0.49999997f, 0}}) {
    EXPECT_EQ(AddHalfAndTruncate(c.p), c.code) << "p " << c.p;
  }
}

TEST(ScalarRounding, ClampSendsNaNToTheLowerBound) {
  EXPECT_EQ(Clamp(NAN, -1.0f, 1.0f), -1.0f);
  EXPECT_EQ(Clamp(INFINITY, 0.0f, 1.0f), 1.0f);
  EXPECT_EQ(Clamp(-INFINITY, 0.0f, 1.0f), 0.0f);
  EXPECT_EQ(Clamp(0.25f, 0.0f, 1.0f), 0.25f);
}

// The calibrations' max and min: a NaN gives the other operand, and +0 ranks above -0 whichever
// operand it is.
TEST(ScalarRounding, MaxAndMinNumberOrderTheZeros) {
  for (const bool swap : {false, true}) {
    const auto max = [swap](float a, float b) { return swap ? MaxNumber(b, a) : MaxNumber(a, b); };
    const auto min = [swap](float a, float b) { return swap ? MinNumber(b, a) : MinNumber(a, b); };
    EXPECT_FALSE(std::signbit(max(0.0f, -0.0f))) << swap;
    EXPECT_TRUE(std::signbit(min(0.0f, -0.0f))) << swap;
    EXPECT_EQ(max(NAN, 2.0f), 2.0f) << swap;
    EXPECT_EQ(min(NAN, 2.0f), 2.0f) << swap;
    EXPECT_EQ(max(-1.0f, 3.0f), 3.0f) << swap;
    EXPECT_EQ(min(-1.0f, 3.0f), -1.0f) << swap;
    EXPECT_EQ(max(-INFINITY, -2.0f), -2.0f) << swap;
  }
  EXPECT_TRUE(std::isnan(MaxNumber(NAN, NAN)));
}

TEST(SQ8IPQuantizer, ScalesByTheLargestMagnitude) {
  const std::vector<float> rows = {2.0f, -2.0f, 0.0f, 0.01f, -0.01f, NAN, 0.0f, 1.0f};
  const auto q = CalibratedQuantizer<NewSQ8IPQuantizer<Metric::IP>>(8, rows);
  EXPECT_EQ(q.scale, 2.0f);  // the NaN leaves it
  // A NaN component clamps to -1; components beyond the scale clamp to +-1.
  const std::vector<float> row = {2.0f, -2.0f, 0.0f, 0.01f, -0.01f, NAN, 7.0f, -9.0f};
  const std::vector<int8_t> expected = {127, -126, 0, 1, 0, -126, 127, -126};
  for (const std::vector<uint8_t>& code : {RowCode(q, row), QueryCode(q, row)}) {
    for (size_t j = 0; j < expected.size(); ++j) EXPECT_EQ(static_cast<int8_t>(code[j]), expected[j]) << "j " << j;
  }
}

TEST(SQ8IPQuantizer, DividesByTheScale) {
  // x x (1 / scale) would give -95 and 119 here.
  const auto q = CalibratedQuantizer<NewSQ8IPQuantizer<Metric::IP>>(2, {3.0f, 0.0f});
  const std::vector<uint8_t> code = RowCode(q, {-2.2559054f, 0.0f});
  EXPECT_EQ(static_cast<int8_t>(code[0]), -94);
  const auto seven = CalibratedQuantizer<NewSQ8IPQuantizer<Metric::IP>>(2, {7.0f, 0.0f});
  EXPECT_EQ(static_cast<int8_t>(QueryCode(seven, {6.5314956f, 0.0f})[0]), 118);
}

TEST(SQ8IPQuantizer, AllZeroVectorsEncodeToTheLowestCode) {
  const auto q = CalibratedQuantizer<NewSQ8IPQuantizer<Metric::IP>>(3, std::vector<float>(6, 0.0f));
  EXPECT_EQ(q.scale, 0.0f);
  const std::vector<float> zeros(3, 0.0f);
  for (const std::vector<uint8_t>& code : {RowCode(q, zeros), QueryCode(q, zeros)}) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ(static_cast<int8_t>(code[j]), -126);  // 0 / 0 is NaN, clamped to -1
  }
}

TEST(SQ8IPQuantizer, NoRowsLeaveTheScaleAtMinusInfinity) {
  EXPECT_EQ(CalibratedQuantizer<NewSQ8IPQuantizer<Metric::IP>>(4, {}).scale, -INFINITY);
}

TEST(SQ8L2Quantizer, SharesTheWidestRangeAcrossDimensions) {
  // Dimension 0 spans [0, 10], dimension 1 [0, 5] (a NaN is skipped), dimension 2 [-1, -1].
  const std::vector<float> rows = {0.0f, 5.0f, -1.0f, 10.0f, 0.0f, -1.0f, 4.0f, NAN, -1.0f};
  const auto q = CalibratedQuantizer<NewSQ8L2Quantizer<Metric::L2>>(3, rows);
  EXPECT_EQ(q.minn, (std::vector<float>{0.0f, 0.0f, -1.0f}));
  EXPECT_EQ(q.maxx, (std::vector<float>{10.0f, 5.0f, -1.0f}));
  EXPECT_EQ(q.dif, 10.0f);
  struct Case {
    std::vector<float> row;
    std::vector<uint8_t> code;
  };
  const Case cases[] = {
      {{5.0f, 5.0f, -1.0f}, {128, 128, 0}},  // 5 in dimension 1 is half the shared range, not its top
      {{10.0f, 0.0f, 9.0f}, {255, 0, 255}},
      {{20.0f, -3.0f, NAN}, {255, 0, 0}},  // out of range clamps; NaN clamps to 0
      {{0.02f, 0.01f, -0.98f}, {1, 0, 1}},  // 0.51 rounds up, 0.255 down
  };
  for (const Case& c : cases) {
    for (const std::vector<uint8_t>& code : {RowCode(q, c.row), QueryCode(q, c.row)}) {
      EXPECT_EQ(std::vector<uint8_t>(code.begin(), code.begin() + 3), c.code) << c.row[0];
    }
  }
}

TEST(SQ8L2Quantizer, NoRowsGiveMinusInfinityRange) {
  const auto q = CalibratedQuantizer<NewSQ8L2Quantizer<Metric::L2>>(2, {});
  EXPECT_EQ(q.maxx, (std::vector<float>{-INFINITY, -INFINITY}));
  EXPECT_EQ(q.minn, (std::vector<float>{INFINITY, INFINITY}));
  EXPECT_EQ(q.dif, -INFINITY);
}

}  // namespace
}  // namespace vexa
