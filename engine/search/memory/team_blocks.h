#ifndef TARVO_ENGINE_SEARCH_MEMORY_TEAM_BLOCKS_H_
#define TARVO_ENGINE_SEARCH_MEMORY_TEAM_BLOCKS_H_

#include <omp.h>

#include <cstdint>

namespace vexa {

// Splits [0, n) into one contiguous block per thread of the calling thread's default OpenMP team,
// in thread order, the first n mod T of the T threads taking one index more (as a static loop
// schedule splits), and calls block(t, begin, end) on thread t for its block. Gives T, at most
// omp_get_max_threads(). A reduction whose parts are combined in thread order thus combines them
// in the order of the indices. block must not throw.
template <typename Block>
int ForEachTeamBlock(int64_t n, Block&& block) {
  int team = 1;
#pragma omp parallel
  {
    const int T = omp_get_num_threads();
    const int t = omp_get_thread_num();
#pragma omp single nowait
    team = T;
    const int64_t base = n / T;
    const int64_t extra = n % T;
    const int64_t begin = t * base + (t < extra ? t : extra);
    block(t, begin, begin + base + (t < extra ? 1 : 0));
  }
  return team;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_MEMORY_TEAM_BLOCKS_H_
