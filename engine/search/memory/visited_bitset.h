#ifndef TARVO_ENGINE_SEARCH_MEMORY_VISITED_BITSET_H_
#define TARVO_ENGINE_SEARCH_MEMORY_VISITED_BITSET_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa {

// The nodes a walk has visited: one bit per node, and the list of the nodes set since the last
// Clear, so that clearing costs what the walk visited rather than what there is room for. The list
// stops at one id per word (a walk that sets that many ids is cleared in one sweep of the words),
// so it never holds more than half the bitset's bytes. One set serves its thread's walks one after
// another, over graphs of any size.
class VisitedBitset {
 public:
  VisitedBitset() = default;
  // Room for the ids [0, n), none set.
  explicit VisitedBitset(size_t n) : words_((n + 63) / 64, 0) {}

  // Whether id (in [0, size())) is set.
  bool Test(int id) const { return (words_[static_cast<uint32_t>(id) >> 6] >> (id & 63)) & 1; }
  // Sets id (in [0, size())).
  void Set(int id) {
    uint64_t& word = words_[static_cast<uint32_t>(id) >> 6];
    const uint64_t bit = uint64_t{1} << (id & 63);
    if ((word & bit) != 0) return;
    word |= bit;
    if (set_.size() < words_.size()) set_.push_back(id);
  }
  // Asks the cache for the word of id (in [0, size())), ahead of Test.
  void Prefetch(int id) const { __builtin_prefetch(words_.data() + (static_cast<uint32_t>(id) >> 6)); }
  // Clears every id set since the last Clear.
  void Clear();
  // Clears every id and makes room for the ids [0, n) (the room never shrinks). Throws
  // std::bad_alloc when the room cannot be had.
  void ClearFor(size_t n);
  // The ids there is room for.
  size_t size() const { return words_.size() * 64; }

 private:
  std::vector<uint64_t> words_;  // bit id mod 64 of word id / 64
  std::vector<int> set_;         // the ids set since the last Clear, each once, up to one per word
};

// The calling thread's set, which every query and HNSW layer search of the thread reuses, one
// after another (a walk never runs inside another on one thread). It lives as long as the thread
// and keeps the room of the largest graph the thread has walked: one bit per node.
VisitedBitset& ThreadVisitedBitset();

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_VISITED_BITSET_H_
