// The exact and half-precision codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/search/quant/fp16_quantizer.h"
#include "engine/search/quant/fp32_quantizer.h"
#include "engine/search/memory/half.h"
#include "tests/search/quant/quantizer_testing.h"

namespace vexa {
namespace {

TEST(FP32Quantizer, CodesAreTheFloatsBitForBit) {
  const std::vector<float> row = {-0.0f, 1e-40f, std::numeric_limits<float>::quiet_NaN(), -INFINITY, 3.25f};
  const auto q = CalibratedQuantizer<NewFP32IPQuantizer<Metric::IP>>(5, row);
  const std::vector<uint8_t> code = RowCode(q, row);
  EXPECT_EQ(std::memcmp(code.data(), row.data(), row.size() * sizeof(float)), 0);
  EXPECT_EQ(QueryCode(q, row), code);
}

TEST(FP16Quantizer, RoundsToNearestEvenAndOverflowsToInfinity) {
  struct Case {
    float value;
    Half bits;
  };
  const Case cases[] = {
      {1.0009765625f, 0x3c01},   // one unit in the last place above 1: exact
      {1.00048828125f, 0x3c00},  // half a unit above 1: ties to the even 1.0
      {1.00146484375f, 0x3c02},  // one and a half units: ties to the even 1.001953125
      {65504.0f, 0x7bff},        // the largest finite value
      {65519.0f, 0x7bff},        // less than half a unit above it
      {65520.0f, 0x7c00},        // half a unit above it: +inf
      {1e6f, 0x7c00},
      {-1e6f, 0xfc00},
      {-0.0f, 0x8000},
      {5.9604645e-8f, 0x0001},   // the smallest subnormal
  };
  std::vector<float> row;
  for (const Case& c : cases) row.push_back(c.value);
  const int d = static_cast<int>(row.size());
  const auto l2 = CalibratedQuantizer<NewFP16L2Quantizer<Metric::L2>>(d, row);
  const auto ip = CalibratedQuantizer<NewFP16IPQuantizer<Metric::IP>>(d, row);
  for (const std::vector<uint8_t>& code : {RowCode(l2, row), QueryCode(l2, row), RowCode(ip, row), QueryCode(ip, row)}) {
    for (int j = 0; j < d; ++j) {
      Half h;
      std::memcpy(&h, code.data() + j * sizeof(Half), sizeof(Half));
      EXPECT_EQ(h, cases[j].bits) << "value " << cases[j].value;
    }
  }
}

}  // namespace
}  // namespace vexa
