#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "engine/build/hnsw/visited_list.h"
#include "engine/build/hnsw/visited_list_cache.h"

namespace vexa {
namespace {

bool AllMarksZero(const VisitedList& list) {
  return std::all_of(list.marks.get(), list.marks.get() + list.N, [](uint16_t mark) { return mark == 0; });
}

// A new list clears its marks in its first search; later searches only move the tag, until it
// wraps and the marks are cleared again.
TEST(VisitedList, ClearsItsMarksOnlyWhenTheTagWraps) {
  std::unique_ptr<VisitedList> list = VisitedList::Make(5);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->N, 5);
  EXPECT_EQ(list->tag, 0xFFFF);
  std::fill(list->marks.get(), list->marks.get() + 5, 0xFFFF);

  list->NextTag();
  EXPECT_EQ(list->tag, 1);
  EXPECT_TRUE(AllMarksZero(*list));

  list->marks[2] = 1;
  list->NextTag();
  EXPECT_EQ(list->tag, 2);
  EXPECT_EQ(list->marks[2], 1);

  for (int search = 2; search < 0xFFFF; ++search) list->NextTag();
  EXPECT_EQ(list->tag, 0xFFFF);
  list->marks[4] = 0xFFFF;
  list->NextTag();
  EXPECT_EQ(list->tag, 1);
  EXPECT_TRUE(AllMarksZero(*list));
}

// The pool starts with one list, makes a new one when it is empty, and hands back the list
// returned last.
TEST(VisitedListCache, TakesAndReturnsListsAtTheFront) {
  VisitedListCache cache(3);
  std::unique_ptr<VisitedList> first = cache.Get();
  std::unique_ptr<VisitedList> second = cache.Get();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(second->N, 3);
  const VisitedList* returned_last = second.get();
  cache.Release(std::move(first));
  cache.Release(std::move(second));
  EXPECT_EQ(cache.Get().get(), returned_last);
}

}  // namespace
}  // namespace vexa
