#include "engine/build/sample_distinct_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

namespace vexa {
namespace {

// Whether rng's next outputs equal those of a generator with the same seed advanced by draws.
bool AdvancedBy(std::mt19937 rng, unsigned seed, int draws) {
  std::mt19937 reference(seed);
  reference.discard(draws);
  for (int i = 0; i < 8; ++i) {
    if (rng() != reference()) return false;
  }
  return true;
}

TEST(SampleDistinctIds, GivesDistinctIdsInRangeWithOneDrawMoreThanIds) {
  for (const auto& [n, N] : std::vector<std::pair<int, int>>{{1, 2}, {10, 11}, {10, 21}, {20, 1000}, {100, 101}}) {
    std::mt19937 rng(347);
    std::vector<int> ids(n);
    SampleDistinctIds(rng, ids.data(), n, N);
    const std::set<int> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(n)) << n << " of " << N;
    EXPECT_GE(*distinct.begin(), 0);
    EXPECT_LT(*distinct.rbegin(), N);
    EXPECT_TRUE(AdvancedBy(rng, 347, n + 1)) << n << " of " << N;
  }
}

TEST(SampleDistinctIds, SpreadsCollidingDrawsAndShiftsByTheLastDraw) {
  // Three ids of [0, 5): three draws mod 2 collide, so after sorting and spreading they are
  // x, x + 1, x + 2 with x = 1 only when all three draws are odd (seeds 17 and 30); the fourth draw
  // mod 5 shifts them.
  for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 17u, 30u, 347u, 6552u}) {
    std::mt19937 draws(seed);
    const uint32_t a = draws();
    const uint32_t b = draws();
    const uint32_t c = draws();
    const int x = (a % 2 == 1 && b % 2 == 1 && c % 2 == 1) ? 1 : 0;
    const int shift = static_cast<int>(draws() % 5);
    std::mt19937 rng(seed);
    std::vector<int> ids(3);
    SampleDistinctIds(rng, ids.data(), 3, 5);
    EXPECT_EQ(ids, (std::vector<int>{(x + shift) % 5, (x + 1 + shift) % 5, (x + 2 + shift) % 5})) << seed;
  }
}

TEST(SampleDistinctIds, ZeroIdsMakeOneDraw) {
  std::mt19937 rng(5);
  SampleDistinctIds(rng, nullptr, 0, 10);
  EXPECT_TRUE(AdvancedBy(rng, 5, 1));
}

TEST(SampleDistinctIds, AllButOneIdWhenNIsOneMore) {
  std::mt19937 rng(9);
  std::vector<int> ids(49);
  SampleDistinctIds(rng, ids.data(), 49, 50);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
  EXPECT_GE(ids.front(), 0);
  EXPECT_LT(ids.back(), 50);
}

TEST(SampleDistinctIds, IdsComeOutAscendingRotatedAtTheShift) {
  std::mt19937 rng(77);
  std::vector<int> ids(30);
  SampleDistinctIds(rng, ids.data(), 30, 40);
  int descents = 0;
  for (size_t j = 1; j < ids.size(); ++j) descents += ids[j] < ids[j - 1];
  EXPECT_LE(descents, 1);
}

TEST(SampleDistinctIds, SameSeedSameIds) {
  std::mt19937 a(6552);
  std::mt19937 b(6552);
  std::vector<int> x(10);
  std::vector<int> y(10);
  SampleDistinctIds(a, x.data(), 10, 500);
  SampleDistinctIds(b, y.data(), 10, 500);
  EXPECT_EQ(x, y);
}

TEST(SampleDistinctIds, RefusesCountsOutsideTheRange) {
  std::mt19937 rng(1);
  std::vector<int> ids(10);
  EXPECT_THROW(SampleDistinctIds(rng, ids.data(), 10, 10), std::invalid_argument);
  EXPECT_THROW(SampleDistinctIds(rng, ids.data(), -1, 10), std::invalid_argument);
  EXPECT_TRUE(AdvancedBy(rng, 1, 0));
}

}  // namespace
}  // namespace vexa
