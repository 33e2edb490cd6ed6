#include "engine/build/minstd_uniform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/build/hnsw/hnsw_test_util.h"

namespace vexa {
namespace {

TEST(MinstdUniform, GivesTheLevelGeneratorsExactDoubles) {
  const std::vector<double> expected = ExpectedUniforms(20000);
  MinstdUniform rng(100);
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(rng.Next(), expected[i]) << "value " << i;
}

// Threads drawing from one generator get the values of the serial sequence, each exactly once:
// no two threads read the same state, and no step is lost.
TEST(MinstdUniform, SharedByThreadsEveryValueIsDrawnOnce) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 4000;
  MinstdUniform rng(100);
  std::vector<std::vector<double>> drawn(kThreads);
  {
    OmpThreads team(kThreads);
#pragma omp parallel for schedule(static, 1)
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kPerThread; ++i) drawn[t].push_back(rng.Next());
    }
  }
  std::vector<double> all;
  for (const std::vector<double>& values : drawn) all.insert(all.end(), values.begin(), values.end());
  std::sort(all.begin(), all.end());
  std::vector<double> expected = ExpectedUniforms(kThreads * kPerThread);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(all, expected);
}

}  // namespace
}  // namespace vexa
