#include "engine/search/quant/sq4_l2_quantizer.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <vector>

#include "engine/search/memory/team_blocks.h"
#include "engine/search/quant/scalar_rounding.h"

namespace vexa {
namespace {

// Keeps the `top` values that rank first under Compare (with std::less: the smallest); the top of
// the heap is then the top-th of them. Equal values are not exchanged.
template <typename Compare>
class BoundedHeap {
 public:
  // Room for top values is taken at once, so offers do not allocate.
  explicit BoundedHeap(uint64_t top) : top_(top) { heap_.reserve(static_cast<size_t>(top)); }
  // Offers one value. A NaN has no rank and is left out, as max and min leave it out elsewhere.
  void Offer(float x) {
    if (std::isnan(x)) return;
    if (heap_.size() < top_) {
      heap_.push_back(x);
      std::push_heap(heap_.begin(), heap_.end(), Compare());
    } else if (Compare()(x, heap_.front())) {
      std::pop_heap(heap_.begin(), heap_.end(), Compare());
      heap_.back() = x;
      std::push_heap(heap_.begin(), heap_.end(), Compare());
    }
  }
  // Whether no value has been kept.
  bool empty() const { return heap_.empty(); }
  // The top-th value kept (the last one when fewer were offered); the heap is not empty.
  float Top() const { return heap_.front(); }
  // The values kept, in heap order.
  const std::vector<float>& Values() const { return heap_; }

 private:
  uint64_t top_;
  std::vector<float> heap_;  // a heap under Compare: its front is the worst kept value
};

// One thread's share of the trimming: the values of its block that rank among its top smallest
// and its top largest, and which zeros it met.
struct TrimPart {
  explicit TrimPart(uint64_t top) : low(top), high(top) {}
  BoundedHeap<std::less<float>> low;
  BoundedHeap<std::greater<float>> high;
  bool positiveZero = false;
  bool negativeZero = false;
};

// The top-th value under Compare of the values that the parts kept (the last one when they kept
// fewer), or nothing when they kept none. The top values ranking first among all values are among
// those some part kept, since each part kept the top ranking first in its block.
template <typename Compare, typename HeapOf>
bool TopOfParts(const std::vector<TrimPart>& parts, int team, uint64_t top, HeapOf heapOf, float* value) {
  std::vector<float> kept;
  for (int t = 0; t < team; ++t) {
    const std::vector<float>& values = heapOf(parts[t]).Values();
    kept.insert(kept.end(), values.begin(), values.end());
  }
  if (kept.empty()) return false;
  const size_t rank = static_cast<size_t>(std::min<uint64_t>(top, kept.size())) - 1;
  std::nth_element(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(rank), kept.end(), Compare());
  *value = kept[rank];
  return true;
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

// Each thread trims its block; the top-th smallest and largest of the values the threads kept
// are those of all values. The numbers are; a zero among them could still be +0 or -0, which the
// heaps of one pass over all values tell apart only by the order in which they met the zeros, so
// when both zeros occur and the range ends at zero, that pass is made instead.
void SQ4L2Codec::Trim(const float* rows, int64_t count, uint64_t top) {
  std::vector<TrimPart> parts;
  for (int t = 0; t < omp_get_max_threads(); ++t) parts.emplace_back(top);
  const int team = ForEachTeamBlock(count, [&](int t, int64_t begin, int64_t end) {
    TrimPart& part = parts[t];
    for (int64_t i = begin; i < end; ++i) {
      const float x = rows[i];
      part.low.Offer(x);
      part.high.Offer(x);
      if (x == 0.0f) (std::signbit(x) ? part.negativeZero : part.positiveZero) = true;
    }
  });
  float low = 0.0f;
  float high = 0.0f;
  if (!TopOfParts<std::less<float>>(parts, team, top, [](const TrimPart& p) -> const auto& { return p.low; }, &low)) {
    return;  // every value is a NaN
  }
  TopOfParts<std::greater<float>>(parts, team, top, [](const TrimPart& p) -> const auto& { return p.high; }, &high);
  bool positiveZero = false;
  bool negativeZero = false;
  for (int t = 0; t < team; ++t) {
    positiveZero = positiveZero || parts[t].positiveZero;
    negativeZero = negativeZero || parts[t].negativeZero;
  }
  if ((low == 0.0f || high == 0.0f) && positiveZero && negativeZero) {
    parts.clear();
    BoundedHeap<std::less<float>> lowest(top);
    BoundedHeap<std::greater<float>> highest(top);
    for (int64_t i = 0; i < count; ++i) {
      lowest.Offer(rows[i]);
      highest.Offer(rows[i]);
    }
    low = lowest.Top();
    high = highest.Top();
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
