// What every quantizer shares: the code shape, zero padding, code storage and its ownership,
// the static traits and the lines each family prints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/search/quant/fp16_quantizer.h"
#include "engine/search/quant/fp32_quantizer.h"
#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"
#include "tests/search/quant/quantizer_testing.h"

namespace vexa {
namespace {

using FP32L2 = NewFP32L2Quantizer<Metric::L2>;
using FP32IP = NewFP32IPQuantizer<Metric::IP>;
using FP16L2 = NewFP16L2Quantizer<Metric::L2>;
using FP16IP = NewFP16IPQuantizer<Metric::IP>;
using SQ8L2 = NewSQ8L2Quantizer<Metric::L2>;
using SQ8IP = NewSQ8IPQuantizer<Metric::IP>;
using SQ4L2 = NewSQ4L2Quantizer<Metric::L2>;
using SQ4IP = NewSQ4IPQuantizer<Metric::IP>;

// The traits the searchers and kernels select on.
template <typename Q, Metric kMetric, QuantizerType kType, typename Distance, typename Code>
constexpr bool HasTraits() {
  return Q::kMetric == kMetric && Q::kType == kType && std::is_same_v<typename Q::DistanceType, Distance> &&
         std::is_same_v<typename Q::CodeType, Code>;
}
static_assert(HasTraits<FP32L2, Metric::L2, QuantizerType::FP32, float, float>());
static_assert(HasTraits<FP32IP, Metric::IP, QuantizerType::FP32, float, float>());
static_assert(HasTraits<FP16L2, Metric::L2, QuantizerType::FP16, float, Half>());
static_assert(HasTraits<FP16IP, Metric::IP, QuantizerType::FP16, float, Half>());
static_assert(HasTraits<SQ8L2, Metric::L2, QuantizerType::SQ8U, int32_t, uint8_t>());
static_assert(HasTraits<SQ8IP, Metric::IP, QuantizerType::SQ8U, int32_t, int8_t>());
static_assert(HasTraits<SQ4L2, Metric::L2, QuantizerType::SQ4U, int32_t, uint8_t>());
static_assert(HasTraits<SQ4IP, Metric::IP, QuantizerType::SQ4U, int32_t, uint8_t>());
static_assert(!std::is_copy_constructible_v<SQ8L2> && !std::is_copy_assignable_v<SQ8L2>);
static_assert(std::is_nothrow_move_constructible_v<SQ8L2> && std::is_nothrow_move_assignable_v<SQ8L2>);

// A quantizer with its block, bits per component and the padded dimension at d = 100.
template <typename Q, int kBlockSize, int kBits, int kAlign100>
struct Family {
  using Quant = Q;
  static constexpr int kBlock = kBlockSize;
  static constexpr int kCodeBits = kBits;
  static constexpr int kDAlign100 = kAlign100;
};

using AllQuantizers = testing::Types<Family<FP32L2, 16, 32, 112>, Family<FP32IP, 16, 32, 112>,
                                     Family<FP16L2, 32, 16, 128>, Family<FP16IP, 32, 16, 128>,
                                     Family<SQ8L2, 64, 8, 128>, Family<SQ8IP, 64, 8, 128>,
                                     Family<SQ4L2, 128, 4, 128>, Family<SQ4IP, 128, 4, 128>>;

template <typename F>
class QuantizerTest : public testing::Test {
 protected:
  using Q = typename F::Quant;

  // n rows of dimension d with values in [-3, 3], a few of them NaN or infinite.
  static std::vector<float> Rows(int n, int d) {
    std::mt19937 rng(7 + d);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    std::vector<float> rows(static_cast<size_t>(n) * d);
    for (float& x : rows) x = value(rng);
    rows[rows.size() / 2] = NAN;
    rows[rows.size() / 3] = -INFINITY;
    return rows;
  }

  // The quantizer for d, calibrated over the rows, with every row encoded into its codes.
  static Q Encoded(int d, const std::vector<float>& rows) {
    const int n = static_cast<int>(rows.size() / d);
    Q q = CalibratedQuantizer<Q>(d, rows);
    q.AllocateCodes();
    for (int r = 0; r < n; ++r) q.EncodeRow(rows.data() + static_cast<size_t>(r) * d, q.codes + r * q.code_size);
    EXPECT_EQ(q.n, n);
    return q;
  }

