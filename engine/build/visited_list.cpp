#include "engine/build/visited_list.h"

#include <new>
#include <stdexcept>
#include <utility>

#include "engine/build/safe_copy.h"

namespace vexa {

std::unique_ptr<VisitedList> VisitedList::Make(int n) {
  std::unique_ptr<VisitedList> list(new (std::nothrow) VisitedList);
  if (!list) return nullptr;
  const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
  list->marks.reset(new (std::nothrow) uint16_t[count]);
  if (!list->marks) return nullptr;
  list->N = n;
  return list;
}

void VisitedList::NextTag() {
  ++tag;
  if (tag != 0) return;
  const size_t bytes = static_cast<size_t>(N) * sizeof(uint16_t);
  SafeMemset(marks.get(), bytes, 0, bytes);
  tag = 1;
}

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
