#include "engine/search/memory/visited_marks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <thread>

namespace vexa {
namespace {

template <typename Tag>
class EpochMarksTest : public testing::Test {};
using TagTypes = testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(EpochMarksTest, TagTypes);

// Every epoch but the wrap leaves the old marks in place, unmarked only because the epoch moved
// on; the wrap back to epoch 1 would make the marks of epoch 1 count again, so it clears them.
TYPED_TEST(EpochMarksTest, EachClearUnmarksEveryIdAndTheWrapClearsTheMarks) {
  EpochMarks<TypeParam> marks(3);
  marks.Mark(0);  // epoch 1
  const int epochs = std::numeric_limits<TypeParam>::max();
  for (int e = 2; e <= epochs; ++e) {
    marks.Clear();
    ASSERT_FALSE(marks.IsMarked(0)) << "epoch " << e;
    ASSERT_FALSE(marks.IsMarked(1)) << "epoch " << e;
    marks.Mark(2);
    ASSERT_TRUE(marks.IsMarked(2));
  }
  marks.Clear();  // wraps: epoch 1 again
  EXPECT_FALSE(marks.IsMarked(0));
  EXPECT_FALSE(marks.IsMarked(2));
  marks.Mark(1);
  EXPECT_TRUE(marks.IsMarked(1));
  EXPECT_FALSE(marks.IsMarked(0));
}

TEST(EpochMarks, TryMarkTakesOnlyUnmarkedIdsInRange) {
  VisitedMarks marks(3);
  EXPECT_TRUE(marks.TryMark(1));
  EXPECT_FALSE(marks.TryMark(1));
  EXPECT_FALSE(marks.TryMark(-1));
  EXPECT_FALSE(marks.TryMark(3));
  marks.Clear();
  EXPECT_TRUE(marks.TryMark(1));
}

TEST(EpochMarks, ResetGrowsTheRoomWithEveryIdUnmarked) {
  VisitedList marks;
  EXPECT_EQ(marks.size(), 0u);
  marks.Reset(4);
  marks.Mark(3);
  marks.Reset(2);  // the room never shrinks
  EXPECT_EQ(marks.size(), 4u);
  EXPECT_FALSE(marks.IsMarked(3));
  marks.Mark(3);
  marks.Reset(1000);
  EXPECT_EQ(marks.size(), 1000u);
  for (int id = 0; id < 1000; ++id) ASSERT_FALSE(marks.IsMarked(id)) << id;
}

TEST(ThreadVisitedList, EachThreadHasItsOwn) {
  VisitedList& mine = ThreadVisitedList();
  EXPECT_EQ(&ThreadVisitedList(), &mine);
  const VisitedList* other = nullptr;
  std::thread([&other] { other = &ThreadVisitedList(); }).join();
  EXPECT_NE(other, &mine);
}

}  // namespace
}  // namespace vexa
