#ifndef TARVO_ENGINE_BUILD_VISITED_BITSET_H_
#define TARVO_ENGINE_BUILD_VISITED_BITSET_H_

#include <cstdint>
#include <vector>

namespace vexa {

// One bit per node, all clear at the start. A search clears the bits it set through Reset, so
// that one set serves a thread's searches one after the other.
class VisitedBitset {
 public:
  explicit VisitedBitset(int64_t n) : words_(static_cast<size_t>((n + 63) / 64), 0) {}

  // Whether id is marked.
  bool Test(int id) const { return (words_[static_cast<uint32_t>(id) >> 6] >> (id & 63)) & 1; }
  // Marks id.
  void Set(int id) { words_[static_cast<uint32_t>(id) >> 6] |= uint64_t{1} << (id & 63); }
  // Clears the mark of id.
  void Reset(int id) { words_[static_cast<uint32_t>(id) >> 6] &= ~(uint64_t{1} << (id & 63)); }

 private:
  std::vector<uint64_t> words_;
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_VISITED_BITSET_H_
