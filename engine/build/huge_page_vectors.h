#ifndef TARVO_ENGINE_BUILD_HUGE_PAGE_VECTORS_H_
#define TARVO_ENGINE_BUILD_HUGE_PAGE_VECTORS_H_

#include <vector>

#include "engine/search/memory/alloc_aligned.h"

namespace vexa {

// A copy of the n vectors of dim floats of a chunk table (2^consecutiveLog vectors per chunk) in
// one block with the huge-page hint, behind a chunk table of its own with the same shift. A build
// reads its vectors again and again in no order; from huge pages those reads take a small share
// of the address translations that the caller's pages would cost them.
class HugePageVectors {
 public:
  // Copies in the calling thread's OpenMP team. Throws std::bad_alloc.
  HugePageVectors(float** source, int consecutiveLog, int n, int dim);
  HugePageVectors(const HugePageVectors&) = delete;
  HugePageVectors& operator=(const HugePageVectors&) = delete;

  // The copy's chunk table.
  float** chunks() { return table_.data(); }

 private:
  FreePtr<float> block_;       // the rows, one after the other
  std::vector<float*> table_;  // chunk c starts at row c << consecutiveLog
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_HUGE_PAGE_VECTORS_H_
