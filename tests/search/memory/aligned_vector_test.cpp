#include "engine/search/memory/aligned_vector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "tests/support/memory_map.h"

namespace vexa {
namespace {

uintptr_t Address(const AlignedVector& v) { return reinterpret_cast<uintptr_t>(v.data()); }

bool AllEqual(const AlignedVector& v, int value) {
  for (int x : v) {
    if (x != value) return false;
  }
  return true;
}

TEST(AlignedVector, StartsEmptyWithTheDefaultAlignments) {
  AlignedVector v;
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.capacity(), 0u);
  EXPECT_EQ(v.data(), nullptr);
  EXPECT_EQ(v.alignment, 64u);
  EXPECT_EQ(v.hugeAlignment, 2097152u);
}

TEST(AlignedVector, BlocksUpTo16384ElementsTakeTheSmallAlignment) {
  AlignedVector v;
  v.Assign(16384, -1);
  EXPECT_EQ(v.size(), 16384u);
  EXPECT_EQ(v.capacity(), 16384u);
  EXPECT_TRUE(AllEqual(v, -1));
  EXPECT_EQ(Address(v) % 64, 0u);
  EXPECT_FALSE(HasHugePageHint(v.data()));
}

TEST(AlignedVector, LargerBlocksTakeTheHugeAlignmentAndTheHint) {
  AlignedVector v;
  v.Assign(16385, 7);
  EXPECT_EQ(v.size(), 16385u);
  EXPECT_TRUE(AllEqual(v, 7));
  EXPECT_EQ(Address(v) % 2097152, 0u);
  EXPECT_TRUE(HasHugePageHint(v.data()));
}

TEST(AlignedVector, AssignWithinTheCapacityKeepsTheBlock) {
  AlignedVector v;
  v.Assign(10, 1);
  const int* block = v.data();
  v.Assign(4, 2);  // shrinks: the first four become 2, the rest are dropped
  EXPECT_EQ(v.data(), block);
  EXPECT_EQ(v.size(), 4u);
  EXPECT_EQ(v.capacity(), 10u);
  EXPECT_TRUE(AllEqual(v, 2));
  v.Assign(8, 3);  // grows back within the capacity: all eight become 3
  EXPECT_EQ(v.data(), block);
  EXPECT_EQ(v.size(), 8u);
  EXPECT_TRUE(AllEqual(v, 3));
  v.Assign(0, 4);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.capacity(), 10u);
}

TEST(AlignedVector, AssignBeyondTheCapacityReplacesTheBlock) {
  AlignedVector v;
  v.Assign(3, 1);
  v.Assign(20, -1);  // the old block is released (the sanitizer build checks for leaks)
  EXPECT_EQ(v.size(), 20u);
  EXPECT_EQ(v.capacity(), 20u);
  EXPECT_TRUE(AllEqual(v, -1));
}

TEST(AlignedVector, AssignRefusesMoreThanTheLargestArray) {
  AlignedVector v;
  try {
    v.Assign(size_t{1} << 61, -1);
    FAIL() << "no length error";
  } catch (const std::length_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot create std::vector larger than max_size()");
  }
  EXPECT_TRUE(v.empty());
}

// 2^61 - 1 elements are some 8 EiB: the C library has no block for them, and the array keeps
// what it held.
TEST(AlignedVector, AssignThrowsWhenNoBlockCanBeHad) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer allocator aborts on this request instead of failing it";
#else
  AlignedVector v;
  v.Assign(3, 1);
  const int* block = v.data();
  EXPECT_THROW(v.Assign((size_t{1} << 61) - 1, -1), std::bad_alloc);
  EXPECT_EQ(v.data(), block);
  EXPECT_EQ(v.size(), 3u);
  EXPECT_TRUE(AllEqual(v, 1));
#endif
}

TEST(AlignedVector, CopyHoldsExactlyTheElementsInItsOwnBlock) {
  AlignedVector source;
  source.Assign(10, 5);
  source.Assign(6, 9);  // capacity 10, size 6
  source.alignment = 128;
  const AlignedVector copy(source);
  EXPECT_NE(copy.data(), source.data());
  EXPECT_EQ(copy.size(), 6u);
  EXPECT_EQ(copy.capacity(), 6u);
  EXPECT_TRUE(AllEqual(copy, 9));
  EXPECT_EQ(copy.alignment, 128u);
  EXPECT_EQ(Address(copy) % 128, 0u);

  const AlignedVector empty;
  const AlignedVector empty_copy(empty);
  EXPECT_EQ(empty_copy.data(), nullptr);
}

TEST(AlignedVector, MoveTakesTheBlock) {
  AlignedVector source;
  source.Assign(5, 1);
  const int* block = source.data();
  AlignedVector moved(std::move(source));
  EXPECT_EQ(moved.data(), block);
  EXPECT_EQ(source.data(), nullptr);  // the source is left empty
  AlignedVector target;
  target.Assign(2, 0);
  target = std::move(moved);
  EXPECT_EQ(target.data(), block);
  EXPECT_EQ(target.size(), 5u);
}

}  // namespace
}  // namespace vexa
