#include "engine/search/memory/alloc_aligned.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <string>

#include "tests/support/memory_map.h"

namespace vexa {
namespace {

constexpr size_t kMiB = size_t{1} << 20;
constexpr size_t kGiB = size_t{1} << 30;

struct AllocationClass {
  size_t bytes;
  size_t alignment;
  size_t block;  // the rounded size, all of it zeroed and usable
  bool hinted;
};

void PrintTo(const AllocationClass& c, std::ostream* os) { *os << c.bytes << " bytes"; }

class AllocAlignedClassTest : public testing::TestWithParam<AllocationClass> {};

TEST_P(AllocAlignedClassTest, AlignsRoundsZeroesAndHints) {
  const AllocationClass& c = GetParam();
  FreePtr<uint8_t> block(static_cast<uint8_t*>(AllocAligned(c.bytes)));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block.get()) % c.alignment, 0u);
  // Every byte of the rounded block is zero (the blocks of a gigabyte are sampled once per page);
  // the sanitizer build refuses the read if the block is shorter than the rounded size.
  const size_t stride = c.block >= kGiB ? 4096 : 1;
  size_t nonzero = 0;
  for (size_t i = 0; i < c.block; i += stride) nonzero += block.get()[i] != 0;
  EXPECT_EQ(block.get()[c.block - 1], 0);
  EXPECT_EQ(nonzero, 0u);
  if (c.hinted) {
    EXPECT_TRUE(HasHugePageHint(block.get()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Classes, AllocAlignedClassTest,
    testing::Values(AllocationClass{1, 64, 64, false}, AllocationClass{64, 64, 64, false},
                    AllocationClass{65, 64, 128, false}, AllocationClass{2 * kMiB - 1, 64, 2 * kMiB, false},
                    AllocationClass{2 * kMiB, 2 * kMiB, 2 * kMiB, true},
                    AllocationClass{2 * kMiB + 1, 2 * kMiB, 4 * kMiB, true},
                    AllocationClass{kGiB - 1, 2 * kMiB, kGiB, true}, AllocationClass{kGiB, kGiB, kGiB, true}),
    [](const testing::TestParamInfo<AllocationClass>& info) { return std::to_string(info.param.bytes); });

TEST(AllocAligned, ZeroesABlockThatHeldData) {
  void* first = AllocAligned(4096);
  ASSERT_NE(first, nullptr);
  std::memset(first, 0xAB, 4096);
  std::free(first);
  FreePtr<uint8_t> second(static_cast<uint8_t*>(AllocAligned(4096)));
  ASSERT_NE(second, nullptr);
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(second.get()[i], 0) << i;
}

TEST(AllocAligned, ReportsASizeBeyondAnyBlock) {
  EXPECT_EQ(AllocAligned(SIZE_MAX), nullptr);
  EXPECT_EQ(AllocAligned(SIZE_MAX - kGiB + 2), nullptr);  // rounding up would wrap
  EXPECT_THROW(AllocAlignedOrThrow(SIZE_MAX), std::bad_alloc);
}

TEST(MakeAlignedArray, GivesZeroedElements) {
  FreePtr<int64_t> array = MakeAlignedArray<int64_t>(100);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(array.get()) % 64, 0u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(array.get()[i], 0);
}

TEST(MakeAlignedArray, RefusesACountWhoseByteSizeWraps) {
  // 2^61 + 1 elements of 8 bytes are 2^64 + 8 bytes: a wrapped product would give an 8-byte block.
  EXPECT_THROW(MakeAlignedArray<int64_t>((size_t{1} << 61) + 1), std::bad_alloc);
  EXPECT_THROW(ArrayBytesOrThrow(SIZE_MAX / 4 + 1, 4), std::bad_alloc);
  EXPECT_EQ(ArrayBytesOrThrow(SIZE_MAX / 4, 4), SIZE_MAX / 4 * 4);
}

}  // namespace
}  // namespace vexa
