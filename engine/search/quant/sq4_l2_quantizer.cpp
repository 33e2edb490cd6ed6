#include "engine/search/quant/sq4_l2_quantizer.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <queue>
#include <vector>

#include "engine/search/quant/scalar_rounding.h"

namespace vexa {
namespace {

// Keeps the `top` values that rank first under Compare (with std::less: the smallest); the top of
// the heap is then the top-th of them. Equal values are not exchanged.
template <typename Compare>
class BoundedHeap {
 public:
  explicit BoundedHeap(uint64_t top) : top_(top) {}
  // Offers one value. A NaN has no rank and is left out, as max and min leave it out elsewhere.
  void Offer(float x) {
    if (std::isnan(x)) return;
    if (heap_.size() < top_) {
      heap_.push(x);
    } else if (Compare()(x, heap_.top())) {
      heap_.pop();
      heap_.push(x);
    }
  }
  // Whether no value has been kept.
  bool empty() const { return heap_.empty(); }
  // The top-th value kept (the last one when fewer were offered); the heap is not empty.
  float Top() const { return heap_.top(); }

 private:
  uint64_t top_;
  std::priority_queue<float, std::vector<float>, Compare> heap_;  // its top is the worst kept value
};

}  // namespace

uint64_t SQ4L2Codec::TrimCount(int64_t count) {
  return static_cast<uint64_t>(std::fma(static_cast<float>(count), kDropRatio, 1.0f));
}

void SQ4L2Codec::Fit(const float* rows, int n, int d) {
  const int64_t count = n > 0 && d > 0 ? int64_t{n} * d : 0;
  const uint64_t top = TrimCount(count);
  std::printf("[INFO] Start SQ4 train, params: top:%zu, n:%d, d:%d, drop_ratio:%.4f\n", static_cast<size_t>(top), n,
              d, static_cast<double>(kDropRatio));
  if (count > 0) {
    BoundedHeap<std::less<float>> low(top);      // the smallest values, largest on top
    BoundedHeap<std::greater<float>> high(top);  // the largest values, smallest on top
    for (int64_t i = 0; i < count; ++i) {
      low.Offer(rows[i]);
      high.Offer(rows[i]);
    }
    if (!low.empty()) {
      minn = low.Top();
      maxx = high.Top();
    }
  }
  dif = maxx - minn;
  std::printf("[INFO] Done SQ4 train, minn:%.6f, maxx:%.6f, dif:%.6f\n", static_cast<double>(minn),
              static_cast<double>(maxx), static_cast<double>(dif));
}

void SQ4L2Codec::EncodeVector(const float* row, int d, uint8_t* code) const {
  for (int j = 0; j < d; ++j) {
    const float t = Clamp((row[j] - minn) / dif, 0.0f, 1.0f);
    SetNibble(code, j, AddHalfAndTruncate(t * 15.0f));
  }
}

}  // namespace vexa
