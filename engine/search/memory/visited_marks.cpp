#include "engine/search/memory/visited_marks.h"

namespace vexa {

VisitedList& ThreadVisitedList() {
  thread_local VisitedList list;
  return list;
}

}  // namespace vexa
