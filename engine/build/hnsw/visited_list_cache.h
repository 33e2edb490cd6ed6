#ifndef TARVO_ENGINE_BUILD_HNSW_VISITED_LIST_CACHE_H_
#define TARVO_ENGINE_BUILD_HNSW_VISITED_LIST_CACHE_H_

#include <deque>
#include <memory>
#include <mutex>

#include "engine/build/hnsw/visited_list.h"

namespace vexa {

// A pool of free visited lists shared by the threads of a build. Lists are taken from the front
// and returned to the front, so a thread usually gets back a list whose marks are warm.
class VisitedListCache {
 public:
  // A pool for graphs of n nodes, holding one list. Throws std::runtime_error when it cannot be
  // allocated.
  explicit VisitedListCache(int n);
  VisitedListCache(const VisitedListCache&) = delete;
  VisitedListCache& operator=(const VisitedListCache&) = delete;

  // Takes a free list, making a new one when the pool is empty. Throws
  // std::runtime_error("Failed to allocate memory for VisitedList.\n") when that fails.
  std::unique_ptr<VisitedList> Get();
  // Returns a list taken by Get (or releases it when the pool cannot grow).
  void Release(std::unique_ptr<VisitedList> list) noexcept;

 private:
  std::mutex mutex_;                               // guards lists_
  std::deque<std::unique_ptr<VisitedList>> lists_;  // the free lists; owned
  int N;  // nodes per list
};

// Holds a list taken from a pool for one search and hands it back when the search ends.
class VisitedListLease {
 public:
  explicit VisitedListLease(VisitedListCache& cache) : cache_(cache), list_(cache.Get()) {}
  VisitedListLease(const VisitedListLease&) = delete;
  VisitedListLease& operator=(const VisitedListLease&) = delete;
  ~VisitedListLease() { cache_.Release(std::move(list_)); }

  VisitedList& operator*() { return *list_; }

 private:
  VisitedListCache& cache_;            // not owned
  std::unique_ptr<VisitedList> list_;  // owned until handed back
};

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_HNSW_VISITED_LIST_CACHE_H_
