#ifndef TARVO_ENGINE_SEARCH_MEMORY_PREFETCH_H_
#define TARVO_ENGINE_SEARCH_MEMORY_PREFETCH_H_

#include <cstdint>

namespace vexa {

// Most 64-byte lines that one call prefetches (1792 bytes).
constexpr unsigned kMaxPrefetchLines = 28;

// Issues a read prefetch into the first-level cache, keeping the line (temporal hint).
struct L1ReadPrefetch {
  void operator()(const void* line) const { __builtin_prefetch(line, 0, 3); }
};

// Hands `issue` the addresses of the 64-byte lines at address + 64k for k = 0 to m - 1, in that
// order, where m = lines for 0 to 27 and 28 otherwise (lines compared as unsigned, so a negative
// count gives 28). Straight-line code: entering the switch at m falls through the remaining lines.
template <typename Issue>
inline void PrefetchLinesWith(Issue issue, const void* address, int lines) {
  const unsigned m = static_cast<unsigned>(lines) < kMaxPrefetchLines ? static_cast<unsigned>(lines)
                                                                       : kMaxPrefetchLines;
  // Line k of m is the one m - k lines before the end, so case n issues end - 64n.
  const uintptr_t end = reinterpret_cast<uintptr_t>(address) + 64u * m;
#define TARVO_PREFETCH_CASE(n) \
  case n:                      \
    issue(reinterpret_cast<const void*>(end - 64u * (n))); \
    [[fallthrough]];
  switch (m) {
    TARVO_PREFETCH_CASE(28)
    TARVO_PREFETCH_CASE(27)
    TARVO_PREFETCH_CASE(26)
    TARVO_PREFETCH_CASE(25)
    TARVO_PREFETCH_CASE(24)
    TARVO_PREFETCH_CASE(23)
    TARVO_PREFETCH_CASE(22)
    TARVO_PREFETCH_CASE(21)
    TARVO_PREFETCH_CASE(20)
    TARVO_PREFETCH_CASE(19)
    TARVO_PREFETCH_CASE(18)
    TARVO_PREFETCH_CASE(17)
    TARVO_PREFETCH_CASE(16)
    TARVO_PREFETCH_CASE(15)
    TARVO_PREFETCH_CASE(14)
    TARVO_PREFETCH_CASE(13)
    TARVO_PREFETCH_CASE(12)
    TARVO_PREFETCH_CASE(11)
    TARVO_PREFETCH_CASE(10)
    TARVO_PREFETCH_CASE(9)
    TARVO_PREFETCH_CASE(8)
    TARVO_PREFETCH_CASE(7)
    TARVO_PREFETCH_CASE(6)
    TARVO_PREFETCH_CASE(5)
    TARVO_PREFETCH_CASE(4)
    TARVO_PREFETCH_CASE(3)
    TARVO_PREFETCH_CASE(2)
    TARVO_PREFETCH_CASE(1)
    default:
      break;
  }
#undef TARVO_PREFETCH_CASE
}

// Prefetches up to 28 lines from address for reading (see PrefetchLinesWith). Never changes a
// result and reads no memory itself.
inline void PrefetchLines(const void* address, int lines) {
  PrefetchLinesWith(L1ReadPrefetch(), address, lines);
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_PREFETCH_H_
