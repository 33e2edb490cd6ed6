#ifndef TARVO_TESTS_BUILD_BUILD_TEST_SUPPORT_H_
#define TARVO_TESTS_BUILD_BUILD_TEST_SUPPORT_H_

#include <random>
#include <vector>

#include "engine/build/ssg/link_entry.h"
#include "engine/build/ssg/ssg.h"
#include "tests/build/captured_lines.h"
#include "tests/build/graph_walk.h"
#include "tests/support/exact_knn.h"
#include "tests/support/fashion_mnist.h"

namespace vexa {

// Vectors given as rows, with their chunk table (two vectors per chunk).
struct SmallVectors {
  explicit SmallVectors(const std::vector<std::vector<float>>& rows) {
    data.n = static_cast<int>(rows.size());
    data.dim = static_cast<int>(rows[0].size());
    for (const std::vector<float>& row : rows) data.values.insert(data.values.end(), row.begin(), row.end());
    chunks = tarvo_test::MakeChunkTable(data, kLog);
  }
  // Points builder's vectors at these.
  void AttachTo(SSG& builder) {
    builder.chunks = chunks.data();
    builder.consecutiveLog = kLog;
    builder.nb = data.n;
    builder.dim = data.dim;
  }

  static constexpr int kLog = 1;
  tarvo_test::Dataset data;
  std::vector<float*> chunks;
};

// n points of dim coordinates drawn from a standard normal distribution by a generator seeded
// with seed.
inline std::vector<std::vector<float>> NormalPoints(int n, int dim, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::vector<std::vector<float>> points(n, std::vector<float>(dim));
  for (std::vector<float>& point : points) {
    for (float& x : point) x = normal(rng);
  }
  return points;
}

// A link graph of rows.size() rows of R slots; a row lists {id, distance} entries, -1 after.
inline void FillLinkGraph(Graph<LinkEntry>& link, const std::vector<std::vector<LinkEntry>>& rows, int R) {
  link.AllocateZeroed(static_cast<int>(rows.size()), R);
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int j = 0; j < R; ++j) {
      link.neighbors[i * R + j] = j < static_cast<int>(rows[i].size()) ? rows[i][j] : LinkEntry{-1, 0.0f};
    }
  }
}

// The ids of row i of a link graph up to its first -1.
inline std::vector<int> RowIds(const Graph<LinkEntry>& link, int i) {
  std::vector<int> ids;
  for (int j = 0; j < link.K && link.neighbors[static_cast<size_t>(i) * link.K + j].id != -1; ++j) {
    ids.push_back(link.neighbors[static_cast<size_t>(i) * link.K + j].id);
  }
  return ids;
}

}  // namespace vexa

#endif  // TARVO_TESTS_BUILD_BUILD_TEST_SUPPORT_H_
