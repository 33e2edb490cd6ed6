#include "engine/build/insert_candidate.h"

#include <cstring>

namespace vexa {

int InsertCandidate(Candidate* list, int K, Candidate c) {
  const float x = c.distance;
  if (list[0].distance > x) {
    std::memmove(list + 1, list, static_cast<size_t>(K) * sizeof(Candidate));
    list[0] = c;
    return 0;
  }
  if (list[K - 1].distance < x) {
    list[K] = c;
    return K;
  }
  int lo = 0;
  int hi = K - 1;
  while (lo < hi - 1) {
    const int mid = (lo + hi) / 2;
    if (list[mid].distance > x) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  // hi is now the first position farther than x, or K - 1. Only the run of equal distances
  // ending at lo, the entry below it and list[hi] are checked for the same id.
  int p = lo;
  if (lo > 0) {
    while (!(list[p].distance < x)) {
      if (list[p].id == c.id) return K + 1;
      if (--p == 0) break;
    }
  }
  if (list[p].id == c.id || list[hi].id == c.id) return K + 1;
  std::memmove(list + hi + 1, list + hi, static_cast<size_t>(K - hi) * sizeof(Candidate));
  list[hi] = c;
  return hi;
}

}  // namespace vexa
