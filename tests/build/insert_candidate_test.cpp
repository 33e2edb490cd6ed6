#include "engine/build/insert_candidate.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa {
namespace {

struct InsertCase {
  const char* name;
  std::vector<float> distances;  // the K sorted entries, ids 0 .. K-1
  Candidate candidate;
  int position;          // the result
  std::vector<int> ids;  // ids of slots 0 .. K afterwards (-1 for the untouched slot K)
};

void PrintTo(const InsertCase& c, std::ostream* os) { *os << c.name; }

class InsertCandidateTest : public testing::TestWithParam<InsertCase> {};

TEST_P(InsertCandidateTest, PlacesOrRefusesTheCandidate) {
  const InsertCase& c = GetParam();
  const int K = static_cast<int>(c.distances.size());
  std::vector<Candidate> list(K + 1, Candidate{-1, 99.0f, false});
  for (int i = 0; i < K; ++i) list[i] = Candidate{i, c.distances[i], false};

  EXPECT_EQ(InsertCandidate(list.data(), K, c.candidate), c.position);
  std::vector<int> ids;
  for (const Candidate& e : list) ids.push_back(e.id);
  EXPECT_EQ(ids, c.ids);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertCandidateTest,
    testing::Values(InsertCase{"EqualDistanceGoesAfterTheRun", {1, 2, 2, 5}, {7, 2, true}, 3, {0, 1, 2, 7, 3}},
                    InsertCase{"SameIdAtEqualDistanceIsRefused", {1, 2, 2, 5}, {1, 2, true}, 5, {0, 1, 2, 3, -1}},
                    InsertCase{"NearestGoesFirst", {1, 2, 2, 5}, {7, 0.5f, true}, 0, {7, 0, 1, 2, 3}},
                    InsertCase{"EqualToTheFirstGoesAfterIt", {1, 2, 2, 5}, {7, 1, true}, 1, {0, 7, 1, 2, 3}},
                    InsertCase{"FarthestGoesToTheExtraSlot", {1, 2, 2, 5}, {7, 6, true}, 4, {0, 1, 2, 3, 7}},
                    InsertCase{"EqualToTheLastGoesBeforeIt", {1, 2, 3, 3}, {7, 3, true}, 3, {0, 1, 2, 7, 3}},
                    InsertCase{"SingleSlotFarther", {1}, {7, 2, true}, 1, {0, 7}},
                    InsertCase{"SingleSlotEqualDistance", {1}, {7, 1, true}, 0, {7, 0}},
                    InsertCase{"SameIdAtOtherDistanceIsNotDetected", {1, 2, 3, 5}, {1, 4, true}, 3, {0, 1, 2, 1, 3}},
                    InsertCase{"SameIdJustBelowTheRunIsRefused", {1, 2, 3, 3, 5}, {1, 3, true}, 6,
                               {0, 1, 2, 3, 4, -1}},
                    InsertCase{"SameIdFartherBelowTheRunIsNotDetected", {1, 2, 3, 3, 5}, {0, 3, true}, 4,
                               {0, 1, 2, 3, 0, 4}},
                    InsertCase{"RunDownToTheFrontChecksTheFirst", {1, 2, 2, 5}, {0, 2, true}, 5, {0, 1, 2, 3, -1}},
                    InsertCase{"SameIdOfTheNextFartherIsRefused", {1, 2, 3, 5}, {3, 4, true}, 5, {0, 1, 2, 3, -1}}),
    [](const testing::TestParamInfo<InsertCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vexa
