#include "engine/search/quant/sq4_l2_quantizer.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "engine/search/memory/team_blocks.h"
#include "engine/search/quant/scalar_rounding.h"

namespace vexa {
namespace {

// The values are ranked by an unsigned key that orders as the floats do, with -0 just below +0.
uint32_t KeyOf(float x) {
  uint32_t bits;
  std::memcpy(&bits, &x, sizeof(bits));
  return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

float ValueOf(uint32_t key) {
  const uint32_t bits = (key & 0x80000000u) != 0 ? key & 0x7fffffffu : ~key;
  float x;
  std::memcpy(&x, &bits, sizeof(x));
  return x;
}

constexpr int kDigitBits = 16;
constexpr size_t kDigits = size_t{1} << kDigitBits;

// Counts of a 16-bit digit of the keys, one table per thread of a team.
using DigitCounts = std::vector<std::vector<uint64_t>>;

// The digit whose keys hold the one of ascending rank `rank` among the counts of every thread,
// summed in thread order; rank becomes its rank among the keys of that digit.
uint32_t DigitOfRank(const DigitCounts& counts, int team, uint64_t& rank) {
  for (size_t digit = 0; digit < kDigits; ++digit) {
    uint64_t here = 0;
    for (int t = 0; t < team; ++t) here += counts[t][digit];
    if (rank < here) return static_cast<uint32_t>(digit);
    rank -= here;
  }
  return static_cast<uint32_t>(kDigits - 1);  // not reached: the rank is below the count
}

// The keys of the top-th smallest and the top-th largest non-NaN values (the largest and the
// smallest when there are fewer), by two passes over the team: one counts the high 16 bits of the
// keys, which places both ranks in a digit, the other the low 16 bits within those two digits.
// Sets the zero flags from the first pass; false when every value is a NaN.
bool TrimmedKeys(const float* rows, int64_t count, uint64_t top, uint32_t keys[2], bool* positiveZero,
                 bool* negativeZero) {
  // Each thread makes its own tables, so that they are zeroed in parallel and near it.
  const int threads = omp_get_max_threads();
  DigitCounts high(threads);
  // Per thread: whether it met +0 and whether it met -0.
  std::vector<std::pair<bool, bool>> zeros(static_cast<size_t>(threads), {false, false});
  const int team = ForEachTeamBlock(count, [&](int t, int64_t begin, int64_t end) {
    std::vector<uint64_t>& own = high[t];
    own.assign(kDigits, 0);
    bool positive = false;
    bool negative = false;
    for (int64_t i = begin; i < end; ++i) {
      const float x = rows[i];
      if (std::isnan(x)) continue;
      ++own[KeyOf(x) >> kDigitBits];
      if (x == 0.0f) (std::signbit(x) ? negative : positive) = true;
    }
    zeros[t] = {positive, negative};
  });
  uint64_t numbers = 0;
  *positiveZero = false;
  *negativeZero = false;
  for (int t = 0; t < team; ++t) {
    for (const uint64_t n : high[t]) numbers += n;
    *positiveZero = *positiveZero || zeros[t].first;
    *negativeZero = *negativeZero || zeros[t].second;
  }
  if (numbers == 0) return false;
  const uint64_t kept = std::min<uint64_t>(top, numbers);
  uint64_t ranks[2] = {kept - 1, numbers - kept};  // ascending
  uint32_t digits[2];
  for (int e = 0; e < 2; ++e) digits[e] = DigitOfRank(high, team, ranks[e]);
  high = DigitCounts();
  DigitCounts low[2] = {DigitCounts(threads), DigitCounts(threads)};
  const int lowTeam = ForEachTeamBlock(count, [&](int t, int64_t begin, int64_t end) {
    for (int e = 0; e < 2; ++e) low[e][t].assign(kDigits, 0);
    for (int64_t i = begin; i < end; ++i) {
      if (std::isnan(rows[i])) continue;
      const uint32_t key = KeyOf(rows[i]);
      for (int e = 0; e < 2; ++e) {
        if (key >> kDigitBits == digits[e]) ++low[e][t][key & (kDigits - 1)];
      }
    }
  });
  for (int e = 0; e < 2; ++e) keys[e] = digits[e] << kDigitBits | DigitOfRank(low[e], lowTeam, ranks[e]);
  return true;
}

// One pass of bounded heaps over every value in order, as the trimming is defined: the top values
// that rank first under Compare, equal values not exchanged; the top-th of them (the last when
// fewer). Only this tells which zero the range ends at when both zeros occur.
template <typename Compare>
float TopOfOnePass(const float* rows, int64_t count, uint64_t top) {
  std::vector<float> heap;
  heap.reserve(static_cast<size_t>(top));
  for (int64_t i = 0; i < count; ++i) {
    const float x = rows[i];
    if (std::isnan(x)) continue;
    if (heap.size() < top) {
      heap.push_back(x);
      std::push_heap(heap.begin(), heap.end(), Compare());
    } else if (Compare()(x, heap.front())) {
      std::pop_heap(heap.begin(), heap.end(), Compare());
      heap.back() = x;
      std::push_heap(heap.begin(), heap.end(), Compare());
    }
  }
  return heap.front();
}

}  // namespace

uint64_t SQ4L2Codec::TrimCount(int64_t count) {
  return static_cast<uint64_t>(std::fma(static_cast<float>(count), kDropRatio, 1.0f));
}

void SQ4L2Codec::Fit(const float* rows, int n, int d) {
  const int64_t count = n > 0 && d > 0 ? int64_t{n} * d : 0;
  const uint64_t top = TrimCount(count);
  std::printf("[INFO] Start SQ4 train, params: top:%zu, n:%d, d:%d, drop_ratio:%.4f\n", static_cast<size_t>(top), n,
              d, static_cast<double>(kDropRatio));
  if (count > 0) Trim(rows, count, top);
  dif = maxx - minn;
  std::printf("[INFO] Done SQ4 train, minn:%.6f, maxx:%.6f, dif:%.6f\n", static_cast<double>(minn),
              static_cast<double>(maxx), static_cast<double>(dif));
}

// The bounds are found by counting digits of order-keeping keys over the team. Their values are
// exact, but a zero among them could still be +0 or -0, which one pass of the heaps tells apart
// only by the order in which it met the zeros, so when both zeros occur and the range ends at
// zero, that pass is made instead.
void SQ4L2Codec::Trim(const float* rows, int64_t count, uint64_t top) {
  uint32_t keys[2];
  bool positiveZero = false;
  bool negativeZero = false;
  if (!TrimmedKeys(rows, count, top, keys, &positiveZero, &negativeZero)) return;  // every value is a NaN
  float low = ValueOf(keys[0]);
  float high = ValueOf(keys[1]);
  if ((low == 0.0f || high == 0.0f) && positiveZero && negativeZero) {
    low = TopOfOnePass<std::less<float>>(rows, count, top);
    high = TopOfOnePass<std::greater<float>>(rows, count, top);
  } else if (low == 0.0f || high == 0.0f) {
    const float zero = negativeZero ? -0.0f : 0.0f;
    if (low == 0.0f) low = zero;
    if (high == 0.0f) high = zero;
  }
  minn = low;
  maxx = high;
}

void SQ4L2Codec::EncodeVector(const float* row, int d, uint8_t* code) const {
  for (int j = 0; j < d; ++j) {
    const float t = Clamp((row[j] - minn) / dif, 0.0f, 1.0f);
    SetNibble(code, j, AddHalfAndTruncate(t * 15.0f));
  }
}

}  // namespace vexa
