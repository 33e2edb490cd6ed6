#ifndef TARVO_ENGINE_SEARCH_SEARCHER_DISTANCE_CONTEXT_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_DISTANCE_CONTEXT_H_

#include <cstdint>

namespace vexa {

// What the distance computations of one query read: the searcher's coarse quantizer (its codes,
// code_size and d_align) and the encoded query. Made per query; points to data it does not own.
template <typename Q>
struct DistanceContext {
  const Q* quant;
  const uint8_t* queryCode;  // code_size bytes, 64-byte aligned
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_DISTANCE_CONTEXT_H_
