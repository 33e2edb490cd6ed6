#ifndef TARVO_ENGINE_SEARCH_SEARCHER_POOL_ENTRY_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_POOL_ENTRY_H_

#include <cstdint>

namespace vexa {

// Bit 31 of a pool entry's id: set once the entry has been taken for expansion.
constexpr int32_t kCheckedFlag = INT32_MIN;
// Bits 0 to 30 of a pool entry's id: the node.
constexpr int32_t kNodeIdMask = INT32_MAX;

// One candidate of a query's pool: a node (with the checked flag in bit 31) and its coarse
// distance, float or int32 as the quantizer's kernels give it.
template <typename T>
struct PoolEntry {
  int32_t id;
  T distance;
};

static_assert(sizeof(PoolEntry<float>) == 8 && sizeof(PoolEntry<int32_t>) == 8, "pool entries are 8 bytes");

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_POOL_ENTRY_H_
