#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/build/hnsw/hnsw.h"
#include "tests/support/captured_stdout.h"

namespace vexa {
namespace {

// The three lines the constructor prints for the index parameters: M = R / 2 and
// ef_construction = the larger of M and L, as the index derives them.
std::string InitLines(int dim, int R, int L) {
  const size_t M = static_cast<size_t>(R / 2);
  const size_t ef_construction = std::max(M, static_cast<size_t>(L));
  return CapturedStdout([&] { HNSW hnsw("L2", dim, M, ef_construction); });
}

TEST(HnswConstruction, PrintsTheDerivedSizes) {
  struct Case {
    int dim, R, L;
    const char* lines;
  };
  const Case cases[] = {
      {128, 32, 100,
       "[HNSW] init dim_:128, M_:16, maxM_:16, maxM0_:32, ef_construction_:100, data_size_:512\n"
       "[HNSW] init size_links_level0_:132, offsetData_:132, label_offset_:644, size_data_per_element_:652\n"
       "[HNSW] init mult_:0.360674, revSize_:2.772589\n"},
      // An odd R loses its last neighbour: maxM0_ = R - 1.
      {128, 33, 100,
       "[HNSW] init dim_:128, M_:16, maxM_:16, maxM0_:32, ef_construction_:100, data_size_:512\n"
       "[HNSW] init size_links_level0_:132, offsetData_:132, label_offset_:644, size_data_per_element_:652\n"
       "[HNSW] init mult_:0.360674, revSize_:2.772589\n"},
      // L below R / 2: ef_construction_ is R / 2.
      {3, 20, 5,
       "[HNSW] init dim_:3, M_:10, maxM_:10, maxM0_:20, ef_construction_:10, data_size_:12\n"
       "[HNSW] init size_links_level0_:84, offsetData_:84, label_offset_:96, size_data_per_element_:104\n"
       "[HNSW] init mult_:0.434294, revSize_:2.302585\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(InitLines(c.dim, c.R, c.L), c.lines) << "R " << c.R << ", L " << c.L;
}

}  // namespace
}  // namespace vexa
