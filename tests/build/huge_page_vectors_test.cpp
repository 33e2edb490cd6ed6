#include "engine/build/huge_page_vectors.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {
namespace {

// 11 vectors in chunks of 4: the copy has the same rows at the same places of its own table.
TEST(HugePageVectors, CopiesEveryRowBehindATableOfTheSameShape) {
  const tarvo_test::Dataset data = tarvo_test::RandomDataset(11, 5, 3);
  std::vector<float*> source = tarvo_test::MakeChunkTable(data, 2);
  HugePageVectors copy(source.data(), 2, data.n, data.dim);
  for (int i = 0; i < data.n; ++i) {
    const float* row = copy.chunks()[i >> 2] + (i & 3) * data.dim;
    EXPECT_NE(row, data.row(i));
    for (int j = 0; j < data.dim; ++j) EXPECT_EQ(row[j], data.row(i)[j]) << i << ", " << j;
  }
  EXPECT_EQ(copy.chunks()[1], copy.chunks()[0] + 4 * data.dim);
  EXPECT_EQ(copy.chunks()[2], copy.chunks()[0] + 8 * data.dim);
}

}  // namespace
}  // namespace vexa
