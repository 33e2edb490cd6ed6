#ifndef TARVO_ENGINE_INDEX_SEARCH_TEAM_H_
#define TARVO_ENGINE_INDEX_SEARCH_TEAM_H_

#include <omp.h>

#include <cstdint>
#include <exception>
#include <string>

#include "engine/build/parallel_failure.h"
#include "engine/index/print_line.h"
#include "engine/index/search_split.h"

namespace vexa {

// Answers rows 0 .. n - 1 with row(i) in an OpenMP team of num_thread threads, each thread the
// StaticSplit block of its number in the team it really got, in increasing order. With spread
// the threads are placed apart from each other (one per NUMA node first). An exception may not
// leave the team: the first one is kept, its thread gives up the rest of its block, and after the
// team it is reported as one "[ERROR] " line and -1. Otherwise 0.
template <typename Row>
int SearchTeam(int64_t n, int num_thread, bool spread, const Row& row) {
  ParallelFailure failure;
  const auto block = [&] {
    failure.Run([&] {
      const RowRange rows = StaticSplit(n, omp_get_num_threads(), omp_get_thread_num());
      for (int64_t i = rows.begin; i < rows.end; ++i) row(i);
    });
  };
  if (spread) {
#pragma omp parallel num_threads(num_thread) proc_bind(spread)
    block();
  } else {
#pragma omp parallel num_threads(num_thread)
    block();
  }
  try {
    failure.Rethrow();
  } catch (const std::exception& e) {
    PrintLine(std::string("[ERROR] Search failed: ") + e.what());
    return -1;
  } catch (...) {
    PrintLine("[ERROR] Search failed.");
    return -1;
  }
  return 0;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_SEARCH_TEAM_H_
