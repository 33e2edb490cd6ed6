#include "engine/search/memory/bounded_copy.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>

namespace vexa {
namespace {

// Every case works in one 32-byte region that starts as 1, 2, ..., 32; the pointers of a case are
// positions in it (-1 for null), so that overlapping ranges can be expressed.
using Region = std::array<uint8_t, 32>;

Region Initial() {
  Region r;
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(i + 1);
  return r;
}

uint8_t* At(Region& r, int position) { return position < 0 ? nullptr : r.data() + position; }

// What a call leaves in the destination.
enum class Effect {
  kNone,     // nothing written
  kCopied,   // count bytes copied (or filled)
  kCleared,  // the destMax bytes of the destination zeroed (filled, for memset_s)
};

struct CopyCase {
  std::string name;
  int dest;  // position of the destination, -1 for null
  size_t destMax;
  int src;  // position of the source, -1 for null
  size_t count;
  int code;
  Effect effect;
};

void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

class MemcpySTest : public testing::TestWithParam<CopyCase> {};

TEST_P(MemcpySTest, GivesTheCodeAndTheEffect) {
  const CopyCase& c = GetParam();
  Region region = Initial();
  EXPECT_EQ(memcpy_s(At(region, c.dest), c.destMax, At(region, c.src), c.count), c.code);
  Region expected = Initial();
  if (c.effect == Effect::kCopied) std::memmove(&expected[c.dest], &expected[c.src], c.count);
  if (c.effect == Effect::kCleared) std::memset(&expected[c.dest], 0, c.destMax);
  EXPECT_EQ(region, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MemcpySTest,
    testing::Values(CopyCase{"Copies", 0, 8, 16, 8, 0, Effect::kCopied},
                    CopyCase{"CopiesLessThanTheRoom", 0, 8, 16, 3, 0, Effect::kCopied},
                    CopyCase{"CopiesNothing", 0, 8, 16, 0, 0, Effect::kNone},
                    CopyCase{"AcceptsTheLargestRoom", 0, 0x7fffffff, 16, 4, 0, Effect::kCopied},
                    CopyCase{"AdjacentRangesDoNotOverlap", 4, 4, 0, 4, 0, Effect::kCopied},
                    CopyCase{"SameRangeIsNoOverlap", 4, 8, 4, 8, 0, Effect::kNone},
                    CopyCase{"NoRoom", 0, 0, 16, 4, 34, Effect::kNone},
                    CopyCase{"RoomAboveTheMaximum", 0, 0x80000000, 16, 4, 34, Effect::kNone},
                    CopyCase{"NoRoomBeforeNullDestination", -1, 0, 16, 4, 34, Effect::kNone},
                    CopyCase{"NullDestination", -1, 8, 16, 4, 22, Effect::kNone},
                    CopyCase{"NullDestinationAndSource", -1, 8, -1, 4, 22, Effect::kNone},
                    CopyCase{"NullSourceClears", 0, 8, -1, 4, 150, Effect::kCleared},
                    CopyCase{"CountAboveTheRoomClears", 0, 8, 16, 9, 162, Effect::kCleared},
                    CopyCase{"SourceInsideTheCopyClears", 2, 6, 0, 4, 182, Effect::kCleared},
                    CopyCase{"DestinationInsideTheCopyClears", 0, 6, 2, 4, 182, Effect::kCleared}),
    [](const testing::TestParamInfo<CopyCase>& info) { return info.param.name; });

struct FillCase {
  std::string name;
  int dest;
  size_t destMax;
  size_t count;
  int code;
  Effect effect;
};

void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

class MemsetSTest : public testing::TestWithParam<FillCase> {};

TEST_P(MemsetSTest, GivesTheCodeAndTheEffect) {
  const FillCase& c = GetParam();
  Region region = Initial();
  EXPECT_EQ(memset_s(At(region, c.dest), c.destMax, 0x5A, c.count), c.code);
  Region expected = Initial();
  if (c.effect == Effect::kCopied) std::memset(&expected[c.dest], 0x5A, c.count);
  if (c.effect == Effect::kCleared) std::memset(&expected[c.dest], 0x5A, c.destMax);
  EXPECT_EQ(region, expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, MemsetSTest,
                         testing::Values(FillCase{"Fills", 4, 8, 8, 0, Effect::kCopied},
                                         FillCase{"FillsLessThanTheRoom", 4, 8, 3, 0, Effect::kCopied},
                                         FillCase{"FillsNothing", 4, 8, 0, 0, Effect::kNone},
                                         FillCase{"NoRoom", 4, 0, 4, 34, Effect::kNone},
                                         FillCase{"RoomAboveTheMaximum", 4, 0x80000000, 4, 34, Effect::kNone},
                                         FillCase{"NullDestination", -1, 8, 4, 22, Effect::kNone},
                                         FillCase{"CountAboveTheRoomFillsTheRoom", 4, 8, 9, 162,
                                                  Effect::kCleared}),
                         [](const testing::TestParamInfo<FillCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vexa
