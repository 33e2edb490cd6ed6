#include "engine/search/searcher/candidate_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <utility>
#include <vector>

namespace vexa {
namespace {

template <typename T>
std::vector<std::pair<int, T>> Contents(const CandidatePool<T>& pool) {
  std::vector<std::pair<int, T>> out;
  for (int i = 0; i < pool.size; ++i) out.emplace_back(pool.entries[i].id, pool.entries[i].distance);
  return out;
}

TEST(CandidatePool, StartsEmptyWithAnExtraSlot) {
  CandidatePool<float> pool(4, 2);
  EXPECT_EQ(pool.size, 0);
  EXPECT_EQ(pool.cursor, 0);
  EXPECT_EQ(pool.capacity, 4);
  EXPECT_EQ(pool.entries.size(), 5u);
}

TEST(CandidatePool, EqualDistancesGoAfterEarlierOnes) {
  CandidatePool<float> pool(8, 1);
  EXPECT_EQ(pool.Insert(1, 5.0f), 0);
  EXPECT_EQ(pool.Insert(2, 3.0f), 0);
  EXPECT_EQ(pool.Insert(3, 5.0f), 2);
  EXPECT_EQ(pool.Insert(4, 3.0f), 1);
  EXPECT_EQ(pool.Insert(5, 9.0f), 4);
  EXPECT_EQ(Contents(pool),
            (std::vector<std::pair<int, float>>{{2, 3.0f}, {4, 3.0f}, {1, 5.0f}, {3, 5.0f}, {5, 9.0f}}));
}

TEST(CandidatePool, FullPoolDropsEqualAndPushesOutItsLastEntry) {
  CandidatePool<float> pool(3, 1);
  pool.Insert(1, 1.0f);
  pool.Insert(2, 2.0f);
  pool.Insert(3, 3.0f);
  EXPECT_EQ(pool.Insert(4, 3.0f), 3);  // not strictly closer than the last entry: dropped
  EXPECT_EQ(pool.Insert(5, 7.0f), 3);
  EXPECT_EQ(Contents(pool), (std::vector<std::pair<int, float>>{{1, 1.0f}, {2, 2.0f}, {3, 3.0f}}));
  EXPECT_EQ(pool.Insert(6, 2.5f), 2);
  EXPECT_EQ(pool.size, 3);
  EXPECT_EQ(Contents(pool), (std::vector<std::pair<int, float>>{{1, 1.0f}, {2, 2.0f}, {6, 2.5f}}));
  EXPECT_EQ(pool.entries[3].id, 3);  // the entry pushed off the end sits in the extra slot
}

struct PoolCase {
  const char* name;
  int capacity;
  std::vector<float> distances;  // inserted first, with ids 0, 1, ...; ascending
  float distance;                // of the candidate, id 9
  int position;                  // the result
  std::vector<int> ids;          // ids of all capacity + 1 slots afterwards (0 in an untouched slot)
};

void PrintTo(const PoolCase& c, std::ostream* os) { *os << c.name; }

class PoolInsertTest : public testing::TestWithParam<PoolCase> {};

// Every slot is compared, the extra one too: a full pool that took an equal candidate would
// leave its entries alone but write the candidate into the extra slot.
TEST_P(PoolInsertTest, PlacesOrDropsTheCandidate) {
  const PoolCase& c = GetParam();
  CandidatePool<float> pool(c.capacity, 1);
  for (size_t i = 0; i < c.distances.size(); ++i) pool.Insert(static_cast<int>(i), c.distances[i]);
  const int size_before = pool.size;
  EXPECT_EQ(pool.Insert(9, c.distance), c.position);
  std::vector<int> ids;
  for (const PoolEntry<float>& e : pool.entries) ids.push_back(e.id);
  EXPECT_EQ(ids, c.ids);
  EXPECT_EQ(pool.size, std::min(size_before + 1, c.capacity));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PoolInsertTest,
    testing::Values(PoolCase{"FullPoolDropsEqualToTheLast", 3, {1, 2, 3}, 3, 3, {0, 1, 2, 0}},
                    PoolCase{"FullPoolDropsFarther", 3, {1, 2, 3}, 4, 3, {0, 1, 2, 0}},
                    PoolCase{"FullPoolTakesCloserAndPushesOutItsLast", 3, {1, 2, 3}, 2.5f, 2, {0, 1, 9, 2}},
                    PoolCase{"FullPoolPutsEqualToAMiddleOneAfterIt", 3, {1, 2, 3}, 2, 2, {0, 1, 9, 2}},
                    PoolCase{"FullPoolPutsEqualToTheFirstAfterIt", 3, {1, 2, 3}, 1, 1, {0, 9, 1, 2}},
                    PoolCase{"EqualGoesAfterTheWholeRun", 5, {1, 2, 2, 2}, 2, 4, {0, 1, 2, 3, 9, 0}},
                    PoolCase{"PoolWithRoomTakesEqualToTheLastAfterIt", 4, {1, 2, 3}, 3, 3, {0, 1, 2, 9, 0}},
                    PoolCase{"NearestGoesFirst", 4, {1, 2, 3}, 0.5f, 0, {9, 0, 1, 2, 0}},
                    PoolCase{"EmptyPoolTakesAnything", 2, {}, 7, 0, {9, 0, 0}}),
    [](const testing::TestParamInfo<PoolCase>& info) { return info.param.name; });

TEST(CandidatePool, CursorFollowsInsertionsAndCheckedEntries) {
  Graph<int> graph;
  graph.Allocate(10, 2);
  CandidatePool<float> pool(6, 1);
  pool.Insert(1, 1.0f);
  pool.Insert(2, 2.0f);
  pool.Insert(3, 3.0f);
  EXPECT_EQ(pool.NextUnchecked(graph), 1);
  EXPECT_EQ(pool.NextUnchecked(graph), 2);
  EXPECT_EQ(pool.cursor, 2);
  EXPECT_NE(pool.entries[0].id & kCheckedFlag, 0);
  EXPECT_EQ(pool.entries[0].id & kNodeIdMask, 1);

  // Exactly at the cursor: the cursor keeps its value and now names the new entry.
  EXPECT_EQ(pool.Insert(4, 2.5f, graph), 2);
  EXPECT_EQ(pool.cursor, 2);
  EXPECT_EQ(pool.NextUnchecked(graph), 4);
  EXPECT_EQ(pool.cursor, 3);

  // Before the cursor: the cursor moves back to the new entry, which is expanded next; the
  // checked entries after it are skipped on the way forward.
  EXPECT_EQ(pool.Insert(5, 0.5f), 0);
  EXPECT_EQ(pool.cursor, 0);
  EXPECT_EQ(pool.NextUnchecked(graph), 5);
  EXPECT_EQ(pool.cursor, 4);
  EXPECT_EQ(pool.NextUnchecked(graph), 3);
  EXPECT_EQ(pool.cursor, pool.size);
}

TEST(CandidatePool, IntegerDistancesCompareAsSigned) {
  CandidatePool<int32_t> pool(4, 1);
  pool.Insert(1, 7);
  pool.Insert(2, 0);
  pool.Insert(3, -1200);
  pool.Insert(4, -3);
  EXPECT_EQ(Contents(pool), (std::vector<std::pair<int, int32_t>>{{3, -1200}, {4, -3}, {2, 0}, {1, 7}}));
}

}  // namespace
}  // namespace vexa
