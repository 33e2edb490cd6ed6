#ifndef TARVO_ENGINE_INDEX_SEARCH_SPLIT_H_
#define TARVO_ENGINE_INDEX_SEARCH_SPLIT_H_

#include <cstdint>

namespace vexa {

// The rows begin .. end - 1 of a batch that one thread of a search team answers.
struct RowRange {
  int64_t begin;
  int64_t end;
};

// Thread t of a team of T takes one contiguous block of the n rows; the first n mod T threads
// take one row more than the others, so the blocks follow each other in thread order.
inline RowRange StaticSplit(int64_t n, int T, int t) {
  const int64_t q = n / T;
  const int64_t r = n - q * T;
  if (t < r) return RowRange{t * (q + 1), t * (q + 1) + q + 1};
  return RowRange{t * q + r, t * q + r + q};
}

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_SEARCH_SPLIT_H_
