// The calibrations run in the calling thread's OpenMP team; whatever its size, they must give
// the bits of one pass over the values in row order, as written out here: the largest magnitude,
// the per-dimension extremes (zeros ordered, +0 above -0) and the trimmed range of two bounded
// heaps.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <queue>
#include <random>
#include <vector>

#include "engine/search/quant/scalar_rounding.h"
#include "engine/search/quant/sq4_ip_quantizer.h"
#include "engine/search/quant/sq4_l2_quantizer.h"
#include "engine/search/quant/sq8_ip_quantizer.h"
#include "engine/search/quant/sq8_l2_quantizer.h"
#include "tests/search/quant/quantizer_testing.h"

namespace vexa {
namespace {

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

// Values where the order of a reduction would show: zeros of both signs, repeats, NaNs and
// infinities among ordinary numbers.
enum class Mix { kOrdinary, kBothZeros, kNegativeZerosOnly, kMostlyZeros };

std::vector<float> Values(Mix mix, size_t count, std::mt19937& rng) {
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::vector<float> values(count);
  for (float& v : values) {
    const uint32_t r = rng() % 100;
    v = std::round(normal(rng) * 4.0f) / 4.0f;  // many repeats
    if (mix == Mix::kOrdinary && r < 2) v = std::numeric_limits<float>::quiet_NaN();
    if (mix == Mix::kOrdinary && r == 2) v = (rng() % 2 ? 1 : -1) * std::numeric_limits<float>::infinity();
    if (mix == Mix::kBothZeros && r < 30) v = rng() % 2 ? 0.0f : -0.0f;
    if (mix == Mix::kNegativeZerosOnly && r < 30) v = -0.0f;
    if (mix == Mix::kNegativeZerosOnly && v == 0.0f) v = -0.0f;
    if (mix == Mix::kMostlyZeros) v = r < 90 ? 0.0f : std::fabs(v);
  }
  return values;
}

// The trimmed bounds of one pass: heaps of the top smallest and largest, equal values not
// exchanged, NaNs left out.
template <typename Compare>
float TrimmedBound(const std::vector<float>& values, uint64_t top, float none) {
  std::priority_queue<float, std::vector<float>, Compare> heap;
  for (const float x : values) {
    if (std::isnan(x)) continue;
    if (heap.size() < top) {
      heap.push(x);
    } else if (Compare()(x, heap.top())) {
      heap.pop();
      heap.push(x);
    }
  }
  return heap.empty() ? none : heap.top();
}

// Calibrates a fresh quantizer for dimension d over values in a team of `threads`.
template <typename Q>
Q CalibratedInTeam(int d, const std::vector<float>& values, int threads) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  Q q = CalibratedQuantizer<Q>(d, values);
  omp_set_num_threads(saved);
  return q;
}

const int kTeams[] = {1, 2, 3, 5, 8};
const Mix kMixes[] = {Mix::kOrdinary, Mix::kBothZeros, Mix::kNegativeZerosOnly, Mix::kMostlyZeros};

TEST(ParallelCalibration, LargestMagnitudeOfEveryTeamIsThatOfOnePass) {
  std::mt19937 rng(3);
  for (const Mix mix : kMixes) {
    for (const int n : {1, 7, 1001}) {
      const int d = 13;
      const std::vector<float> values = Values(mix, static_cast<size_t>(n) * d, rng);
      float expected = -INFINITY;
      for (const float x : values) expected = std::fmax(expected, std::fabs(x));
      for (const int threads : kTeams) {
        EXPECT_EQ(Bits(CalibratedInTeam<NewSQ8IPQuantizer<Metric::IP>>(d, values, threads).scale), Bits(expected))
            << "SQ8 IP, mix " << static_cast<int>(mix) << ", n " << n << ", team " << threads;
        EXPECT_EQ(Bits(CalibratedInTeam<NewSQ4IPQuantizer<Metric::IP>>(d, values, threads).scale), Bits(expected))
            << "SQ4 IP, mix " << static_cast<int>(mix) << ", n " << n << ", team " << threads;
      }
    }
  }
}

TEST(ParallelCalibration, DimensionRangesOfEveryTeamAreThoseOfOnePass) {
  std::mt19937 rng(5);
  for (const Mix mix : kMixes) {
    for (const int n : {1, 7, 1001}) {
      const int d = 13;
      const std::vector<float> values = Values(mix, static_cast<size_t>(n) * d, rng);
      std::vector<float> maxx(d, -INFINITY), minn(d, INFINITY);
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < d; ++j) {
          maxx[j] = MaxNumber(maxx[j], values[static_cast<size_t>(i) * d + j]);
          minn[j] = MinNumber(minn[j], values[static_cast<size_t>(i) * d + j]);
        }
      }
      float dif = -INFINITY;
      for (int j = 0; j < d; ++j) dif = std::fmax(dif, maxx[j] - minn[j]);

      for (const int threads : kTeams) {
        const auto q = CalibratedInTeam<NewSQ8L2Quantizer<Metric::L2>>(d, values, threads);
        for (int j = 0; j < d; ++j) {
          EXPECT_EQ(Bits(q.maxx[j]), Bits(maxx[j])) << "mix " << static_cast<int>(mix) << ", team " << threads;
          EXPECT_EQ(Bits(q.minn[j]), Bits(minn[j])) << "mix " << static_cast<int>(mix) << ", team " << threads;
        }
        EXPECT_EQ(Bits(q.dif), Bits(dif)) << "mix " << static_cast<int>(mix) << ", team " << threads;
      }
    }
  }
}

// Trimming 1 % of 64 x 260 values keeps 167 at each end: with 30 % zeros the lower bound is a
// zero, and which zero it is depends on the order in which one pass met them.
TEST(ParallelCalibration, TrimmedRangeOfEveryTeamIsThatOfOnePass) {
  std::mt19937 rng(7);
  for (const Mix mix : kMixes) {
    for (const int n : {1, 7, 64, 1001}) {
      const int d = 260;
      const std::vector<float> values = Values(mix, static_cast<size_t>(n) * d, rng);
      const uint64_t top = SQ4L2Codec::TrimCount(static_cast<int64_t>(values.size()));
      const float minn = TrimmedBound<std::less<float>>(values, top, INFINITY);
      const float maxx = TrimmedBound<std::greater<float>>(values, top, -INFINITY);
      for (const int threads : kTeams) {
        const auto q = CalibratedInTeam<NewSQ4L2Quantizer<Metric::L2>>(d, values, threads);
        EXPECT_EQ(Bits(q.minn), Bits(minn)) << "mix " << static_cast<int>(mix) << ", n " << n << ", team " << threads;
        EXPECT_EQ(Bits(q.maxx), Bits(maxx)) << "mix " << static_cast<int>(mix) << ", n " << n << ", team " << threads;
        EXPECT_EQ(Bits(q.dif), Bits(maxx - minn)) << "mix " << static_cast<int>(mix) << ", team " << threads;
      }
    }
  }
}

}  // namespace
}  // namespace vexa
