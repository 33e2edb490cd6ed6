#ifndef TARVO_ENGINE_SEARCH_SEARCHER_QUERY_SCRATCH_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_QUERY_SCRATCH_H_

#include <cstdint>
#include <vector>

#include "engine/search/memory/scratch_bytes.h"
#include "engine/search/searcher/candidate_pool.h"
#include "engine/search/searcher/refine_heap.h"

namespace vexa {

// The working memory of one thread's queries over coarse distances of type T, kept from one query
// to the next: the query code, the pool, the entry walk's lists and the re-rank's ids, query and
// heap. Each query resets what it uses to the state a fresh allocation would have, so its answers
// are those of a query that allocates everything anew; the visited set is the thread's
// VisitedBitset. A query never runs inside another on one thread, so one record per thread serves
// every searcher of that distance type.
template <typename T>
struct QueryScratch {
  // The calling thread's record, which lives as long as the thread.
  static QueryScratch& ForThisThread() {
    thread_local QueryScratch scratch;
    return scratch;
  }

  ScratchBytes queryCode;              // the coarse query code
  CandidatePool<T> pool{1, 0};         // the query's pool
  std::vector<int32_t> walkIds;        // the entry walk's current list
  std::vector<T> walkDistances;        // and its coarse distances
  std::vector<int32_t> refineIds;      // the pool's ids, for the re-rank
  ScratchBytes refineQuery;            // the query as a refine code
  RefineHeap heap{0};                  // the re-rank's k best
};

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_QUERY_SCRATCH_H_
