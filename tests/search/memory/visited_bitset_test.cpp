#include "engine/search/memory/visited_bitset.h"

#include <gtest/gtest.h>

#include <thread>

namespace vexa {

namespace {

// Clear unmarks what was set, id by id when the walk set few ids and in one sweep when it set
// as many ids as the set has words (the list of set ids stops there); either way nothing stays set.
TEST(VisitedBitset, ClearUnsetsWhatWasSet) {
  VisitedBitset visited(640);  // ten words
  for (const int count : {3, 10, 200}) {
    for (int i = 0; i < count; ++i) visited.Set(i * 3);
    visited.Set(3);  // set twice, listed once
    for (int i = 0; i < count; ++i) ASSERT_TRUE(visited.Test(i * 3)) << count;
    EXPECT_FALSE(visited.Test(1));
    visited.Clear();
    for (int id = 0; id < 640; ++id) ASSERT_FALSE(visited.Test(id)) << count << " id " << id;
  }
}

TEST(VisitedBitset, ClearForGrowsTheRoomWithEveryIdClear) {
  VisitedBitset visited;
  EXPECT_EQ(visited.size(), 0u);
  visited.ClearFor(100);
  EXPECT_EQ(visited.size(), 128u);
  visited.Set(99);
  visited.ClearFor(10);  // the room never shrinks
  EXPECT_EQ(visited.size(), 128u);
  EXPECT_FALSE(visited.Test(99));
  visited.Set(127);
  visited.ClearFor(1000);
  EXPECT_EQ(visited.size(), 1024u);
  for (int id = 0; id < 1000; ++id) ASSERT_FALSE(visited.Test(id)) << id;
}

TEST(ThreadVisitedBitset, EachThreadHasItsOwn) {
  VisitedBitset& mine = ThreadVisitedBitset();
  EXPECT_EQ(&ThreadVisitedBitset(), &mine);
  const VisitedBitset* other = nullptr;
  std::thread([&other] { other = &ThreadVisitedBitset(); }).join();
  EXPECT_NE(other, &mine);
}

}  // namespace
}  // namespace vexa
