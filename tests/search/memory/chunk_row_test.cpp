#include "engine/search/memory/chunk_row.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vexa {
namespace {

TEST(ChunkRow, AddressesEveryVectorOfEveryChunk) {
  // Three chunks of 2^2 vectors of two floats.
  std::vector<std::vector<float>> chunks(3, std::vector<float>(8));
  const float* table[] = {chunks[0].data(), chunks[1].data(), chunks[2].data()};
  for (int64_t i = 0; i < 12; ++i) EXPECT_EQ(ChunkRow(table, 2, 2, i), table[i / 4] + (i % 4) * 2) << i;
  // One vector per chunk.
  for (int64_t i = 0; i < 3; ++i) EXPECT_EQ(ChunkRow(table, 0, 2, i), table[i]) << i;
}

// With 2^31 vectors per chunk, vector 2^31 + 5 is the sixth of the second chunk: the row number
// and its offset keep 64 bits.
TEST(ChunkRow, KeepsSixtyFourBitsOfTheRowNumber) {
  std::vector<float> first(3);
  std::vector<float> second(6 * 3);
  const float* table[] = {first.data(), second.data()};
  EXPECT_EQ(ChunkRow(table, 31, 3, (int64_t{1} << 31) + 5), second.data() + 15);
}

}  // namespace
}  // namespace vexa
