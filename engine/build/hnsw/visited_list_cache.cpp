#include "engine/build/hnsw/visited_list_cache.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace vexa {

VisitedListCache::VisitedListCache(int n) : N(n) { lists_.push_front(Get()); }

std::unique_ptr<VisitedList> VisitedListCache::Get() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (lists_.empty()) {
    std::unique_ptr<VisitedList> list = VisitedList::Make(N);
    if (!list) throw std::runtime_error("Failed to allocate memory for VisitedList.\n");
    return list;
  }
  std::unique_ptr<VisitedList> list = std::move(lists_.front());
  lists_.pop_front();
  return list;
}

void VisitedListCache::Release(std::unique_ptr<VisitedList> list) noexcept {
  std::lock_guard<std::mutex> hold(mutex_);
  try {
    lists_.push_front(std::move(list));
  } catch (const std::bad_alloc&) {
    // The pool cannot grow: the list is released instead, and a later Get makes a new one.
  }
}

}  // namespace vexa
