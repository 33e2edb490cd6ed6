#include "engine/search/memory/visited_bitset.h"

#include <algorithm>

namespace vexa {

void VisitedBitset::Clear() {
  // A full list may have left ids out; a walk that set that many clears as fast in one sweep.
  if (set_.size() >= words_.size()) {
    std::fill(words_.begin(), words_.end(), uint64_t{0});
  } else {
    for (const int id : set_) words_[static_cast<uint32_t>(id) >> 6] = 0;
  }
  set_.clear();
}

void VisitedBitset::ClearFor(size_t n) {
  Clear();
  const size_t words = (n + 63) / 64;
  if (words_.size() < words) words_.resize(words, 0);
}

VisitedBitset& ThreadVisitedBitset() {
  thread_local VisitedBitset set;
  return set;
}

}  // namespace vexa
