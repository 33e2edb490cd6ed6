#include "engine/build/hnsw/visited_list.h"

#include <new>

#include "engine/build/hnsw/safe_copy.h"

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

}  // namespace vexa