  // Every bit from component d on is zero.
  static void ExpectZeroAfter(const uint8_t* code, uint64_t code_size, int d) {
    const uint64_t bits = static_cast<uint64_t>(d) * F::kCodeBits;
    if (bits % 8 != 0) {
      EXPECT_EQ(code[bits / 8] >> (bits % 8), 0) << "byte " << bits / 8;
    }
    for (uint64_t b = (bits + 7) / 8; b < code_size; ++b) ASSERT_EQ(code[b], 0) << "byte " << b;
  }
};
TYPED_TEST_SUITE(QuantizerTest, AllQuantizers);

TYPED_TEST(QuantizerTest, ShapeFollowsTheBlock) {
  using Q = typename TestFixture::Q;
  const Q empty;
  EXPECT_EQ(empty.d, 0);
  EXPECT_EQ(empty.d_align, 0);
  EXPECT_EQ(empty.n, 0);
  EXPECT_EQ(empty.code_size, 0u);
  EXPECT_EQ(empty.codes, nullptr);

  struct Case {
    int d, d_align;
  };
  for (const Case& c : {Case{1, TypeParam::kBlock}, Case{100, TypeParam::kDAlign100},
                        Case{TypeParam::kBlock, TypeParam::kBlock}, Case{TypeParam::kBlock + 1, 2 * TypeParam::kBlock},
                        Case{2999, (2999 + TypeParam::kBlock - 1) / TypeParam::kBlock * TypeParam::kBlock}}) {
    Q q;
    StdoutOf([&] { q = Q(c.d); });
    EXPECT_EQ(q.d, c.d);
    EXPECT_EQ(q.d_align, c.d_align) << "d " << c.d;
    EXPECT_EQ(q.code_size, static_cast<uint64_t>(c.d_align) * TypeParam::kCodeBits / 8);
    EXPECT_EQ(q.code_size % 64, 0u);
    EXPECT_EQ(q.n, 0);
    EXPECT_EQ(q.codes, nullptr);
  }
  Q one;
  StdoutOf([&] { one = Q(1); });
  EXPECT_EQ(one.code_size, 64u);
}

TYPED_TEST(QuantizerTest, CodesAreZeroAfterTheLastComponent) {
  for (int d : {1, 99, 100}) {
    SCOPED_TRACE(d);
    const int n = 9;
    const std::vector<float> rows = TestFixture::Rows(n, d);
    const typename TestFixture::Q q = TestFixture::Encoded(d, rows);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(q.codes) % 64, 0u);
    for (int r = 0; r < n; ++r) {
      EXPECT_EQ(q.Code(r), q.codes + r * q.code_size);
      TestFixture::ExpectZeroAfter(q.Code(r), q.code_size, d);
    }
    const std::vector<float> query(rows.begin(), rows.begin() + d);
    TestFixture::ExpectZeroAfter(QueryCode(q, query).data(), q.code_size, d);
  }
}

TYPED_TEST(QuantizerTest, MovesHandOverCodesAndCalibration) {
  using Q = typename TestFixture::Q;
  const int d = 5, n = 4;
  const std::vector<float> rows = TestFixture::Rows(n, d);
  Q source = TestFixture::Encoded(d, rows);
  uint8_t* const codes = source.codes;

  Q moved(std::move(source));
  EXPECT_EQ(source.codes, nullptr);
  EXPECT_EQ(source.d, 0);
  EXPECT_EQ(source.code_size, 0u);
  EXPECT_EQ(moved.codes, codes);
  EXPECT_EQ(moved.n, n);

  Q target = TestFixture::Encoded(d, TestFixture::Rows(2, d));  // its codes go with the assignment
  target = std::move(moved);
  EXPECT_EQ(moved.codes, nullptr);
  EXPECT_EQ(moved.n, 0);
  ASSERT_EQ(target.codes, codes);
  EXPECT_EQ(target.n, n);
  for (int r = 0; r < n; ++r) {
    const std::vector<float> row(rows.begin() + r * d, rows.begin() + (r + 1) * d);
    const std::vector<uint8_t> again = RowCode(target, row);
    EXPECT_EQ(std::vector<uint8_t>(target.Code(r), target.Code(r) + target.code_size), again) << "row " << r;
  }
}

TYPED_TEST(QuantizerTest, NoRowsGiveNoCodeBytes) {
  using Q = typename TestFixture::Q;
  Q q = CalibratedQuantizer<Q>(3, {});
  EXPECT_EQ(q.n, 0);
  q.AllocateCodes();  // a block of no bytes (or none at all) is not a failure
}

TEST(QuantizerAllocateCodes, ThrowsWhenTheBlockCannotBeHad) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer allocator aborts on this request instead of failing it";
#else
  FP32L2 q(1 << 28);  // 1 GiB codes
  q.n = INT32_MAX;
  EXPECT_THROW(q.AllocateCodes(), std::bad_alloc);
  EXPECT_EQ(q.codes, nullptr);
#endif
}

// Construction and Calibrate over two rows of dimension 3; what they print.
template <typename Q>
std::string LinesOfConstructAndCalibrate() {
  const std::vector<float> rows = {1.0f, -2.0f, 3.0f, 0.5f, 0.25f, -0.125f};
  return StdoutOf([&] {
    Q q(3);
    q.Calibrate(rows.data(), 2);
  });
}

TEST(QuantizerLines, EachFamilyPrintsItsOwn) {
  struct Case {
    const char* name;
    std::string (*run)();
    std::string lines;
  };
  const Case cases[] = {
      {"FP32 L2", &LinesOfConstructAndCalibrate<FP32L2>,
       "FP32Quantizer are exact quantizer, not exact works needed for train.\n"},
      {"FP32 IP", &LinesOfConstructAndCalibrate<FP32IP>,
       "FP32Quantizer are exact quantizer, not exact works needed for train.\n"},
      {"FP16 L2", &LinesOfConstructAndCalibrate<FP16L2>,
       "[FP16 L2 Quant] d:3, d_align:32, code_size:64, data_size: 2\n"
       "FP16L2 Quantizer are exact quantizer, not exact works needed for train.\n"},
      {"FP16 IP", &LinesOfConstructAndCalibrate<FP16IP>,
       "FP16IP Quantizer are exact quantizer, not exact works needed for train.\n"},
      {"SQ8 L2", &LinesOfConstructAndCalibrate<SQ8L2>, ""},
      {"SQ8 IP", &LinesOfConstructAndCalibrate<SQ8IP>, ""},
      {"SQ4 IP", &LinesOfConstructAndCalibrate<SQ4IP>, ""},
      {"SQ4 L2", &LinesOfConstructAndCalibrate<SQ4L2>,
       "[INFO] Start SQ4 train, params: top:1, n:2, d:3, drop_ratio:0.0100\n"
       "[INFO] Done SQ4 train, minn:-2.000000, maxx:3.000000, dif:5.000000\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.run(), c.lines) << c.name;
}

}  // namespace
}  // namespace vexa
